// The schema version check run by Init: it carries out the decision
// OpeningFor makes from the file's version row.

#include <iterator>
#include <string>

#include "log/log.h"
#include "schema/schema.h"
#include "schema/versions.h"
#include "store/database.h"

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

bool CDatabase::CheckAndUpdateDb() {
  int32_t id = 0;
  std::string version;
  const int32_t found = SelectDbVersion(id, version);
  if (found == -1) {
    return Failed("[database]SelectDbVersion failed");
  }
  switch (OpeningFor(found == 1 ? version.c_str() : nullptr)) {
    case Opening::kNothing:
      return true;
    case Opening::kStamp:
      return InsertDbVersion() || Failed("[database]InsertDbVersion failed");
    case Opening::kRefuse:
      // The comparison fails as it did in the decision, and logs which text
      // would not split.
      (void)VersionCompare(version.c_str(), kSchemaVersion);
      LogError("[database]VersionCompare with[%s][%s] failed", version.c_str(), kSchemaVersion);
      return false;
    case Opening::kMigrate:
      if (!VersionChangeDb(version)) {
        return Failed("[database]VersionChangeDb failed");
      }
      break;
    case Opening::kRebuild:
      if (!ReCreateTable()) {
        return Failed("[database]ReCreateTable failed");
      }
      break;
  }
  // Rewritten only after the change succeeded, so that a failure leaves the
  // old version and the next Init repeats the change.
  return UpdateDbVersion(id) || Failed("[database]UpdateDbVersion failed");
}

int32_t CDatabase::SelectDbVersion(int32_t& id, std::string& version) {
  return RunAtMostOneRow(AdmitVersionCall(kSelectDbVersion), {}, [&](const Row& row) {
    id = row.Int(0);
    row.Text(1, version);
  });
}

bool CDatabase::InsertDbVersion() {
  return RunNoRow(AdmitVersionCall(kInsertDbVersion), {TextParam(":version", kSchemaVersion)}) == 0;
}

bool CDatabase::UpdateDbVersion(int32_t id) {
  return RunNoRow(AdmitVersionCall(kUpdateDbVersion),
                  {TextParam(":version", kSchemaVersion), IntParam(":id", id)}) == 0;
}

bool CDatabase::VersionChangeDb(const std::string& oldDbVersion) {
  // Every entry is compared with the version the file had, not with the
  // entries already applied, so all newer entries run, in list order.
  for (const Migration& migration : kMigrations) {
    const int32_t order = VersionCompare(oldDbVersion.c_str(), migration.version);
    if (order == -1) {
      LogError("[database]%s VersionCompare with oldDbVersion[%s] newDbVersion[%s] failed",
               "database_interface::CDatabase::VersionChangeDb", oldDbVersion.c_str(),
               migration.version);
      return false;
    }
    if (order == 1 && !Exec("database_interface::CDatabase::VersionChangeDb", migration.sql)) {
      return false;
    }
  }
  return true;
}

bool CDatabase::ReCreateTable() {
  return Exec("database_interface::CDatabase::ReCreateTable", kDropScript) && CreateTable();
}

int32_t CDatabase::VersionCompare(const char* oldDbVersion, const char* newDbVersion) {
  // The old text first: when it cannot be split, the new one is not looked at.
  const char* const texts[2] = {oldDbVersion, newDbVersion};
  VersionNumbers numbers[2] = {};
  for (int i = 0; i < 2; ++i) {
    if (!ParseVersionText(texts[i], numbers[i])) {
      LogError("[database]%s VersionSplit with version[%s] failed",
               "database_interface::CDatabase::VersionCompare", texts[i]);
      return -1;
    }
  }
  return CompareVersionNumbers(numbers[0], numbers[1]);
}

int32_t CDatabase::VersionSplit(std::istream& stream, int32_t& major, int32_t& minor,
                                int32_t& patch) {
  VersionNumbers numbers{major, minor, patch};
  const bool split =
      ParseVersionText(std::string{std::istreambuf_iterator<char>(stream), {}}, numbers);
  major = numbers[0];
  minor = numbers[1];
  patch = numbers[2];
  return split ? 0 : -1;
}

}  // namespace database_interface
