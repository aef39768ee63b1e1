// Files and raw SQLite access for tests: a temporary folder per test, the
// store file kept with the sources, and a second connection to look at (or
// tamper with) a store's file directly.

#ifndef DATABASE_INTERFACE_TESTS_SUPPORT_TEST_DB_H_
#define DATABASE_INTERFACE_TESTS_SUPPORT_TEST_DB_H_

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "database_interface/database_interface.h"
#include "support/file_folder.h"
#include "support/log_capture.h"

namespace dbi_test {

using database_interface::CoreRecode;
using database_interface::IDatabaseInterface;
using database_interface::InstanceInfo;
using Lines = std::vector<std::string>;

// The schema version that opening stamps on a file; the tests' one copy.
constexpr char kCurrentVersion[] = "1.13.0";

// Fields as RawDb::Rows gives a row's columns: "a|b|c".
template <typename First, typename... Fields>
std::string Joined(const First& first, const Fields&... fields) {
  std::ostringstream out;
  out << first;
  ((out << '|' << fields), ...);
  return out.str();
}

// A plain SQLite connection to a file, outside the store.
class RawDb {
 public:
  explicit RawDb(const std::string& path);
  ~RawDb();
  RawDb(const RawDb&) = delete;
  RawDb& operator=(const RawDb&) = delete;

  // Runs `sql`; fails the current test if SQLite refuses it.
  void Exec(const std::string& sql);
  // Every row as text, its columns joined by '|'.
  Lines Rows(const std::string& sql);
  // The rows of the five record tables, as "starts|cores|instances|sessions|keys".
  std::string Counts();

 private:
  sqlite3* db_ = nullptr;
};

// What most tests start from: a temporary folder, the captured log, and the
// path of a store file in the folder.
class StoreTest : public ::testing::Test {
 protected:
  TempDir dir_;
  LogCapture log_;
  std::string path_ = dir_.File("store.db");
};

// A new, unopened store whose last release closes it. The store's own
// destruction leaves an open connection open, which would be a leak here.
std::shared_ptr<IDatabaseInterface> NewStore();

// A NewStore() opened on `path`; fails the current test when Init fails.
std::shared_ptr<IDatabaseInterface> OpenStore(const std::string& path);

// Calls each record operation once, as the workload (support/workload.h)
// does, on rows that do not exist; fails the current test unless every one
// answers -1 and writes nothing to its outputs.
void ExpectEveryRecordOperationRefused(IDatabaseInterface& db);

// Replaces the file at `path` with a copy of the store file kept with the
// sources (Counts() "1|1|1|2|1"), stamped with the schema version `version`.
void CopyStoreFile(const std::string& path, const std::string& version);

// The bytes of the file at `path`; empty for anything else, which is not
// opened: a FIFO would block.
std::string FileContents(const std::string& path);

// `lines` with the statement text of each "sql[...]" left out: what a test
// checks of a failed call's line without a copy of every statement's text.
Lines WithoutSql(Lines lines);

// How many files, and on Windows handles of any kind, the process holds.
int64_t OpenDescriptorCount();

}  // namespace dbi_test

#endif  // DATABASE_INTERFACE_TESTS_SUPPORT_TEST_DB_H_
