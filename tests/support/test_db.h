// Files and raw SQLite access for tests: a temporary folder per test, and a
// second connection to look at (or tamper with) a store's file directly.

#ifndef DATABASE_INTERFACE_TESTS_SUPPORT_TEST_DB_H_
#define DATABASE_INTERFACE_TESTS_SUPPORT_TEST_DB_H_

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "database_interface/database_interface.h"

namespace dbi_test {

using database_interface::IDatabaseInterface;

// A fresh folder under the system's temporary folder, removed with its
// content on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A plain SQLite connection to a file, outside the store.
class RawDb {
 public:
  explicit RawDb(const std::string& path);
  ~RawDb();
  RawDb(const RawDb&) = delete;
  RawDb& operator=(const RawDb&) = delete;

  // Runs `sql`; fails the current test if SQLite refuses it.
  void Exec(const std::string& sql);
  // The first column of the first row as an integer; -1 when there is none.
  int64_t Int(const std::string& sql);
  // Every row's first column as text.
  std::vector<std::string> Column(const std::string& sql);
  int64_t Count(const std::string& table) { return Int("SELECT count(*) FROM " + table); }

 private:
  sqlite3* db_ = nullptr;
};

// A new, unopened store whose last release closes it. The store's own
// destruction leaves an open connection open, which would be a leak here.
std::shared_ptr<IDatabaseInterface> NewStore();

// A NewStore() opened on `path`; fails the current test when Init fails.
std::shared_ptr<IDatabaseInterface> OpenStore(const std::string& path);

// Calls each of the sixteen record operations once, in the interface's
// order, on rows that do not exist, and returns their results. Fails the
// current test if any output was written: meant for calls that are refused,
// fail or find nothing.
std::vector<int32_t> CallEveryRecordOperation(IDatabaseInterface& db);

// Replaces the file at `path` with a store holding one row in every table,
// stamped with the schema version `version`.
void MakeStoreFile(const std::string& path, const std::string& version);

// How many files, and on Windows handles of any kind, the process holds.
int64_t OpenDescriptorCount();

// Inserts a start record and returns its id (fails the test otherwise).
int32_t AddStart(IDatabaseInterface& db, const std::string& version = "1.0.0",
                 const std::string& type = "sdk", int64_t start_time = 1);

}  // namespace dbi_test

#endif  // DATABASE_INTERFACE_TESTS_SUPPORT_TEST_DB_H_
