#include "reading/sqlite_statement.h"

#include <new>

namespace dbi {

Connection OpenMemory(std::string& error) {
  sqlite3* opened = nullptr;
  const int rc = sqlite3_open_v2(":memory:", &opened, SQLITE_OPEN_READWRITE, nullptr);
  Connection db(opened);
  if (rc != SQLITE_OK) {
    error = sqlite3_errstr(rc);
    db.reset();
  }
  return db;
}

Statement Prepare(sqlite3* db, const std::string& sql, std::string& error) {
  sqlite3_stmt* prepared = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &prepared, nullptr) != SQLITE_OK) {
    error = sqlite3_errmsg(db);
  }
  return Statement(prepared);
}

int EachRow(sqlite3_stmt* stmt, const RowReader& on_row) {
  int rc = SQLITE_ROW;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    on_row(stmt);
  }
  return rc;
}

bool EachRow(sqlite3* db, const std::string& sql, const RowReader& on_row, std::string& error) {
  const Statement stmt = Prepare(db, sql, error);
  if (!stmt) {
    return false;
  }
  if (EachRow(stmt.get(), on_row) != SQLITE_DONE) {
    error = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

bool Exec(sqlite3* db, const std::string& sql, std::string& error) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    error = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

std::string Serialized(sqlite3* db) {
  sqlite3_int64 size = 0;
  unsigned char* bytes = sqlite3_serialize(db, "main", &size, 0);
  if (bytes == nullptr) {
    throw std::bad_alloc();
  }
  std::string serialized(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
  sqlite3_free(bytes);
  return serialized;
}

}  // namespace dbi
