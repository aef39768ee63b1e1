#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "files/file_system.h"
#include "files/plain_file.h"

namespace database_interface {

FileKind KindOf(const std::string& path) {
  struct stat file = {};
  if (lstat(path.c_str(), &file) != 0) {
    return FileKind::kMissing;
  }
  const bool kernels =
      MayBeKernelFile(static_cast<uint64_t>(file.st_dev), static_cast<int64_t>(file.st_blocks)) &&
      FileSystemOf(path.c_str(), -1) == FileSystem::kKernel;
  return S_ISREG(file.st_mode) && !kernels ? FileKind::kRegular : FileKind::kOther;
}

bool CreateOwnerOnlyFile(const std::string& path) {
  // The umask can only take bits away from 0600. SQLite's rollback journal
  // copies the file's mode.
  const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    return false;
  }
  (void)close(fd);
  return true;
}

void RemoveIfStillEmpty(const std::string& path) {
  struct stat file = {};
  if (lstat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode) && file.st_size == 0) {
    (void)unlink(path.c_str());
  }
}

}  // namespace database_interface
