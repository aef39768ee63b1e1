// A new store, made in a connection the way the library's Init makes one on
// a missing file: its tables from the library's own texts, in the library's
// order, and the version row of the current schema version.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_NEW_STORE_H_
#define DATABASE_INTERFACE_TOOLS_DBI_NEW_STORE_H_

#include <sqlite3.h>

#include <string>

namespace dbi {

// Makes the store in `db`, which must be empty: false with `error` set to
// SQLite's message when a statement fails.
bool MakeNewStore(sqlite3* db, std::string& error);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_NEW_STORE_H_
