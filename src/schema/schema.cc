#include "schema/schema.h"

namespace database_interface {

// These texts are what SQLite stores as the tables' definitions in existing
// files: they must not change, not even in blanks.
const char* const kDdl[kDdlCount] = {
    "PRAGMA foreign_keys = ON;",
    "CREATE TABLE IF NOT EXISTS db_version(id INTEGER PRIMARY KEY AUTOINCREMENT, version "
    "VARCHAR(64) NOT NULL)",
    "CREATE TABLE IF NOT EXISTS message_collect_key ( message_access_key TEXT NOT NULL, "
    "message_access_secret_key TEXT NOT NULL);",
    "CREATE TABLE IF NOT EXISTS core_recode (id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "dump_file_path VARCHAR(256) NOT NULL, log_file_path VARCHAR(256) NOT NULL, start_recode_id "
    "INTEGER NOT NULL, create_time BIGINT NOT NULL, FOREIGN KEY (start_recode_id) REFERENCES "
    "start_recode(id) ON DELETE CASCADE);",
    "CREATE TABLE IF NOT EXISTS instance_info (id INTEGER PRIMARY KEY AUTOINCREMENT, instance_no "
    "VARCHAR(64) NOT NULL, session_id VARCHAR(256) NOT NULL, business_type int NOT NULL, "
    "protocol_type VARCHAR(64) NOT NULL, start_recode_id INTEGER NOT NULL, create_time BIGINT NOT "
    "NULL, FOREIGN KEY (start_recode_id) REFERENCES start_recode(id) ON DELETE CASCADE);",
    "CREATE TABLE IF NOT EXISTS start_recode ( id INTEGER PRIMARY KEY AUTOINCREMENT, sdk_version "
    "VARCHAR(64) NOT NULL, sdk_type VARCHAR(64) NOT NULL, start_time BIGINT NOT NULL);",
    "CREATE TABLE IF NOT EXISTS session_cache(id INTEGER PRIMARY KEY AUTOINCREMENT, session_key "
    "VARCHAR(256) NOT NULL UNIQUE, session_value VARCHAR(1024) NOT NULL, expire_time BIGINT NOT "
    "NULL);",
};

const char* const kDropScript =
    "DROP TABLE IF EXISTS core_recode;DROP TABLE IF EXISTS instance_info;DROP TABLE IF EXISTS "
    "start_recode;DROP TABLE IF EXISTS session_cache;";

Ddl CreateMissingTables(sqlite3* db, int& rc) {
  for (size_t create = kFirstCreateTable; create < kDdlCount; ++create) {
    rc = sqlite3_exec(db, kDdl[create], nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      return static_cast<Ddl>(create);
    }
  }
  return kDdlCount;
}

}  // namespace database_interface
