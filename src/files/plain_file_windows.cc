// No modes to set, no FIFOs to meet: what is at a name is a file, a folder
// or nothing, and SQLite opens every plain file.

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "files/plain_file.h"

namespace database_interface {

FileKind KindOf(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
  if (error || !std::filesystem::exists(status)) {
    return FileKind::kMissing;
  }
  return std::filesystem::is_regular_file(status) ? FileKind::kRegular : FileKind::kOther;
}

int OpenPlainFile(const char* path, int flags, int mode, bool /*local_only*/) {
  return open(path, flags | O_BINARY, mode);  // never text mode
}

std::optional<std::string> ReadPlainBytes(const std::string& path, uint64_t offset, size_t count,
                                          bool /*local_only*/) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  const std::streamoff end = file.tellg();
  if (!file || end < 0) {
    return std::nullopt;
  }
  const auto size = static_cast<uint64_t>(end);
  std::string bytes(static_cast<size_t>(std::min<uint64_t>(count, size)), '\0');
  const uint64_t start = std::min(offset, size - bytes.size());
  if (!file.seekg(static_cast<std::streamoff>(start)) ||
      !file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
    return std::nullopt;
  }
  return bytes;
}

bool CreateOwnerOnlyFile(const std::string& /*path*/, FileId& /*made*/) {
  return false;
}

void RemoveIfStillEmpty(const std::string& /*path*/, const FileId& /*made*/) {}

}  // namespace database_interface
