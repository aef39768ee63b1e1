#include "schema/new_store.h"

#include "schema/statements.h"

namespace database_interface {

namespace {

bool Exec(sqlite3* db, const char* sql, std::string& error) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    error = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

bool InsertVersionRow(sqlite3* db, std::string& error) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, kVersionStmts[kInsertDbVersion].sql, -1, &stmt, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_bind_text(stmt, sqlite3_bind_parameter_index(stmt, ":version"), kSchemaVersion,
                           kSchemaVersionLength, SQLITE_STATIC);
  }
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(stmt);
  }
  if (rc != SQLITE_DONE) {
    error = sqlite3_errmsg(db);
  }
  sqlite3_finalize(stmt);
  return rc == SQLITE_DONE;
}

}  // namespace

Ddl CreateMissingTables(sqlite3* db, int& rc) {
  for (size_t create = kFirstCreateTable; create < kDdlCount; ++create) {
    rc = sqlite3_exec(db, kDdl[create], nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      return static_cast<Ddl>(create);
    }
  }
  return kDdlCount;
}

bool MakeNewStore(sqlite3* db, std::string& error) {
  int rc = SQLITE_OK;
  if (!Exec(db, kDdl[kForeignKeysOn], error)) {
    return false;
  }
  if (CreateMissingTables(db, rc) != kDdlCount) {
    error = sqlite3_errmsg(db);
    return false;
  }
  return InsertVersionRow(db, error);
}

}  // namespace database_interface
