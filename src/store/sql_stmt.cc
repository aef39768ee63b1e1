#include "store/sql_stmt.h"

#include <cstring>

#include "log/log.h"

namespace database_interface {

SqlStmt::SqlStmt(sqlite3* db, const char* sql) {
  const int rc = sqlite3_prepare_v2(db, sql, static_cast<int>(std::strlen(sql)), &stmt, nullptr);
  if (rc != SQLITE_OK) {
    LogError("[database]prepare sql[%s] failed:%s", sql, sqlite3_errstr(rc));
    stmt = nullptr;
  }
}

SqlStmt::~SqlStmt() {
  std::lock_guard<std::mutex> guard(lock);
  if (stmt != nullptr) {
    sqlite3_finalize(stmt);
    stmt = nullptr;
  }
}

}  // namespace database_interface
