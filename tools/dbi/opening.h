// What opening a file with the library's Init would do to it, decided from
// the file's stored version by the rules the library's version check uses.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_OPENING_H_
#define DATABASE_INTERFACE_TOOLS_DBI_OPENING_H_

#include <optional>
#include <string>

namespace dbi {

enum class Opening {
  kNothing,  // the file is at the library's schema version
  kStamp,    // no version row: the missing tables are created, the version written
  kMigrate,  // an older version: migrated, every row kept
  kRebuild,  // a newer version: the start, core, instance and session tables emptied
  kRefuse,   // a version that is not three numbers, or no database at all: Init fails
};

// The opening of a file whose version row holds `version` (none: no row).
Opening OpeningFor(const std::optional<std::string>& version);
// "nothing", "stamp", "migrate", "rebuild" or "refuse".
const char* OpeningName(Opening opening);
// What opening would do, to follow "opening would": "change nothing", ...
std::string OpeningEffect(Opening opening);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_OPENING_H_
