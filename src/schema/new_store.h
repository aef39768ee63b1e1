// A new store: foreign keys on, its tables from the schema's texts in the
// schema's order, and the version row of the current schema version. The
// library's Init runs the same steps on any file, the version row coming
// from its version check; dbi makes its salvaged stores and its
// replacement first pages with MakeNewStore.

#ifndef DATABASE_INTERFACE_SCHEMA_NEW_STORE_H_
#define DATABASE_INTERFACE_SCHEMA_NEW_STORE_H_

#include <sqlite3.h>

#include <string>

#include "schema/schema.h"

namespace database_interface {

// Creates each of the schema's tables that `db` lacks, in the schema's
// order: kDdlCount when every text ran, otherwise the one that failed, with
// SQLite's code in `rc`. The library's Init, its re-creation of the data
// tables and MakeNewStore all create tables so.
Ddl CreateMissingTables(sqlite3* db, int& rc);

// Makes the store in `db`, which must be empty: false with `error` set to
// SQLite's message when a statement fails.
bool MakeNewStore(sqlite3* db, std::string& error);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_SCHEMA_NEW_STORE_H_
