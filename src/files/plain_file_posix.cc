#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "files/file_system.h"
#include "files/plain_file.h"

namespace database_interface {

namespace {

bool SameFile(const struct stat& file, const FileId& id) {
  return static_cast<uint64_t>(file.st_dev) == id.device &&
         static_cast<uint64_t>(file.st_ino) == id.inode;
}

bool OfPlainFiles(FileSystem system, bool local_only) {
  return system == FileSystem::kLocal || (system == FileSystem::kServed && !local_only);
}

}  // namespace

FileKind KindOf(const std::string& path) {
  struct stat file = {};
  if (lstat(path.c_str(), &file) != 0) {
    return FileKind::kMissing;
  }
  return S_ISREG(file.st_mode) && FileSystemOfPath(path.c_str()) != FileSystem::kKernel
             ? FileKind::kRegular
             : FileKind::kOther;
}

int OpenPlainFile(const char* path, int flags, int mode, bool local_only) {
  const int fd = open(path, flags | O_NONBLOCK, mode);
  if (fd < 0) {
    return fd;
  }
  struct stat file = {};
  bool plain = fstat(fd, &file) == 0 &&
               ((S_ISREG(file.st_mode) && OfPlainFiles(FileSystemOfFile(fd), local_only)) ||
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

std::optional<std::string> ReadPlainBytes(const std::string& path, uint64_t offset, size_t count,
                                          bool local_only) {
  const int fd = OpenPlainFile(path.c_str(), O_RDONLY, 0, local_only);
  struct stat file = {};
  if (fd < 0 || fstat(fd, &file) != 0) {
    (void)close(fd);
    return std::nullopt;
  }
  const auto size = static_cast<uint64_t>(file.st_size);
  std::string bytes(static_cast<size_t>(std::min<uint64_t>(count, size)), '\0');
  const uint64_t start = std::min(offset, size - bytes.size());
  // A regular file's read is short only at its end: one that shrank meanwhile.
  const ssize_t got = pread(fd, bytes.data(), bytes.size(), static_cast<off_t>(start));
  (void)close(fd);
  if (got != static_cast<ssize_t>(bytes.size())) {
    return std::nullopt;
  }
  return bytes;
}

bool CreateOwnerOnlyFile(const std::string& path, FileId& made) {
  // The umask can only take bits away from 0600. SQLite's rollback journal
  // copies the file's mode.
  const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  struct stat file = {};
  const bool known = fd >= 0 && fstat(fd, &file) == 0;
  (void)close(fd);
  if (known) {
    made = {static_cast<uint64_t>(file.st_dev), static_cast<uint64_t>(file.st_ino)};
  }
  return known;
}

void RemoveIfStillEmpty(const std::string& path, const FileId& made) {
  struct stat file = {};
  if (lstat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode) && file.st_size == 0 &&
      SameFile(file, made)) {
    (void)unlink(path.c_str());
  }
}

}  // namespace database_interface
