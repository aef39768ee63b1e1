#include "whole_file.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#include <sys/stat.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dbi {

namespace {

#if defined(_WIN32)
int CreateExclusive(const std::string& path) {
  return _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int WriteSome(int fd, const char* data, size_t size) {
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
#else
int CreateExclusive(const std::string& path) {
  return open(path.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC, 0600);
}
ssize_t WriteSome(int fd, const char* data, size_t size) {
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
#endif

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const auto written = WriteSome(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    done += static_cast<size_t>(written);
  }
  return Flush(fd) == 0;
}

// A name beside `path` that nothing has yet, created empty and owner-only.
int CreateTemporary(const std::string& path, std::string& temporary) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    temporary = path + ".dbi-partial-" + std::to_string(attempt);
    const int fd = CreateExclusive(temporary);
    if (fd >= 0 || errno != EEXIST) {
      return fd;
    }
  }
  return -1;
}

std::string Describe(int error_number) {
  return std::error_code(error_number, std::generic_category()).message();
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) {
    error = "cannot open it: " + Describe(errno);
    return std::nullopt;
  }
  std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (file.bad()) {
    error = "cannot read it";
    return std::nullopt;
  }
  return bytes;
}

bool PathTaken(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): where, then what, as every file call
Publish PublishNewFile(const std::string& path, const std::string& bytes, std::string& error) {
  std::string temporary;
  const int fd = CreateTemporary(path, temporary);
  if (fd < 0) {
    error = Describe(errno);
    return Publish::kFailed;
  }
  const bool written = WriteAll(fd, bytes);
  const int write_errno = errno;
  if (CloseFile(fd) != 0 || !written) {
    error = Describe(written ? errno : write_errno);
    (void)std::remove(temporary.c_str());
    return Publish::kFailed;
  }
  if (MoveIntoPlace(temporary, path) != 0) {
    const int move_errno = errno;
    (void)std::remove(temporary.c_str());
    if (PathTaken(path)) {
      return Publish::kTaken;
    }
    error = Describe(move_errno);
    return Publish::kFailed;
  }
  return Publish::kWritten;
}

}  // namespace dbi
