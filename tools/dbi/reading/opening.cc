#include "reading/opening.h"

#include "schema/schema.h"

namespace dbi {

Opening OpeningFor(const std::optional<std::string>& version) {
  // The library reads the version up to its first NUL byte; so does this.
  return database_interface::OpeningFor(version ? version->c_str() : nullptr);
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
