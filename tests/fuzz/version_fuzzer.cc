// Version texts from arbitrary bytes, two per input split at the first line
// break (the second defaults to the current version). Whatever the texts,
// the comparison answers -1, 0, 1 or 2, gives the mirrored answer with the
// texts swapped, refuses in both orders alike, and finds a readable text
// equal to itself.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "store/database.h"

using database_interface::CDatabase;

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  dbi_fuzz::DropLogLines();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t line_break = input.find('\n');
  // The comparison takes NUL-terminated texts: each ends at its first NUL.
  const auto up_to_nul = [](const std::string& text) { return text.substr(0, text.find('\0')); };
  const std::string older = up_to_nul(input.substr(0, line_break));
  const std::string newer =
      line_break == std::string::npos ? "1.13.0" : up_to_nul(input.substr(line_break + 1));

  const int32_t forward = CDatabase::VersionCompare(older.c_str(), newer.c_str());
  const int32_t backward = CDatabase::VersionCompare(newer.c_str(), older.c_str());
  const int32_t mirrored[] = {0, 2, 1};  // equal, lower, higher seen the other way
  if (forward < -1 || forward > 2 || (forward == -1) != (backward == -1) ||
      (forward >= 0 && backward != mirrored[forward])) {
    __builtin_trap();
  }
  if (forward >= 0 && CDatabase::VersionCompare(older.c_str(), older.c_str()) != 0) {
    __builtin_trap();
  }
  return 0;
}
