// What the health check finds in a store's bytes, damaged by hand: the
// pragma's own findings line by line, and the b-trees that are not trees
// (here a loop; a shared child is the end-to-end test's), which it refuses
// to hand the pragma.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "reading/sqlite_statement.h"
#include "recover/recovery_extension.h"

namespace dbi {
namespace {

constexpr int kPageSize = 1024;

TEST(DbiIntegrityTest, EachDamageIsFoundAndALoopIsNotFollowed) {
  // The first table's root is page 2, and stays there as its rows, on small
  // pages, make it an interior page.
  std::string error;
  const Connection db = OpenMemory(error);
  ASSERT_TRUE(db && Exec(db.get(),
                         "PRAGMA page_size = 1024;"
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                         "WHERE i < 400) INSERT INTO t SELECT i, printf('%080d', i) FROM n;",
                         error))
      << error;
  const std::string sound = Serialized(db.get());
  const size_t root_at = kPageSize;
  ASSERT_EQ(sound[root_at], '\x05') << "the table's root is no interior page";
  std::string looped = sound;
  looped.replace(root_at + 8, 4, std::string("\0\0\0\2", 4));  // its right child is itself
  std::string overwritten = sound;
  overwritten.replace(overwritten.size() - kPageSize, kPageSize, kPageSize, '\xa5');
  // A part of the first finding: SQLite's wording varies with its version,
  // the page it names does not. (A sound file has none: dbi_recover_test.)
  const std::pair<std::string, std::string> rows[] = {
      {looped, "b-tree page 2 is reached twice"},
      {overwritten, "age " + std::to_string(sound.size() / kPageSize)},
  };
  for (const auto& [file, finding] : rows) {
    const std::vector<std::string> findings = IntegrityFindings(file);
    ASSERT_FALSE(findings.empty()) << finding;
    EXPECT_NE(findings.front().find(finding), std::string::npos) << findings.front();
    for (const std::string& line : findings) {
      EXPECT_TRUE(line != "ok" && !line.empty() && line.rfind("*** ", 0) != 0) << line;
    }
  }
}

}  // namespace
}  // namespace dbi
