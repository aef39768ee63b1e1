// What opening a file with the library's Init would do to it, in the words
// dbi prints; the decision itself is the library's own.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_READING_OPENING_H_
#define DATABASE_INTERFACE_TOOLS_DBI_READING_OPENING_H_

#include <optional>
#include <string>

#include "schema/versions.h"

namespace dbi {

// The opening of a file whose version row holds `version` (none: no row).
database_interface::Opening OpeningOf(const std::optional<std::string>& version);
// "nothing", "stamp", "migrate", "rebuild" or "refuse".
const char* OpeningName(database_interface::Opening opening);
// What opening would do, to follow "opening would": "change nothing", ...
std::string OpeningEffect(database_interface::Opening opening);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_READING_OPENING_H_
