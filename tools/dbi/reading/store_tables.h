// The store's tables by what they are, with the names and columns the
// schema gives them: dbi names no table of its own.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_READING_STORE_TABLES_H_
#define DATABASE_INTERFACE_TOOLS_DBI_READING_STORE_TABLES_H_

#include <sqlite3.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "schema/schema.h"

namespace dbi {

// The table that `create` makes.
inline const database_interface::Table& StoreTable(database_interface::Ddl create) {
  return database_interface::kTables[create - database_interface::kFirstCreateTable];
}

inline const char* VersionTable() {
  return StoreTable(database_interface::kCreateDbVersion).name;
}
inline const char* KeyPairTable() {
  return StoreTable(database_interface::kCreateMessageCollectKey).name;
}
inline const char* CoreTable() {
  return StoreTable(database_interface::kCreateCoreRecode).name;
}
inline const char* InstanceTable() {
  return StoreTable(database_interface::kCreateInstanceInfo).name;
}
inline const char* StartTable() {
  return StoreTable(database_interface::kCreateStartRecode).name;
}
inline const char* SessionTable() {
  return StoreTable(database_interface::kCreateSessionCache).name;
}

// The columns the library reads a record by.
inline const char* StartIdColumn() {
  return database_interface::schema_columns::kCoreRecode[3].name;
}
inline const char* SessionKeyColumn() {
  return database_interface::schema_columns::kSessionCache[1].name;
}
inline const char* ExpiryColumn() {
  return database_interface::schema_columns::kSessionCache[3].name;
}

// `table`'s columns from the `first` on, as a SELECT lists them.
inline std::string ColumnList(const database_interface::Table& table, size_t first = 0) {
  std::string list;
  for (size_t i = first; i < table.column_count; ++i) {
    list += (list.empty() ? "" : ", ") + std::string(table.columns[i].name);
  }
  return list;
}

// Whether `name` is one of the store's tables, as SQLite compares names.
inline bool IsStoreTable(const char* name) {
  return std::any_of(std::begin(database_interface::kTables), std::end(database_interface::kTables),
                     [&](const database_interface::Table& table) {
                       return sqlite3_stricmp(table.name, name) == 0;
                     });
}

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_READING_STORE_TABLES_H_
