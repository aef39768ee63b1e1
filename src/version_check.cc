// The schema version check run by Init: a new file is stamped, an older one
// migrated, a newer one has its data tables rebuilt empty.

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "database.h"
#include "log/log.h"
#include "schema.h"

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
    {"1.12.0", kDdl[6]},
};

// The decimal number at the start of `piece`, as strtol reads it: leading
// blanks and a sign accepted, what follows the digits ignored. False when
// no digit starts the piece or the number does not fit 32 bits.
bool ParseVersionNumber(const std::string& piece, int32_t& number) {
  const char* begin = piece.c_str();
  char* end = nullptr;
  errno = 0;
  const auto value = std::strtol(begin, &end, 10);
  if (end == begin || errno == ERANGE || value < std::numeric_limits<int32_t>::min() ||
      value > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  number = static_cast<int32_t>(value);
  return true;
}

}  // namespace

int32_t CDatabase::CheckAndUpdateDb() {
  int32_t id = 0;
  std::string version;
  const int32_t found = SelectDbVersion(id, version);
  if (found == -1) {
    LogError("[database]SelectDbVersion failed");
    return -1;
  }
  if (found == 0) {
    if (InsertDbVersion() != 0) {
      LogError("[database]InsertDbVersion failed");
      return -1;
    }
    return 0;
  }

  const int32_t order = VersionCompare(version.c_str(), kSchemaVersion);
  if (order == -1) {
    LogError("[database]VersionCompare with[%s][%s] failed", version.c_str(), kSchemaVersion);
    return -1;
  }
  if (order == 0) {
    return 0;
  }
  if (order == 1 && VersionChangeDb(version) != 0) {
    LogError("[database]VersionChangeDb failed");
    return -1;
  }
  if (order == 2 && ReCreateTable() != 0) {
    LogError("[database]ReCreateTable failed");
    return -1;
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
  return RunAtMostOneRow(Version(kSelectDbVersion), {}, [&](const Row& row) {
    id = row.Int(0);
    row.Text(1, version);
  });
}

int32_t CDatabase::InsertDbVersion() {
  return RunNoRow(Version(kInsertDbVersion), {TextParam(":version", kSchemaVersion, 6)});
}

int32_t CDatabase::UpdateDbVersion(int32_t id) {
  return RunNoRow(Version(kUpdateDbVersion),
                  {TextParam(":version", kSchemaVersion, 6), IntParam(":id", id)});
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
  int32_t old_parts[3] = {0, 0, 0};
  int32_t new_parts[3] = {0, 0, 0};
  std::istringstream old_stream(oldDbVersion);
  if (VersionSplit(old_stream, old_parts[0], old_parts[1], old_parts[2]) != 0) {
    LogError("[database]%s VersionSplit with version[%s] failed",
             "database_interface::CDatabase::VersionCompare", oldDbVersion);
    return -1;
  }
  std::istringstream new_stream(newDbVersion);
  if (VersionSplit(new_stream, new_parts[0], new_parts[1], new_parts[2]) != 0) {
    LogError("[database]%s VersionSplit with version[%s] failed",
             "database_interface::CDatabase::VersionCompare", newDbVersion);
    return -1;
  }
  for (int i = 0; i < 3; ++i) {
    if (old_parts[i] != new_parts[i]) {
      return old_parts[i] > new_parts[i] ? 2 : 1;
    }
  }
  return 0;
}

int32_t CDatabase::VersionSplit(std::istream& stream, int32_t& major, int32_t& minor,
                                int32_t& patch) {
  int32_t* const numbers[3] = {&major, &minor, &patch};
  int pieces = 0;
  // getline consumes each "." and starts no piece after a final one.
  for (std::string piece; std::getline(stream, piece, '.'); ++pieces) {
    if (pieces < 3 && !ParseVersionNumber(piece, *numbers[pieces])) {
      return -1;
    }
  }
  return pieces == 3 ? 0 : -1;
}

}  // namespace database_interface
