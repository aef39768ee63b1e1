#include "stores.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "files/open_flags.h"
#include "schema/schema.h"

namespace dbi_bench {

namespace {

std::vector<std::string> NumberedTexts(const char* format, int count) {
  std::vector<std::string> texts;
  for (int i = 0; i < count; ++i) {
    char text[64];
    (void)std::snprintf(text, sizeof text, format, i);
    texts.emplace_back(text);
  }
  return texts;
}

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE) {
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
  }
}

sqlite3* OpenLikeTheLibrary(const std::string& path) {
  sqlite3* db = nullptr;
  Check(sqlite3_open_v2(path.c_str(), &db, database_interface::kOpenFlags, nullptr), db, "open");
  Check(sqlite3_exec(db, database_interface::kDdl[database_interface::kForeignKeysOn], nullptr,
                     nullptr, nullptr),
        db, "pragma");
  return db;
}

// Runs `insert` once per row, binding what `bind(stmt, row)` binds.
template <typename Bind>
void InsertRows(sqlite3* db, const char* insert, int rows, Bind bind) {
  sqlite3_stmt* stmt = nullptr;
  Check(sqlite3_prepare_v2(db, insert, -1, &stmt, nullptr), db, insert);
  for (int row = 0; row < rows; ++row) {
    bind(stmt, row);
    Check(sqlite3_step(stmt), db, insert);
    sqlite3_reset(stmt);
  }
  sqlite3_finalize(stmt);
}

// Fills a file that the library has just created. One transaction: seeding
// is not what is measured.
void Seed(const std::string& path) {
  sqlite3* db = OpenLikeTheLibrary(path);
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
  InsertRows(db, "INSERT INTO session_cache(session_key, session_value, expire_time) VALUES(?,?,?)",
             kSessionKeys, [](sqlite3_stmt* stmt, int row) {
               sqlite3_bind_text(stmt, 1, SessionKey(row).c_str(), -1, SQLITE_TRANSIENT);
               sqlite3_bind_text(stmt, 2, "tok-8f2a61c4e9b07d35a1c2", -1, SQLITE_STATIC);
               sqlite3_bind_int64(stmt, 3, kNow + int64_t{3600} * 1000);
             });
  InsertRows(db, "INSERT INTO start_recode(sdk_version, sdk_type, start_time) VALUES(?,?,?)",
             kStartRecodes, [](sqlite3_stmt* stmt, int row) {
               sqlite3_bind_text(stmt, 1, "3.12.7", -1, SQLITE_STATIC);
               sqlite3_bind_text(stmt, 2, "android", -1, SQLITE_STATIC);
               sqlite3_bind_int64(stmt, 3, kNow + row);
             });
  InsertRows(db,
             "INSERT INTO core_recode(dump_file_path, log_file_path, start_recode_id, "
             "create_time) VALUES(?,?,?,?)",
             kCoreRecodes, [](sqlite3_stmt* stmt, int row) {
               sqlite3_bind_text(stmt, 1, "/data/user/0/com.example.sdk/crash/dump.dmp", -1,
                                 SQLITE_STATIC);
               sqlite3_bind_text(stmt, 2, "/data/user/0/com.example.sdk/crash/dump.log", -1,
                                 SQLITE_STATIC);
               sqlite3_bind_int(stmt, 3, 1 + row % kStartRecodes);
               sqlite3_bind_int64(stmt, 4, kNow + row);
             });
  InsertRows(db,
             "INSERT INTO instance_info(instance_no, session_id, business_type, protocol_type, "
             "start_recode_id, create_time) VALUES(?,?,?,?,1,?)",
             kInstanceInfos, [](sqlite3_stmt* stmt, int row) {
               sqlite3_bind_text(stmt, 1, "instance-0042", -1, SQLITE_STATIC);
               sqlite3_bind_text(stmt, 2, "5f0c2a9e-77b1-4c3e-9a4d-1b2c3d4e5f60", -1,
                                 SQLITE_STATIC);
               sqlite3_bind_int(stmt, 3, row % 4);
               sqlite3_bind_text(stmt, 4, "rtc", -1, SQLITE_STATIC);
               sqlite3_bind_int64(stmt, 5, kNow + row);
             });
  InsertRows(db,
             "INSERT INTO message_collect_key(message_access_key, message_access_secret_key) "
             "VALUES('access-key', 'secret-key')",
             1, [](sqlite3_stmt*, int) {});
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close_v2(db);
}

std::string FileName(const std::string& workload, const char* way) {
  std::string name = workload + "-" + way + ".db";
  std::replace_if(
      name.begin(), name.end(),
      [](char c) { return c == ' ' || c == '/' || c == '(' || c == ')' || c == ','; }, '_');
  return name;
}

}  // namespace

const std::string& SessionKey(int64_t i) {
  static const std::vector<std::string> keys = NumberedTexts("session.key.%05d", kSessionKeys);
  // 7919 is prime to kSessionKeys: the calls visit every key, scattered.
  return keys[static_cast<size_t>(i * 7919 % kSessionKeys)];
}

const std::string& MissingKey(int64_t i) {
  // Each sorts right after a stored key, so a miss descends the index as deep as a hit.
  static const std::vector<std::string> keys = NumberedTexts("session.key.%05d~", kSessionKeys);
  return keys[static_cast<size_t>(i * 7919 % kSessionKeys)];
}

int32_t StartId(int64_t i) {
  return static_cast<int32_t>(1 + i * 7919 % kStartRecodes);
}

const char* Sql(RecordStmt which) {
  return database_interface::kRecordStmts[which].sql;
}

FloorStmt::FloorStmt(sqlite3* db, RecordStmt which) {
  Check(sqlite3_prepare_v2(db, Sql(which), -1, &stmt_, nullptr), db, Sql(which));
}

FloorStmt::~FloorStmt() {
  sqlite3_finalize(stmt_);
}

StoreFolder::StoreFolder(const std::string& parent) {
  std::string pattern = parent + "/dbi_bench_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a folder under " + parent);
  }
  path_ = pattern;
  seeded_ = path_ + "/seeded.db";
  std::shared_ptr<IDatabaseInterface> creator = IDatabaseInterface::CreateDatabaseInterface();
  if (creator->Init(seeded_.c_str()) != 0) {
    throw std::runtime_error("cannot create " + seeded_);
  }
  creator->Close();
  Seed(seeded_);
}

StoreFolder::~StoreFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string StoreFolder::Copy(const std::string& name) const {
  std::string copy = path_ + "/" + name;
  std::filesystem::copy_file(seeded_, copy, std::filesystem::copy_options::overwrite_existing);
  return copy;
}

Stores::Stores(const StoreFolder& files, bool disk, const std::string& workload)
    : folder(files.path()),
      on_disk(disk),
      library(IDatabaseInterface::CreateDatabaseInterface()),
      floor(OpenLikeTheLibrary(files.Copy(FileName(workload, "floor")))) {
  if (library->Init(files.Copy(FileName(workload, "library")).c_str()) != 0) {
    throw std::runtime_error("library Init failed");
  }
  wrapper = std::make_unique<SQLite::Database>(files.Copy(FileName(workload, "sqlitecpp")),
                                               database_interface::kOpenFlags);
  wrapper->exec(database_interface::kDdl[database_interface::kForeignKeysOn]);
  if (on_disk) {
    floor_extra = OpenLikeTheLibrary(files.Copy(FileName(workload, "floor-extra")));
    Check(sqlite3_exec(floor_extra, "PRAGMA synchronous = EXTRA", nullptr, nullptr, nullptr),
          floor_extra, "synchronous");
  }
}

Stores::~Stores() {
  library->Close();
  sqlite3_close_v2(floor);
  sqlite3_close_v2(floor_extra);
}

}  // namespace dbi_bench
