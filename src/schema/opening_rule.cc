#include "schema/opening_rule.h"

#include "schema/schema.h"
#include "schema/version_text.h"

namespace database_interface {

Opening OpeningFor(const char* stored_version) {
  if (stored_version == nullptr) {
    return Opening::kStamp;
  }
  VersionNumbers stored{};
  VersionNumbers current{};
  if (!ParseVersionText(stored_version, stored) || !ParseVersionText(kSchemaVersion, current)) {
    return Opening::kRefuse;
  }
  switch (CompareVersionNumbers(stored, current)) {
    case 0:
      return Opening::kNothing;
    case 1:
      return Opening::kMigrate;
    default:
      return Opening::kRebuild;
  }
}

}  // namespace database_interface
