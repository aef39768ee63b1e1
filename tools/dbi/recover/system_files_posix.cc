#include "recover/system_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "files/file_system.h"

namespace dbi {

const int kReadFlags = O_RDONLY | O_CLOEXEC;

int OpenPlainFile(const char* path, int flags, int mode) {
  const int fd = open(path, flags | O_NONBLOCK, mode);
  if (fd < 0) {
    return fd;
  }
  struct stat file = {};
  bool plain = fstat(fd, &file) == 0 &&
               ((S_ISREG(file.st_mode) && database_interface::FileSystemOf(nullptr, fd) ==
                                              database_interface::FileSystem::kLocal) ||
                (S_ISDIR(file.st_mode) && (flags & O_ACCMODE) == O_RDONLY));
  if (plain && (flags & O_NONBLOCK) == 0) {
    const int status = fcntl(fd, F_GETFL);
    plain = status != -1 && fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == 0;
  }
  if (!plain) {
    (void)close(fd);
    errno = ENXIO;
    return -1;
  }
  return fd;
}
bool SizeOf(int fd, uint64_t& size) {
  struct stat file = {};
  if (fstat(fd, &file) != 0) {
    return false;
  }
  size = static_cast<uint64_t>(file.st_size);
  return true;
}

int64_t ReadSome(int fd, char* data, size_t size) {
  return read(fd, data, size);
}

int CreateExclusive(const std::string& path) {
  return open(path.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC, 0600);
}

#if defined(O_TMPFILE)
// A file in `folder` that has no name until LinkUnnamed gives it one: one
// cut off, by SIGKILL or a power cut, leaves nothing to clean up.
int CreateUnnamed(const std::string& folder) {
  return open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
}

// Gives the file its name only if nothing has it, as link(2) does. The
// descriptor's name in /proc needs no privilege; AT_EMPTY_PATH, where /proc
// is not mounted, needs CAP_DAC_READ_SEARCH.
int LinkUnnamed(int fd, const std::string& path) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    return 0;
  }
  return errno == ENOENT ? linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) : -1;
}

#else
int CreateUnnamed(const std::string& /*folder*/) {
  errno = EOPNOTSUPP;
  return -1;
}

int LinkUnnamed(int /*fd*/, const std::string& /*path*/) {
  errno = EOPNOTSUPP;
  return -1;
}

#endif
int RemoveFile(const char* path) {
  return unlink(path);
}

int64_t WriteSome(int fd, const char* data, size_t size) {
  return write(fd, data, size);
}

int Flush(int fd) {
  return fsync(fd);
}

int CloseFile(int fd) {
  return close(fd);
}

// POSIX rename replaces what is there; a hard link never does.
int MoveIntoPlace(const std::string& from, const std::string& to) {
  if (link(from.c_str(), to.c_str()) != 0) {
    return -1;
  }
  (void)unlink(from.c_str());
  return 0;
}

}  // namespace dbi
