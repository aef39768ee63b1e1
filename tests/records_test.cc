// Start, core and instance records and the key pair: what is stored comes
// back exactly, deleting a start takes its records with it, and refused
// writes store nothing.

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/test_db.h"

namespace dbi_test {
namespace {

using database_interface::CoreRecode;
using database_interface::InstanceInfo;
using Lines = std::vector<std::string>;

CoreRecode Core(int32_t start, const std::string& dump = "/tmp/a.dmp") {
  CoreRecode record;
  record.dump_file_path = dump;
  record.log_file_path = dump + ".log";
  record.start_recode_id = start;
  record.create_time = 1234567890123;
  return record;
}

InstanceInfo Instance(int32_t start, const std::string& no = "inst-1") {
  InstanceInfo info;
  info.instance_no = no;
  info.session_id = "session-" + no;
  info.business_type = 7;
  info.protocol_type = "rtmp";
  info.start_recode_id = start;
  info.create_time = 42;
  return info;
}

class RecordsTest : public ::testing::Test {
 protected:
  std::string Start(int32_t id) {
    std::string version = "-", type = "-";
    int64_t time = -1;
    const int32_t found = db_->SelectStartRecode(id, version, type, time);
    return std::to_string(found) + ":" + version + "/" + type + "/" + std::to_string(time);
  }

  TempDir dir_;
  LogCapture log_;
  std::string path_ = dir_.File("store.db");
  std::shared_ptr<IDatabaseInterface> db_ = OpenStore(path_);
};

TEST_F(RecordsTest, StartRecordsRoundTripWithTheirTextsAsGiven) {
  int32_t plain = 0, lengths = 0, nul = 0;
  ASSERT_EQ(db_->InsertStartRecode(plain, "3.2.1", 5, "ios", 3, -5), 1);
  // A negative length reads up to the NUL, a zero length stores an empty text.
  ASSERT_EQ(db_->InsertStartRecode(lengths, "4.0", -1, "whatever", 0, 1), 1);
  // Every byte up to the length is stored, but reads stop at a NUL.
  ASSERT_EQ(db_->InsertStartRecode(nul, "5.0\0beta", 8, "ab", 1, 2), 1);
  EXPECT_EQ(Start(plain), "1:3.2.1/ios/-5");
  EXPECT_EQ(Start(lengths), "1:4.0//1");
  EXPECT_EQ(Start(nul), "1:5.0/a/2");
  EXPECT_EQ(RawDb(path_).Column("SELECT length(CAST(sdk_version AS BLOB)) || typeof(sdk_type) "
                                "FROM start_recode ORDER BY id"),
            (Lines{"5text", "3text", "8text"}));
  EXPECT_EQ(Start(9999), "0:-/-/-1");  // a miss leaves the outputs alone

  // Ids of deleted starts are never handed out again.
  EXPECT_EQ(db_->DeleteStartRecode(nul), 0);
  EXPECT_EQ(db_->DeleteStartRecode(nul), 0);
  EXPECT_GT(AddStart(*db_), nul);
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(RecordsTest, NullTextsAreRefusedWithoutLogging) {
  int32_t id = 55;
  EXPECT_EQ(db_->InsertStartRecode(id, nullptr, 1, "t", 1, 1), -1);
  EXPECT_EQ(db_->InsertStartRecode(id, "v", 1, nullptr, 1, 1), -1);
  EXPECT_EQ(db_->InsertMessageCollectKey(nullptr, 1, "s", 1), -1);
  EXPECT_EQ(db_->InsertMessageCollectKey("k", 1, nullptr, 1), -1);
  InstanceInfo info = Instance(AddStart(*db_));
  ASSERT_EQ(db_->InsertInstanceInfo(info), 1);
  EXPECT_EQ(db_->UpdataInstanceSessionId(info.id, nullptr, 3), -1);
  EXPECT_EQ(id, 55);
  RawDb raw(path_);
  EXPECT_EQ(raw.Count("start_recode") + raw.Count("message_collect_key"), 1);
  EXPECT_EQ(raw.Column("SELECT session_id FROM instance_info"), Lines{"session-inst-1"});
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(RecordsTest, RejectedBindIsLoggedAndTheNextCallWorks) {
  // A length beyond SQLite's limit is refused before any byte is read.
  int32_t id = 55;
  EXPECT_EQ(db_->InsertStartRecode(id, "v", INT_MAX, "t", 1, 1), -1);
  EXPECT_EQ(db_->InsertMessageCollectKey("k", 1, "secret", INT_MAX), -1);
  EXPECT_EQ(db_->UpdataInstanceSessionId(1, "s", INT_MAX), -1);
  EXPECT_EQ(id, 55);
  const std::string prefix = "[database]database_interface::CDatabase::";
  EXPECT_EQ(
      log_.Lines(),
      (Lines{prefix + "InsertStartRecode sqlite3_bind_text with sql[INSERT INTO start_recode "
                      "(sdk_version, sdk_type, start_time) VALUES(:sdk_version, :sdk_type, "
                      ":start_time) RETURNING id] at[:sdk_version] failed:string or blob too big",
             prefix + "InsertMessageCollectKey sqlite3_bind_text with sql[INSERT INTO "
                      "message_collect_key(message_access_key, message_access_secret_key) "
                      "VALUES(:message_access_key, :message_access_secret_key)] "
                      "at[:message_access_secret_key] failed:string or blob too big",
             prefix + "UpdataInstanceSessionId sqlite3_bind_text with sql[UPDATE instance_info "
                      "SET session_id = :session_id WHERE id = :id] at[:session_id] "
                      "failed:string or blob too big"}));
  EXPECT_EQ(db_->InsertStartRecode(id, "v", 1, "t", 1, 1), 1);
  EXPECT_EQ(db_->InsertMessageCollectKey("k", 1, "secret", 6), 0);
  EXPECT_EQ(RawDb(path_).Count("message_collect_key"), 1);
}

TEST_F(RecordsTest, CoreRecordsRoundTripAndAppend) {
  const int32_t start = AddStart(*db_);
  CoreRecode stored = Core(start, std::string(300, 'p'));  // beyond VARCHAR(256)
  stored.id = -9;                                          // ignored on entry
  ASSERT_EQ(db_->InsertCoreRecode(stored), 1);
  EXPECT_GT(stored.id, 0);

  std::vector<CoreRecode> records(1);  // what the caller had stays in front
  EXPECT_EQ(db_->SelectAllCoreRecode(records), 1);
  EXPECT_EQ(db_->SelectAllCoreRecode(records), 1);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].id, 0);
  for (const CoreRecode* read : {&records[1], &records[2]}) {
    EXPECT_EQ(read->id, stored.id);
    EXPECT_EQ(read->dump_file_path, stored.dump_file_path);
    EXPECT_EQ(read->log_file_path, stored.log_file_path);
    EXPECT_EQ(read->start_recode_id, start);
    EXPECT_EQ(read->create_time, 1234567890123);
  }
  EXPECT_EQ(db_->DeleteCoreRecode(stored.id), 0);
  EXPECT_EQ(db_->DeleteCoreRecode(stored.id), 0);
  records.clear();
  EXPECT_EQ(db_->SelectAllCoreRecode(records), 0);
  EXPECT_EQ(Start(start), "1:1.0.0/sdk/1");  // deleting a core record leaves its start
}

TEST_F(RecordsTest, RecordsOfAMissingStartAreRefusedByTheForeignKey) {
  CoreRecode core = Core(12345);
  InstanceInfo info = Instance(12345);
  core.id = info.id = 55;
  EXPECT_EQ(db_->InsertCoreRecode(core), -1);
  EXPECT_EQ(db_->InsertInstanceInfo(info), -1);
  EXPECT_EQ(core.id + info.id, 110);
  EXPECT_EQ(
      log_.Lines(),
      (Lines{"[database]database_interface::CDatabase::InsertCoreRecode sqlite3_step with "
             "sql[INSERT INTO core_recode (dump_file_path, log_file_path, start_recode_id, "
             "create_time) VALUES(:dump_file_path, :log_file_path, :start_recode_id, "
             ":create_time) RETURNING id] failed:constraint failed",
             "[database]database_interface::CDatabase::InsertInstanceInfo sqlite3_step with "
             "sql[INSERT OR REPLACE INTO instance_info  (instance_no, session_id, business_type, "
             "protocol_type, start_recode_id, create_time) VALUES (:instance_no, :session_id, "
             ":business_type, :protocol_type, :start_recode_id, :create_time) RETURNING id] "
             "failed:constraint failed"}));
  RawDb raw(path_);
  EXPECT_EQ(raw.Count("core_recode") + raw.Count("instance_info"), 0);
}

TEST_F(RecordsTest, InstanceRecordsAreListedByStartAndUpdated) {
  const int32_t start = AddStart(*db_);
  InstanceInfo a = Instance(start), b = Instance(start), c = Instance(AddStart(*db_), "x");
  ASSERT_EQ(db_->InsertInstanceInfo(a), 1);
  ASSERT_EQ(db_->InsertInstanceInfo(b), 1);  // equal fields, a row of its own
  ASSERT_EQ(db_->InsertInstanceInfo(c), 1);
  EXPECT_NE(a.id, b.id);

  EXPECT_EQ(db_->UpdataInstanceSessionId(a.id, "renewed\0tail", 12), 0);
  EXPECT_EQ(db_->UpdataInstanceSessionId(b.id, "", 0), 0);
  EXPECT_EQ(db_->UpdataInstanceSessionId(99999, "nobody", -1), 0);
  std::vector<InstanceInfo> infos(1);
  EXPECT_EQ(db_->SelectInstanceInfoWithStartRecodeId(start, infos), 2);
  EXPECT_EQ(db_->SelectInstanceInfoWithStartRecodeId(99999, infos), 0);
  ASSERT_EQ(infos.size(), 3u);
  for (const InstanceInfo& info : {infos[1], infos[2]}) {
    EXPECT_EQ(info.session_id, info.id == a.id ? "renewed" : "");
    EXPECT_EQ(info.instance_no + info.protocol_type, "inst-1rtmp");
    EXPECT_EQ(info.business_type + info.create_time, 49);
    EXPECT_EQ(info.start_recode_id, start);
  }
  EXPECT_EQ(db_->DeleteInstanceInfo(a.id), 0);
  EXPECT_EQ(db_->DeleteInstanceInfo(a.id), 0);
  infos.clear();
  EXPECT_EQ(db_->SelectInstanceInfoWithStartRecodeId(start, infos), 1);
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(RecordsTest, DeletingStartsCascadesToTheirRecords) {
  const int32_t gone = AddStart(*db_);
  const int32_t kept = AddStart(*db_);
  for (int32_t start : {gone, kept}) {
    CoreRecode core = Core(start);
    InstanceInfo info = Instance(start);
    ASSERT_EQ(db_->InsertCoreRecode(core), 1);
    ASSERT_EQ(db_->InsertInstanceInfo(info), 1);
  }
  EXPECT_EQ(db_->DeleteStartRecode(gone), 0);
  RawDb raw(path_);
  EXPECT_EQ(raw.Column("SELECT start_recode_id FROM core_recode UNION ALL "
                       "SELECT start_recode_id FROM instance_info"),
            (Lines{std::to_string(kept), std::to_string(kept)}));
  EXPECT_EQ(db_->DeleteAllStartRecode(), 0);
  EXPECT_EQ(raw.Count("start_recode") + raw.Count("core_recode") + raw.Count("instance_info"), 0);
  EXPECT_EQ(db_->DeleteAllStartRecode(), 0);
}

TEST_F(RecordsTest, TheOldestKeyPairIsTheOneRead) {
  std::string key = "k0", secret = "s0";
  EXPECT_EQ(db_->SelectMessageCollectKey(key, secret), 0);
  EXPECT_EQ(key + secret, "k0s0");
  ASSERT_EQ(db_->InsertMessageCollectKey("first-key\0hidden", 16, "first-secret", -1), 0);
  ASSERT_EQ(db_->InsertMessageCollectKey("second-key", 10, "", 0), 0);
  EXPECT_EQ(db_->SelectMessageCollectKey(key, secret), 1);
  EXPECT_EQ(key + "/" + secret, "first-key/first-secret");
  EXPECT_EQ(RawDb(path_).Count("message_collect_key"), 2);
}

}  // namespace
}  // namespace dbi_test
