// How the store opens its file: read and write, created when missing (a file
// the store made first is only opened: store_file.h), and in
// SQLite's serialized mode, whose connection mutex keeps calls from several
// threads apart on the one connection. The benchmarks open their baselines
// the same way.

#ifndef DATABASE_INTERFACE_FILES_OPEN_FLAGS_H_
#define DATABASE_INTERFACE_FILES_OPEN_FLAGS_H_

#include <sqlite3.h>

namespace database_interface {

constexpr int kOpenFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_FILES_OPEN_FLAGS_H_
