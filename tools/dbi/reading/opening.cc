#include "reading/opening.h"

#include "schema/schema.h"

namespace dbi {

database_interface::Opening OpeningOf(const std::optional<std::string>& version) {
  // The library reads the version up to its first NUL byte; so does this.
  return database_interface::OpeningFor(version ? version->c_str() : nullptr);
}

const char* OpeningName(database_interface::Opening opening) {
  switch (opening) {
    case database_interface::Opening::kNothing:
      return "nothing";
    case database_interface::Opening::kStamp:
      return "stamp";
    case database_interface::Opening::kMigrate:
      return "migrate";
    case database_interface::Opening::kRebuild:
      return "rebuild";
    case database_interface::Opening::kRefuse:
      return "refuse";
  }
  return "";
}

std::string OpeningEffect(database_interface::Opening opening) {
  const std::string current = database_interface::kSchemaVersion;
  switch (opening) {
    case database_interface::Opening::kNothing:
      return "change nothing";
    case database_interface::Opening::kStamp:
      return "create the store's missing tables and stamp it " + current;
    case database_interface::Opening::kMigrate:
      return "migrate it to " + current + ", keeping every row";
    case database_interface::Opening::kRebuild:
      return "EMPTY the start, core, instance and session tables and stamp it " + current;
    case database_interface::Opening::kRefuse:
      return "fail: the library refuses this file";
  }
  return "";
}

}  // namespace dbi
