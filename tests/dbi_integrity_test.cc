// What the health check finds in a store's bytes, damaged by hand: the
// pragma's own findings line by line, and the b-trees that are not trees
// (here a loop; a shared child is the end-to-end test's), which it refuses
// to hand the pragma.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "reading/sqlite_statement.h"
#include "recover/recovery_extension.h"

namespace dbi {
namespace {

constexpr int kPageSize = 1024;

// A table of enough rows on small pages that its root is an interior page:
// the file's bytes, and that root's page number.
std::string TreeFile(int64_t& root) {
  std::string error;
  const Connection db = OpenMemory(error);
  EXPECT_TRUE(db && Exec(db.get(),
                         "PRAGMA page_size = 1024;"
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                         "WHERE i < 400) INSERT INTO t SELECT i, printf('%080d', i) FROM n;",
                         error))
      << error;
  const Statement stmt =
      Prepare(db.get(), "SELECT rootpage FROM sqlite_schema WHERE name = 't'", error);
  root = stmt && sqlite3_step(stmt.get()) == SQLITE_ROW ? sqlite3_column_int64(stmt.get(), 0) : 0;
  return Serialized(db.get());
}

void PutU32(std::string& file, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) {
    file[at + i] = static_cast<char>(value >> (24 - 8 * i));
  }
}

TEST(DbiIntegrityTest, EachDamageIsFoundAndALoopIsNotFollowed) {
  int64_t root = 0;
  const std::string sound = TreeFile(root);
  ASSERT_GT(root, 1);
  const size_t root_at = static_cast<size_t>(root - 1) * kPageSize;
  ASSERT_EQ(sound[root_at], '\x05') << "the table's root is no interior page";

  struct Row {
    const char* name;
    std::string file;
    std::string finding;  // a part of the first finding, or empty for none
  };
  std::string looped = sound;
  PutU32(looped, root_at + 8, static_cast<uint32_t>(root));  // its right child is itself
  std::string overwritten = sound;
  overwritten.replace(overwritten.size() - kPageSize, kPageSize, kPageSize, '\xa5');
  const Row rows[] = {
      {"sound", sound, ""},
      {"a loop", looped, "is reached twice (two parents share it, or it is below itself)"},
      // SQLite's wording varies with its version; the page it names does not.
      {"a leaf overwritten", overwritten, "age " + std::to_string(sound.size() / kPageSize)},
  };
  for (const Row& row : rows) {
    const std::vector<std::string> findings = IntegrityFindings(row.file);
    if (row.finding.empty()) {
      EXPECT_TRUE(findings.empty()) << row.name << ": " << findings.front();
      continue;
    }
    ASSERT_FALSE(findings.empty()) << row.name;
    EXPECT_NE(findings.front().find(row.finding), std::string::npos)
        << row.name << ": " << findings.front();
    for (const std::string& finding : findings) {
      EXPECT_TRUE(finding != "ok" && !finding.empty() && finding.rfind("*** ", 0) != 0)
          << row.name << ": " << finding;
    }
  }
}

}  // namespace
}  // namespace dbi
