#ifndef DATABASE_INTERFACE_TOOLS_DBI_READING_SQLITE_STATEMENT_H_
#define DATABASE_INTERFACE_TOOLS_DBI_READING_SQLITE_STATEMENT_H_

#include <sqlite3.h>

#include <memory>
#include <string>

namespace dbi {

// dbi's one way to hold a prepared statement: finalized when it goes, so
// that no early return leaves one holding the file's read lock.
struct StatementFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// The statement for `sql`; null, with SQLite's message in `error`, when it
// does not prepare.
Statement Prepare(sqlite3* db, const char* sql, std::string& error);

// Runs `sql` to its end: false, with SQLite's message in `error`, when it
// fails.
bool Exec(sqlite3* db, const char* sql, std::string& error);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_READING_SQLITE_STATEMENT_H_
