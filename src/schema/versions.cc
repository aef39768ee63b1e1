#include "schema/versions.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <sstream>
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

bool SplitVersionText(std::istream& stream, int32_t& major, int32_t& minor, int32_t& patch) {
  int32_t* const numbers[3] = {&major, &minor, &patch};
  int pieces = 0;
  // getline consumes each "." and starts no piece after a final one.
  for (std::string piece; std::getline(stream, piece, '.'); ++pieces) {
    if (pieces < 3 && !ParseVersionNumber(piece, *numbers[pieces])) {
      return false;
    }
  }
  return pieces == 3;
}

bool ParseVersionText(const char* text, VersionNumbers& numbers) {
  std::istringstream stream(text);
  return SplitVersionText(stream, numbers[0], numbers[1], numbers[2]);
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
