#include "private_file.h"

#include <cstring>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#define DATABASE_INTERFACE_HAS_FILE_MODES 1
#endif

namespace database_interface {

#if defined(DATABASE_INTERFACE_HAS_FILE_MODES)
namespace {

// SQLite opens an in-memory or temporary database for these, and may read
// "file:" as a URI whose file name is something else: creating a file under
// the text itself would leave a stray empty file behind.
bool NamesAFile(const char* path) {
  return path[0] != '\0' && std::strcmp(path, ":memory:") != 0 &&
         std::strncmp(path, "file:", 5) != 0;
}

}  // namespace
#endif

bool CreatePrivateFileIfMissing(const char* path) {
#if defined(DATABASE_INTERFACE_HAS_FILE_MODES)
  if (!NamesAFile(path)) {
    return false;
  }
  // O_EXCL: an existing file, or anything a symbolic link points at, is
  // never touched; SQLite's rollback journal copies the file's mode.
  const int fd = open(path, O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    return false;
  }
  (void)close(fd);
  return true;
#else
  (void)path;
  return false;
#endif
}

void RemovePrivateFileIfEmpty(const char* path) {
#if defined(DATABASE_INTERFACE_HAS_FILE_MODES)
  struct stat made = {};
  if (lstat(path, &made) == 0 && S_ISREG(made.st_mode) && made.st_size == 0) {
    (void)unlink(path);
  }
#else
  (void)path;
#endif
}

}  // namespace database_interface
