// No modes to set, no FIFOs to meet: what is at a name is a file, a folder
// or nothing, and SQLite makes every new file itself.

#include <filesystem>
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

bool CreateOwnerOnlyFile(const std::string& /*path*/) {
  return false;
}

void RemoveIfStillEmpty(const std::string& /*path*/) {}

}  // namespace database_interface
