#include "recover/file_read.h"

#include <cerrno>

#include "recover/system_files.h"

namespace dbi {

namespace {

// Fills `bytes` from the start of `fd`, cut to what there is: false, with
// errno set, when a read fails.
bool ReadFromStart(int fd, std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const auto got = ReadSome(fd, &bytes[done], bytes.size() - done);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      bytes.resize(done);
      return got == 0;
    }
    done += static_cast<size_t>(got);
  }
  return true;
}

}  // namespace

std::optional<std::string> ReadFirstBytes(const std::string& path, size_t count) {
  const int fd = OpenPlainFile(path.c_str(), kReadFlags, 0);
  if (fd < 0) {
    return std::nullopt;
  }
  std::string bytes(count, '\0');
  const bool read = ReadFromStart(fd, bytes);
  (void)CloseFile(fd);
  return read ? std::optional<std::string>(bytes) : std::nullopt;
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error) {
  const int fd = OpenPlainFile(path.c_str(), kReadFlags, 0);
  if (fd < 0) {
    error = "cannot open it: " + Describe(errno);
    return std::nullopt;
  }
  // The size judged is the one the descriptor had when opened: a file that
  // grows meanwhile is not read past it, and one that shrinks is read as it
  // then is.
  uint64_t size = 0;
  std::string bytes;
  if (!SizeOf(fd, size)) {
    error = "cannot read it: " + Describe(errno);
  } else if (size > kLargestFileRead) {
    error = "it has " + std::to_string(size) + " bytes, more than the " +
            std::to_string(kLargestFileRead >> 20) +
            " MiB that dbi reads whole (no store comes near that)";
  } else {
    bytes.resize(static_cast<size_t>(size));
    if (!ReadFromStart(fd, bytes)) {
      error = "cannot read it: " + Describe(errno);
    }
  }
  (void)CloseFile(fd);
  if (!error.empty()) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace dbi
