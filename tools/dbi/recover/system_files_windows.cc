#include "recover/system_files.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

namespace dbi {

const int kReadFlags = O_RDONLY | O_BINARY;

// No FIFOs, devices or kernel files to meet by name.
int OpenPlainFile(const char* path, int flags, int mode) {
  return _open(path, flags | O_BINARY, mode);  // never text mode
}
bool SizeOf(int fd, uint64_t& size) {
  struct _stati64 file = {};
  if (_fstati64(fd, &file) != 0) {
    return false;
  }
  size = static_cast<uint64_t>(file.st_size);
  return true;
}

int64_t ReadSome(int fd, char* data, size_t size) {
  return _read(fd, data, static_cast<unsigned>(size));
}

int CreateExclusive(const std::string& path) {
  return _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
}

// None: the temporary always has a name.
int CreateUnnamed(const std::string& /*folder*/) {
  errno = EOPNOTSUPP;
  return -1;
}

int LinkUnnamed(int /*fd*/, const std::string& /*path*/) {
  errno = EOPNOTSUPP;
  return -1;
}

int RemoveFile(const char* path) {
  return _unlink(path);
}

int64_t WriteSome(int fd, const char* data, size_t size) {
  return _write(fd, data, static_cast<unsigned>(size));
}

int Flush(int fd) {
  return _commit(fd);
}

int CloseFile(int fd) {
  return _close(fd);
}

// Windows' rename never replaces an existing file.
int MoveIntoPlace(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str());
}

}  // namespace dbi
