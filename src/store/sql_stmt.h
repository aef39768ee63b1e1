// One prepared statement with the lock that serialises its runs.

#ifndef DATABASE_INTERFACE_STORE_SQL_STMT_H_
#define DATABASE_INTERFACE_STORE_SQL_STMT_H_

#include <sqlite3.h>

#include <memory>
#include <mutex>
#include <vector>

namespace database_interface {

struct SqlStmt {
  // Prepares `sql` on `db`. A statement that does not compile is logged and
  // leaves `stmt` null.
  SqlStmt(sqlite3* db, const char* sql);
  // Finalizes the statement, after any run holding `lock` has ended.
  ~SqlStmt();

  SqlStmt(const SqlStmt&) = delete;
  SqlStmt& operator=(const SqlStmt&) = delete;

  std::mutex lock;               // held from before a run's first bind to after its reset
  sqlite3_stmt* stmt = nullptr;  // null when preparation failed
};

// A statement set: entry i is prepared from text i of the set's table.
using StmtSet = std::vector<std::shared_ptr<SqlStmt>>;

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_STORE_SQL_STMT_H_
