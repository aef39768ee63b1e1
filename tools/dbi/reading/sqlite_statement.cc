#include "reading/sqlite_statement.h"

namespace dbi {

Statement Prepare(sqlite3* db, const char* sql, std::string& error) {
  sqlite3_stmt* prepared = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &prepared, nullptr) != SQLITE_OK) {
    error = sqlite3_errmsg(db);
  }
  return Statement(prepared);
}

bool Exec(sqlite3* db, const char* sql, std::string& error) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    error = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

}  // namespace dbi
