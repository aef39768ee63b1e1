// The schema version check run by Init: a new file is stamped, an older one
// migrated, a newer one has its data tables rebuilt empty.

#include <sstream>

#include "database.h"
#include "log/log.h"
#include "opening_rule.h"
#include "schema.h"
#include "version_text.h"

namespace database_interface {

namespace {

struct Migration {
  const char* version;  // files below this version get `sql`
  const char* sql;      // safe to run twice: a failed check repeats it
};

// session_cache came with 1.12.0. Its text is the table's own definition,
// which CreateTable has already run, so applying it changes nothing more.
// NOLINTNEXTLINE(cppcoreguidelines-interfaces-global-init): kDdl is constant-initialized
const Migration kMigrations[] = {
    {"1.12.0", kDdl[kCreateSessionCache]},
};

}  // namespace

int32_t CDatabase::CheckAndUpdateDb() {
  int32_t id = 0;
  std::string version;
  const int32_t found = SelectDbVersion(id, version);
  if (found == -1) {
    LogError("[database]SelectDbVersion failed");
    return -1;
  }
  switch (OpeningFor(found == 1 ? version.c_str() : nullptr)) {
    case Opening::kNothing:
      return 0;
    case Opening::kStamp:
      if (InsertDbVersion() != 0) {
        LogError("[database]InsertDbVersion failed");
        return -1;
      }
      return 0;
    case Opening::kRefuse:
      // The comparison fails as it did in the decision, and logs which text
      // would not split.
      (void)VersionCompare(version.c_str(), kSchemaVersion);
      LogError("[database]VersionCompare with[%s][%s] failed", version.c_str(), kSchemaVersion);
      return -1;
    case Opening::kMigrate:
      if (VersionChangeDb(version) != 0) {
        LogError("[database]VersionChangeDb failed");
        return -1;
      }
      break;
    case Opening::kRebuild:
      if (ReCreateTable() != 0) {
        LogError("[database]ReCreateTable failed");
        return -1;
      }
      break;
  }
  // Rewritten only after the change succeeded, so that a failure leaves the
  // old version and the next Init repeats the change.
  if (UpdateDbVersion(id) != 0) {
    LogError("[database]UpdateDbVersion failed");
    return -1;
  }
  return 0;
}

int32_t CDatabase::SelectDbVersion(int32_t& id, std::string& version) {
  return RunAtMostOneRow(AdmitVersionCall(kSelectDbVersion), {}, [&](const Row& row) {
    id = row.Int(0);
    row.Text(1, version);
  });
}

int32_t CDatabase::InsertDbVersion() {
  return RunNoRow(AdmitVersionCall(kInsertDbVersion),
                  {TextParam(":version", kSchemaVersion, kSchemaVersionLength)});
}

int32_t CDatabase::UpdateDbVersion(int32_t id) {
  return RunNoRow(
      AdmitVersionCall(kUpdateDbVersion),
      {TextParam(":version", kSchemaVersion, kSchemaVersionLength), IntParam(":id", id)});
}

int32_t CDatabase::VersionChangeDb(const std::string& oldDbVersion) {
  // Every entry is compared with the version the file had, not with the
  // entries already applied, so all newer entries run, in list order.
  for (const Migration& migration : kMigrations) {
    const int32_t order = VersionCompare(oldDbVersion.c_str(), migration.version);
    if (order == -1) {
      LogError("[database]%s VersionCompare with oldDbVersion[%s] newDbVersion[%s] failed",
               "database_interface::CDatabase::VersionChangeDb", oldDbVersion.c_str(),
               migration.version);
      return -1;
    }
    if (order == 1 && Exec("database_interface::CDatabase::VersionChangeDb", migration.sql) != 0) {
      return -1;
    }
  }
  return 0;
}

int32_t CDatabase::ReCreateTable() {
  if (Exec("database_interface::CDatabase::ReCreateTable", kDropScript) != 0) {
    return -1;
  }
  return CreateTable();
}

int32_t CDatabase::VersionCompare(const char* oldDbVersion, const char* newDbVersion) {
  // The old text first: when it cannot be split, the new one is not looked at.
  const char* const texts[2] = {oldDbVersion, newDbVersion};
  VersionNumbers numbers[2] = {};
  for (int i = 0; i < 2; ++i) {
    std::istringstream stream(texts[i]);
    if (VersionSplit(stream, numbers[i][0], numbers[i][1], numbers[i][2]) != 0) {
      LogError("[database]%s VersionSplit with version[%s] failed",
               "database_interface::CDatabase::VersionCompare", texts[i]);
      return -1;
    }
  }
  return CompareVersionNumbers(numbers[0], numbers[1]);
}

int32_t CDatabase::VersionSplit(std::istream& stream, int32_t& major, int32_t& minor,
                                int32_t& patch) {
  return SplitVersionText(stream, major, minor, patch);
}

}  // namespace database_interface
