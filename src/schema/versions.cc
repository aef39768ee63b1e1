#include "schema/versions.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <string>

#include "schema/schema.h"

namespace database_interface {

namespace {

// The decimal number at the start of `piece`, as strtol reads it: leading
// blanks and a sign accepted, what follows the digits ignored. False when
// no digit starts the piece or the number does not fit 32 bits.
bool ParseVersionNumber(const std::string& piece, int32_t& number) {
  const char* begin = piece.c_str();
  char* end = nullptr;
  errno = 0;
  const auto value = std::strtol(begin, &end, 10);
  if (end == begin || errno == ERANGE || value < std::numeric_limits<int32_t>::min() ||
      value > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  number = static_cast<int32_t>(value);
  return true;
}

}  // namespace

bool ParseVersionText(std::string_view text, VersionNumbers& numbers) {
  size_t pieces = 0;
  // A final "." starts no piece. Without a stream, Init builds no locale
  // to read its version.
  for (size_t start = 0; start < text.size(); ++pieces) {
    const size_t end = std::min(text.find('.', start), text.size());
    if (pieces < 3 &&
        !ParseVersionNumber(std::string(text.substr(start, end - start)), numbers[pieces])) {
      return false;
    }
    start = end + 1;
  }
  return pieces == 3;
}

int32_t CompareVersionNumbers(const VersionNumbers& older, const VersionNumbers& newer) {
  for (size_t i = 0; i < older.size(); ++i) {
    if (older[i] != newer[i]) {
      return older[i] > newer[i] ? 2 : 1;
    }
  }
  return 0;
}

Opening OpeningFor(const char* stored_version) {
  if (stored_version == nullptr) {
    return Opening::kStamp;
  }
  VersionNumbers stored{};
  VersionNumbers current{};
  if (!ParseVersionText(stored_version, stored) || !ParseVersionText(kSchemaVersion, current)) {
    return Opening::kRefuse;
  }
  constexpr Opening kByOrder[] = {Opening::kNothing, Opening::kMigrate, Opening::kRebuild};
  return kByOrder[CompareVersionNumbers(stored, current)];
}

}  // namespace database_interface
