#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

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

bool IsPlainFile(const std::string& path, bool local_only) {
  const int fd = OpenPlainFile(path.c_str(), O_RDONLY, 0, local_only);
  return fd >= 0 && close(fd) == 0;
}

std::optional<std::string> ReadPlainBytes(const std::string& path, uint64_t offset, size_t count,
                                          bool local_only) {
  const int fd = OpenPlainFile(path.c_str(), O_RDONLY, 0, local_only);
  if (fd < 0) {
    return std::nullopt;
  }
  struct stat file = {};
  std::optional<std::string> bytes;
  if (fstat(fd, &file) == 0) {
    const auto size = static_cast<uint64_t>(file.st_size);
    std::string read_bytes(static_cast<size_t>(std::min<uint64_t>(count, size)), '\0');
    const uint64_t start = std::min(offset, size - read_bytes.size());
    size_t done = 0;
    while (done < read_bytes.size()) {
      const ssize_t got =
          pread(fd, &read_bytes[done], read_bytes.size() - done, static_cast<off_t>(start + done));
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got <= 0) {
        break;
      }
      done += static_cast<size_t>(got);
    }
    if (done == read_bytes.size()) {
      bytes = std::move(read_bytes);
    }
  }
  (void)close(fd);
  return bytes;
}

bool CreateOwnerOnlyFile(const std::string& path, FileId& made) {
  // The umask can only take bits away from 0600. SQLite's rollback journal
  // copies the file's mode.
  const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    return false;
  }
  struct stat file = {};
  const bool known = fstat(fd, &file) == 0;
  (void)close(fd);
  if (!known) {
    (void)unlink(path.c_str());  // empty, and made a moment ago
    return false;
  }
  made = {static_cast<uint64_t>(file.st_dev), static_cast<uint64_t>(file.st_ino)};
  return true;
}

void RemoveIfStillEmpty(const std::string& path, const FileId& made) {
  struct stat file = {};
  if (lstat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode) && file.st_size == 0 &&
      SameFile(file, made)) {
    (void)unlink(path.c_str());
  }
}

}  // namespace database_interface
