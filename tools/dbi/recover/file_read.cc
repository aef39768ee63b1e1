#include "recover/file_read.h"

#include <cerrno>

#include "files/plain_file.h"
#include "recover/system_files.h"

namespace dbi {

std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error) {
  const int fd = database_interface::OpenPlainFile(path.c_str(), kReadFlags, 0,
                                                   /*local_only=*/true);
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
    size_t done = 0;
    while (done < bytes.size()) {
      const auto got = ReadSome(fd, &bytes[done], bytes.size() - done);
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got < 0) {
        error = "cannot read it: " + Describe(errno);
        break;
      }
      if (got == 0) {
        break;
      }
      done += static_cast<size_t>(got);
    }
    bytes.resize(done);
  }
  (void)CloseFile(fd);
  if (!error.empty()) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace dbi
