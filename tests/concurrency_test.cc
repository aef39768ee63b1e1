// Another connection holding the store's file: as a reader while an insert
// commits, and with a write or exclusive lock. (Threads sharing one store are
// in stress_test.cc.)

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_db.h"

namespace dbi_test {
namespace {

class ConcurrencyTest : public StoreTest {
 protected:
  std::shared_ptr<IDatabaseInterface> db_ = OpenStore(path_);
};

std::string LockedLine(const std::string& op) {
  return "[database]database_interface::CDatabase::" + op +
         " sqlite3_step with sql[] failed:database is locked";
}

// An insert that hands back its id commits only when its statement ends; a
// reader on another connection makes that commit fail. The insert must then
// report the failure, not an id for a row that was rolled back.
TEST_F(ConcurrencyTest, InsertsReturningIdsFailWhileAnotherConnectionReads) {
  const int32_t start = AddStart(*db_);
  RawDb reader(path_);
  reader.Exec("BEGIN");
  ASSERT_EQ(reader.Count("start_recode"), 1);  // holds a shared lock

  int32_t id = -7;
  CoreRecode core{-7, "", "", start, 0};
  InstanceInfo info{-7, "", "", 0, "", start, 0};
  EXPECT_EQ(db_->InsertStartRecode(id, "v", 1, "t", 1, 1), -1);
  EXPECT_EQ(db_->InsertCoreRecode(core), -1);
  EXPECT_EQ(db_->InsertInstanceInfo(info), -1);
  EXPECT_EQ(std::to_string(id) + std::to_string(core.id) + std::to_string(info.id), "-7-7-7");
  EXPECT_EQ(WithoutSql(log_.Lines()),
            (Lines{LockedLine("InsertStartRecode"), LockedLine("InsertCoreRecode"),
                   LockedLine("InsertInstanceInfo")}));
  reader.Exec("COMMIT");
  EXPECT_EQ(RawDb(path_).Counts(), "1/0/0/0/0");

  EXPECT_EQ(db_->InsertStartRecode(id, "v", 1, "t", 1, 1), 1);
  EXPECT_EQ(db_->InsertCoreRecode(core), 1);
  EXPECT_EQ(db_->InsertInstanceInfo(info), 1);
  // The rolled-back rows' ids were not handed out: the next ones follow on.
  EXPECT_EQ(id, start + 1);
  EXPECT_EQ(RawDb(path_).Counts(), "2/1/1/0/0");
}

// A lock held by another connection fails every call that needs it at once
// (the store sets no busy timeout): with its write lock (reserved) the eleven
// writes, with the whole file (exclusive) all sixteen.
TEST_F(ConcurrencyTest, AnotherConnectionsLockFailsTheCallsThatNeedItAtOnce) {
  for (const std::string begin : {"BEGIN IMMEDIATE", "BEGIN EXCLUSIVE"}) {
    SCOPED_TRACE(begin);
    RawDb holder(path_);
    holder.Exec(begin);
    holder.Exec(
        "INSERT INTO session_cache (session_key, session_value, expire_time) "
        "VALUES ('held', 'x', 1)");
    log_.Clear();
    const std::vector<int32_t> results = CallEveryRecordOperation(*db_);
    const bool exclusive = begin == "BEGIN EXCLUSIVE";
    // In the interface's order: the reads are 0, 3, 7, 10 and 15.
    for (size_t i = 0; i < results.size(); ++i) {
      const bool read = i == 0 || i == 3 || i == 7 || i == 10 || i == 15;
      EXPECT_EQ(results[i], exclusive || !read ? -1 : 0) << "operation " << i;
    }
    const Lines lines = WithoutSql(log_.Lines());
    EXPECT_EQ(lines.size(), exclusive ? 16u : 11u);
    for (const std::string& line : lines) {
      EXPECT_NE(line.find(" sqlite3_step with sql[] failed:database is locked"), std::string::npos)
          << line;
    }
    holder.Exec("ROLLBACK");
  }
}

}  // namespace
}  // namespace dbi_test
