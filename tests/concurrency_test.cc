// Another connection reading the store's file while an insert commits.
// (Threads sharing one store are in stress_test.cc; a lock that fails a
// call, in failure_injection_test.cc.)

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace dbi_test
