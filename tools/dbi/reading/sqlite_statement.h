#ifndef DATABASE_INTERFACE_TOOLS_DBI_READING_SQLITE_STATEMENT_H_
#define DATABASE_INTERFACE_TOOLS_DBI_READING_SQLITE_STATEMENT_H_

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <string>

namespace dbi {

// dbi's one way to hold a connection and a prepared statement: closed or
// finalized when they go, so that no early return leaves a statement
// holding the file's read lock or a scratch database in memory.
struct ConnectionCloser {
  void operator()(sqlite3* db) const { (void)sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;

struct StatementFinalizer {
  void operator()(sqlite3_stmt* stmt) const { (void)sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// A private database in memory; null, with SQLite's message in `error`,
// when it cannot be opened (only for want of memory).
Connection OpenMemory(std::string& error);

// The statement for `sql`; null, with SQLite's message in `error`, when it
// does not prepare.
Statement Prepare(sqlite3* db, const std::string& sql, std::string& error);

// Runs `stmt` to its end, handing each row to `on_row`: SQLITE_DONE, or the
// code of the step that failed. Every query dbi runs goes through here.
using RowReader = std::function<void(sqlite3_stmt*)>;
int EachRow(sqlite3_stmt* stmt, const RowReader& on_row);
// The same for `sql`: false, with SQLite's message in `error`, when it does
// not prepare or a step fails.
bool EachRow(sqlite3* db, const std::string& sql, const RowReader& on_row, std::string& error);

// Runs `sql` to its end: false, with SQLite's message in `error`, when it
// fails.
bool Exec(sqlite3* db, const std::string& sql, std::string& error);

// The bytes of `db`'s main database, as its file would hold them; throws
// std::bad_alloc when SQLite cannot allocate them.
std::string Serialized(sqlite3* db);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_READING_SQLITE_STATEMENT_H_
