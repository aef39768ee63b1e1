// Another connection holding the store's file: as a reader while an insert
// commits, and with a write or exclusive lock. (Threads sharing one store are
// in stress_test.cc.)

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/test_db.h"
#include "support/workload.h"

namespace dbi_test {
namespace {

class ConcurrencyTest : public ::testing::Test {
 protected:
  TempDir dir_;
  LogCapture log_;
  std::string path_ = dir_.File("store.db");
  std::shared_ptr<IDatabaseInterface> db_ = OpenStore(path_);
};

std::string LockedLine(const std::string& op, const std::string& sql) {
  return "[database]database_interface::CDatabase::" + op + " sqlite3_step with sql[" + sql +
         "] failed:database is locked";
}

// An insert that hands back its id commits only when its statement ends; a
// reader on another connection makes that commit fail. The insert must then
// report the failure, not an id for a row that was rolled back.
TEST_F(ConcurrencyTest, InsertsReturningIdsFailWhileAnotherConnectionReads) {
  const int32_t start = AddStart(*db_);
  RawDb reader(path_);
  reader.Exec("BEGIN");
  ASSERT_EQ(reader.Int("SELECT count(*) FROM start_recode"), 1);  // holds a shared lock

  int32_t id = -7;
  CoreRecode core;
  core.id = -7;
  core.start_recode_id = start;
  InstanceInfo info;
  info.id = -7;
  info.start_recode_id = start;
  EXPECT_EQ(db_->InsertStartRecode(id, "v", 1, "t", 1, 1), -1);
  EXPECT_EQ(db_->InsertCoreRecode(core), -1);
  EXPECT_EQ(db_->InsertInstanceInfo(info), -1);
  EXPECT_EQ(id, -7);
  EXPECT_EQ(core.id, -7);
  EXPECT_EQ(info.id, -7);
  EXPECT_EQ(log_.Lines(),
            (std::vector<std::string>{
                LockedLine("InsertStartRecode",
                           "INSERT INTO start_recode (sdk_version, sdk_type, start_time) "
                           "VALUES(:sdk_version, :sdk_type, :start_time) RETURNING id"),
                LockedLine("InsertCoreRecode",
                           "INSERT INTO core_recode (dump_file_path, log_file_path, "
                           "start_recode_id, create_time) VALUES(:dump_file_path, "
                           ":log_file_path, :start_recode_id, :create_time) RETURNING id"),
                LockedLine("InsertInstanceInfo",
                           "INSERT OR REPLACE INTO instance_info  (instance_no, session_id, "
                           "business_type, protocol_type, start_recode_id, create_time) VALUES "
                           "(:instance_no, :session_id, :business_type, :protocol_type, "
                           ":start_recode_id, :create_time) RETURNING id")}));
  reader.Exec("COMMIT");

  RawDb raw(path_);
  EXPECT_EQ(raw.Count("start_recode"), 1);
  EXPECT_EQ(raw.Count("core_recode") + raw.Count("instance_info"), 0);
  EXPECT_EQ(db_->InsertStartRecode(id, "v", 1, "t", 1, 1), 1);
  EXPECT_EQ(db_->InsertCoreRecode(core), 1);
  EXPECT_EQ(db_->InsertInstanceInfo(info), 1);
  // The rolled-back rows' ids were not handed out: the next ones follow on.
  EXPECT_EQ(id, start + 1);
  EXPECT_EQ(raw.Count("start_recode"), 2);
  EXPECT_EQ(raw.Count("core_recode") + raw.Count("instance_info"), 2);
}

// A lock held by another connection fails every call that needs it at once
// (the store sets no busy timeout): with its write lock (reserved) the eleven
// writes, with the whole file (exclusive) all sixteen. Once it lets go, a
// round of every operation works and the file holds just what it reported.
TEST_F(ConcurrencyTest, AnotherConnectionsLockFailsTheCallsThatNeedItAtOnce) {
  for (const std::string begin : {"BEGIN IMMEDIATE", "BEGIN EXCLUSIVE"}) {
    SCOPED_TRACE(begin);
    RawDb holder(path_);
    holder.Exec(begin);
    holder.Exec(
        "INSERT INTO session_cache (session_key, session_value, expire_time) VALUES "
        "('held', 'x', 1)");
    log_.Clear();
    const std::vector<int32_t> results = CallEveryRecordOperation(*db_);
    const std::vector<std::string> lines = log_.Lines();
    const bool exclusive = begin == "BEGIN EXCLUSIVE";
    // In the interface's order: the reads are 0, 3, 7, 10 and 15.
    for (size_t i = 0; i < results.size(); ++i) {
      const bool read = i == 0 || i == 3 || i == 7 || i == 10 || i == 15;
      EXPECT_EQ(results[i], exclusive || !read ? -1 : 0) << "operation " << i;
    }
    EXPECT_EQ(lines.size(), exclusive ? 16u : 11u);
    for (const std::string& line : lines) {
      EXPECT_NE(line.find(" sqlite3_step with sql["), std::string::npos) << line;
      EXPECT_EQ(line.substr(line.size() - 25), "failed:database is locked") << line;
    }
    holder.Exec("ROLLBACK");
  }
  log_.Clear();
  Model model;
  Workload workload(*db_, path_, model, "after", false);
  for (const Op& op : Workload::Round()) {
    EXPECT_TRUE(workload.Run(op)) << op;
  }
  ExpectFileMatches(path_, model);
  EXPECT_EQ(log_.Lines(), std::vector<std::string>{});
}

}  // namespace
}  // namespace dbi_test
