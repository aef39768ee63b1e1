// Schema version texts: three decimal numbers joined by ".", compared number
// by number. Pure functions, shared by the store's version check and by the
// inspector tool, which must judge a file exactly as opening it would.

#ifndef DATABASE_INTERFACE_SCHEMA_VERSION_TEXT_H_
#define DATABASE_INTERFACE_SCHEMA_VERSION_TEXT_H_

#include <array>
#include <cstdint>
#include <istream>

namespace database_interface {

// major, minor, patch.
using VersionNumbers = std::array<int32_t, 3>;

// Reads the "."-separated pieces of `stream` into the three numbers: true
// when there were exactly three, each starting with a decimal number that
// fits 32 bits (leading blanks and a sign allowed, trailing characters
// ignored); otherwise false, with the numbers read before the fault left
// stored. Logs nothing.
bool SplitVersionText(std::istream& stream, int32_t& major, int32_t& minor, int32_t& patch);

// True when `text` splits as above; `numbers` then holds its three numbers.
bool ParseVersionText(const char* text, VersionNumbers& numbers);

// 0 when equal; 1 when `older` is lower than `newer`; 2 when it is higher.
int32_t CompareVersionNumbers(const VersionNumbers& older, const VersionNumbers& newer);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_SCHEMA_VERSION_TEXT_H_
