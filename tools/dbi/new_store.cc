#include "new_store.h"

#include "schema.h"
#include "statements.h"

namespace dbi {

namespace {

bool Exec(sqlite3* db, const char* sql, std::string& error) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    error = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

bool InsertVersionRow(sqlite3* db, std::string& error) {
  using database_interface::kInsertDbVersion;
  using database_interface::kVersionStmts;
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, kVersionStmts[kInsertDbVersion].sql, -1, &stmt, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_bind_text(stmt, sqlite3_bind_parameter_index(stmt, ":version"),
                           database_interface::kSchemaVersion,
                           database_interface::kSchemaVersionLength, SQLITE_STATIC);
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

bool MakeNewStore(sqlite3* db, std::string& error) {
  using database_interface::kDdl;
  if (!Exec(db, kDdl[database_interface::kForeignKeysOn], error)) {
    return false;
  }
  for (size_t i = database_interface::kFirstCreateTable; i < database_interface::kDdlCount; ++i) {
    if (!Exec(db, kDdl[i], error)) {
      return false;
    }
  }
  return InsertVersionRow(db, error);
}

}  // namespace dbi
