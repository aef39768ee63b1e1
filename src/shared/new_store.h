// A new store, made in a connection the way the library's Init makes one on
// a missing file: foreign keys on, its tables from the schema's texts in
// the schema's order, and the version row of the current schema version.
// dbi makes its salvaged stores and its replacement first pages so.

#ifndef DATABASE_INTERFACE_SHARED_NEW_STORE_H_
#define DATABASE_INTERFACE_SHARED_NEW_STORE_H_

#include <sqlite3.h>

#include <string>

namespace database_interface {

// Makes the store in `db`, which must be empty: false with `error` set to
// SQLite's message when a statement fails.
bool MakeNewStore(sqlite3* db, std::string& error);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_SHARED_NEW_STORE_H_
