// Schema version texts, three decimal numbers joined by "." and compared
// number by number, and what opening a file does by the version it holds.
// Pure functions, shared by the store's version check and by the inspector
// tool, which must judge a file exactly as opening it would. What each
// opening does for a host is the table in README.md, "The file and its
// versions".

#ifndef DATABASE_INTERFACE_SCHEMA_VERSIONS_H_
#define DATABASE_INTERFACE_SCHEMA_VERSIONS_H_

#include <array>
#include <cstdint>
#include <string_view>

namespace database_interface {

// major, minor, patch.
using VersionNumbers = std::array<int32_t, 3>;

// Reads the "."-separated pieces of `text` into `numbers`, as getline reads
// them from a stream: true when there were exactly three, each starting
// with a decimal number that fits 32 bits (leading blanks and a sign
// allowed, trailing characters ignored); otherwise false, with the numbers
// read before the fault left stored. Logs nothing.
bool ParseVersionText(std::string_view text, VersionNumbers& numbers);

// 0 when equal; 1 when `older` is lower than `newer`; 2 when it is higher.
int32_t CompareVersionNumbers(const VersionNumbers& older, const VersionNumbers& newer);

enum class Opening {
  kNothing,  // the file is at the library's schema version
  kStamp,    // no version row: the missing tables are created, the version written
  kMigrate,  // an older version: migrated, every row kept
  kRebuild,  // a newer version: its data tables emptied by kDropScript (schema.h)
  kRefuse,   // a version that is not three numbers: opening fails
};

// The opening of a file whose version row holds `stored_version`, read up
// to its first NUL byte; nullptr when the file has no version row.
Opening OpeningFor(const char* stored_version);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_SCHEMA_VERSIONS_H_
