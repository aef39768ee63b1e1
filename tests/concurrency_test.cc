// Several threads on one store, and another connection holding the file.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/log_capture.h"
#include "support/test_db.h"

namespace dbi_test {
namespace {

using database_interface::CoreRecode;
using database_interface::InstanceInfo;

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

// Threads run the same and different operations on one store; every row a
// call reported as stored is there once, with its own fields.
TEST_F(ConcurrencyTest, ThreadsSharingOneStoreLoseAndMixNothing) {
  constexpr int kThreads = 6;
  constexpr int kRounds = 40;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string tag = "thread" + std::to_string(t);
      for (int i = 0; i < kRounds; ++i) {
        const std::string name = tag + "-" + std::to_string(i);
        int32_t start = 0;
        bool ok = db_->InsertStartRecode(start, name.data(), static_cast<int32_t>(name.size()),
                                         tag.data(), static_cast<int32_t>(tag.size()), i) == 1;
        CoreRecode core;
        core.dump_file_path = name;
        core.start_recode_id = start;
        InstanceInfo info;
        info.instance_no = name;
        info.start_recode_id = start;
        ok = ok && db_->InsertCoreRecode(core) == 1 && db_->InsertInstanceInfo(info) == 1;
        ok = ok && db_->InsertSessionCache(name.c_str(), tag.c_str(), 1000 + i) == 0;

        std::string version, type, value;
        int64_t time = -1;
        std::vector<InstanceInfo> infos;
        std::vector<CoreRecode> cores;
        ok = ok && db_->SelectStartRecode(start, version, type, time) == 1 && version == name &&
             type == tag && time == i;
        ok = ok && db_->SelectInstanceInfoWithStartRecodeId(start, infos) == 1 &&
             infos[0].instance_no == name && infos[0].id == info.id;
        ok = ok && db_->SelectSessionCache(name.c_str(), 0, value) == 1 && value == tag;
        ok = ok && db_->SelectAllCoreRecode(cores) >= 1;
        if (!ok) {
          failures.fetch_add(1);
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(failures.load(), 0);
  RawDb raw(path_);
  for (const char* table : {"start_recode", "core_recode", "instance_info", "session_cache"}) {
    EXPECT_EQ(raw.Count(table), kThreads * kRounds) << table;
  }
  EXPECT_EQ(raw.Int("SELECT count(*) FROM core_recode c JOIN start_recode s ON "
                    "c.start_recode_id = s.id WHERE c.dump_file_path = s.sdk_version"),
            kThreads * kRounds);
  EXPECT_TRUE(log_.Lines().empty());
}

}  // namespace
}  // namespace dbi_test
