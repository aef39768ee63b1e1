// A new store, as the library's Init leaves a new file: foreign keys on, the
// schema's tables in its order, and the version row of the current schema
// version. dbi makes its recovered stores, its replacement first pages and
// the tables it compares a file's with from it.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_READING_NEW_STORE_H_
#define DATABASE_INTERFACE_TOOLS_DBI_READING_NEW_STORE_H_

#include <sqlite3.h>

#include <string>

namespace dbi {

// Makes the store in `db`, which must be empty: false with `error` set to
// SQLite's message when a statement fails.
bool MakeNewStore(sqlite3* db, std::string& error);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_READING_NEW_STORE_H_
