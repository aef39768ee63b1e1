#include "opening.h"

#include "schema.h"
#include "version_text.h"

namespace dbi {

Opening OpeningFor(const std::optional<std::string>& version) {
  if (!version) {
    return Opening::kStamp;
  }
  // The library reads the version up to its first NUL byte; so does this.
  database_interface::VersionNumbers stored{};
  database_interface::VersionNumbers current{};
  if (!database_interface::ParseVersionText(version->c_str(), stored) ||
      !database_interface::ParseVersionText(database_interface::kSchemaVersion, current)) {
    return Opening::kRefuse;
  }
  switch (database_interface::CompareVersionNumbers(stored, current)) {
    case 0:
      return Opening::kNothing;
    case 1:
      return Opening::kMigrate;
    default:
      return Opening::kRebuild;
  }
}

const char* OpeningName(Opening opening) {
  switch (opening) {
    case Opening::kNothing:
      return "nothing";
    case Opening::kStamp:
      return "stamp";
    case Opening::kMigrate:
      return "migrate";
    case Opening::kRebuild:
      return "rebuild";
    case Opening::kRefuse:
      return "refuse";
  }
  return "";
}

std::string OpeningEffect(Opening opening) {
  const std::string current = database_interface::kSchemaVersion;
  switch (opening) {
    case Opening::kNothing:
      return "change nothing";
    case Opening::kStamp:
      return "create the store's missing tables and stamp it " + current;
    case Opening::kMigrate:
      return "migrate it to " + current + ", keeping every row";
    case Opening::kRebuild:
      return "EMPTY the start, core, instance and session tables and stamp it " + current;
    case Opening::kRefuse:
      return "fail: the library refuses this file";
  }
  return "";
}

}  // namespace dbi
