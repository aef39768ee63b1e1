// The health check of a store file that check runs: its pages, its foreign
// keys, its table texts against the library's, the code it carries and its
// version. A file that cannot be read is a finding too.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_READING_HEALTH_CHECK_H_
#define DATABASE_INTERFACE_TOOLS_DBI_READING_HEALTH_CHECK_H_

#include <optional>
#include <string>
#include <vector>

#include "reading/store_reader.h"

namespace dbi {

struct Finding {
  std::string area;  // "integrity", "journal", "foreign key", "schema" or "version"
  std::string message;
};

struct CheckReport {
  std::optional<std::string> version;
  database_interface::Opening opening = database_interface::Opening::kRefuse;
  std::vector<Finding> findings;
};

// Runs every check on the file `reader` has open.
CheckReport CheckHealth(StoreReader& reader);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_READING_HEALTH_CHECK_H_
