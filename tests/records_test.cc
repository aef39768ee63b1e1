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

const char kInsertStartSql[] =
    "INSERT INTO start_recode (sdk_version, sdk_type, start_time) VALUES(:sdk_version, "
    ":sdk_type, :start_time) RETURNING id";

class RecordsTest : public ::testing::Test {
 protected:
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

  TempDir dir_;
  LogCapture log_;
  std::string path_ = dir_.File("store.db");
  std::shared_ptr<IDatabaseInterface> db_ = OpenStore(path_);
};

TEST_F(RecordsTest, StartRecordRoundTripAndIdsAreNeverReused) {
  int32_t first = 0, second = 0;
  ASSERT_EQ(db_->InsertStartRecode(first, "3.2.1", 5, "ios", 3, -5), 1);
  ASSERT_EQ(db_->InsertStartRecode(second, "3.2.2", 5, "ios", 3, 9), 1);
  EXPECT_GT(second, first);

  std::string version, type;
  int64_t time = 0;
  EXPECT_EQ(db_->SelectStartRecode(first, version, type, time), 1);
  EXPECT_EQ(version + "/" + type + "/" + std::to_string(time), "3.2.1/ios/-5");

  EXPECT_EQ(db_->DeleteStartRecode(second), 0);
  EXPECT_EQ(db_->DeleteStartRecode(second), 0);  // already gone: still 0
  EXPECT_GT(AddStart(*db_), second);

  version = "untouched";
  EXPECT_EQ(db_->SelectStartRecode(second, version, type, time), 0);
  EXPECT_EQ(version, "untouched");
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(RecordsTest, TextLengthsGoToSqliteUnchanged) {
  int32_t id = 0;
  std::string version, type;
  int64_t time = 0;
  // A negative length reads up to the NUL; a zero length stores an empty text.
  ASSERT_EQ(db_->InsertStartRecode(id, "4.0", -1, "whatever", 0, 1), 1);
  EXPECT_EQ(db_->SelectStartRecode(id, version, type, time), 1);
  EXPECT_EQ(version, "4.0");
  EXPECT_EQ(type, "");
  // A length past an embedded NUL stores every byte, but reads stop at the NUL.
  ASSERT_EQ(db_->InsertStartRecode(id, "5.0\0beta", 8, "ab", 1, 1), 1);
  EXPECT_EQ(RawDb(path_).Int("SELECT length(CAST(sdk_version AS BLOB)) FROM start_recode WHERE "
                             "id = " +
                             std::to_string(id)),
            8);
  EXPECT_EQ(db_->SelectStartRecode(id, version, type, time), 1);
  EXPECT_EQ(version, "5.0");
  EXPECT_EQ(type, "a");
}

TEST_F(RecordsTest, NullTextsAreRefusedWithoutLogging) {
  int32_t id = 55;
  EXPECT_EQ(db_->InsertStartRecode(id, nullptr, 1, "t", 1, 1), -1);
  EXPECT_EQ(db_->InsertStartRecode(id, "v", 1, nullptr, 1, 1), -1);
  EXPECT_EQ(id, 55);
  EXPECT_EQ(db_->InsertMessageCollectKey(nullptr, 1, "s", 1), -1);
  EXPECT_EQ(db_->InsertMessageCollectKey("k", 1, nullptr, 1), -1);
  const int32_t start = AddStart(*db_);
  InstanceInfo info = Instance(start);
  ASSERT_EQ(db_->InsertInstanceInfo(info), 1);
  EXPECT_EQ(db_->UpdataInstanceSessionId(info.id, nullptr, 3), -1);

  RawDb raw(path_);
  EXPECT_EQ(raw.Count("start_recode"), 1);
  EXPECT_EQ(raw.Count("message_collect_key"), 0);
  EXPECT_EQ(raw.Text("SELECT session_id FROM instance_info"), "session-inst-1");
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(RecordsTest, RejectedBindIsLoggedAndTheNextCallWorks) {
  // A length beyond SQLite's limit is refused before any byte is read.
  int32_t id = 55;
  EXPECT_EQ(db_->InsertStartRecode(id, "v", INT_MAX, "t", 1, 1), -1);
  EXPECT_EQ(id, 55);
  EXPECT_EQ(log_.Lines(),
            std::vector<std::string>{std::string("[database]database_interface::CDatabase::"
                                                 "InsertStartRecode sqlite3_bind_text with sql[") +
                                     kInsertStartSql +
                                     "] at[:sdk_version] failed:string or blob too big"});
  EXPECT_EQ(db_->InsertStartRecode(id, "v", 1, "t", 1, 1), 1);

  log_.Clear();
  EXPECT_EQ(db_->InsertMessageCollectKey("k", 1, "secret", INT_MAX), -1);
  EXPECT_EQ(db_->UpdataInstanceSessionId(1, "s", INT_MAX), -1);
  EXPECT_EQ(log_.Lines(),
            (std::vector<std::string>{
                "[database]database_interface::CDatabase::InsertMessageCollectKey "
                "sqlite3_bind_text with sql[INSERT INTO message_collect_key(message_access_key, "
                "message_access_secret_key) VALUES(:message_access_key, "
                ":message_access_secret_key)] at[:message_access_secret_key] failed:string or "
                "blob too big",
                "[database]database_interface::CDatabase::UpdataInstanceSessionId "
                "sqlite3_bind_text with sql[UPDATE instance_info SET session_id = :session_id "
                "WHERE id = :id] at[:session_id] failed:string or blob too big"}));
  EXPECT_EQ(db_->InsertMessageCollectKey("k", 1, "secret", 6), 0);
  EXPECT_EQ(RawDb(path_).Count("message_collect_key"), 1);
}

TEST_F(RecordsTest, CoreRecordsRoundTripAndAppend) {
  const int32_t start = AddStart(*db_);
  CoreRecode stored = Core(start, std::string(300, 'p'));  // beyond VARCHAR(256)
  stored.id = -9;                                          // ignored on entry
  ASSERT_EQ(db_->InsertCoreRecode(stored), 1);
  EXPECT_GT(stored.id, 0);
  CoreRecode empty = Core(start, "");
  empty.log_file_path.clear();
  ASSERT_EQ(db_->InsertCoreRecode(empty), 1);

  std::vector<CoreRecode> records(1);  // what the caller had stays in front
  EXPECT_EQ(db_->SelectAllCoreRecode(records), 2);
  EXPECT_EQ(db_->SelectAllCoreRecode(records), 2);
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[0].id, 0);
  const CoreRecode& read = records[1].id == stored.id ? records[1] : records[2];
  EXPECT_EQ(read.dump_file_path, stored.dump_file_path);
  EXPECT_EQ(read.log_file_path, stored.log_file_path);
  EXPECT_EQ(read.start_recode_id, start);
  EXPECT_EQ(read.create_time, 1234567890123);

  EXPECT_EQ(db_->DeleteCoreRecode(stored.id), 0);
  EXPECT_EQ(db_->DeleteCoreRecode(stored.id), 0);
  RawDb raw(path_);
  EXPECT_EQ(raw.Count("core_recode"), 1);
  EXPECT_EQ(raw.Count("start_recode"), 1);  // deleting a core record leaves its start
}

TEST_F(RecordsTest, RecordsOfAMissingStartAreRefusedByTheForeignKey) {
  CoreRecode core = Core(12345);
  core.id = 55;
  EXPECT_EQ(db_->InsertCoreRecode(core), -1);
  EXPECT_EQ(core.id, 55);
  InstanceInfo info = Instance(12345);
  info.id = 66;
  EXPECT_EQ(db_->InsertInstanceInfo(info), -1);
  EXPECT_EQ(info.id, 66);
  EXPECT_EQ(log_.Lines(),
            (std::vector<std::string>{
                "[database]database_interface::CDatabase::InsertCoreRecode sqlite3_step with "
                "sql[INSERT INTO core_recode (dump_file_path, log_file_path, start_recode_id, "
                "create_time) VALUES(:dump_file_path, :log_file_path, :start_recode_id, "
                ":create_time) RETURNING id] failed:constraint failed",
                "[database]database_interface::CDatabase::InsertInstanceInfo sqlite3_step with "
                "sql[INSERT OR REPLACE INTO instance_info  (instance_no, session_id, "
                "business_type, protocol_type, start_recode_id, create_time) VALUES "
                "(:instance_no, :session_id, :business_type, :protocol_type, :start_recode_id, "
                ":create_time) RETURNING id] failed:constraint failed"}));
  RawDb raw(path_);
  EXPECT_EQ(raw.Count("core_recode") + raw.Count("instance_info"), 0);
  // The statements were reset: the same operations work at once.
  core.start_recode_id = info.start_recode_id = AddStart(*db_);
  EXPECT_EQ(db_->InsertCoreRecode(core), 1);
  EXPECT_EQ(db_->InsertInstanceInfo(info), 1);
}

TEST_F(RecordsTest, InstanceRecordsAreListedByStartAndUpdated) {
  const int32_t start = AddStart(*db_);
  const int32_t other = AddStart(*db_);
  InstanceInfo a = Instance(start), b = Instance(start), c = Instance(other, "x");
  ASSERT_EQ(db_->InsertInstanceInfo(a), 1);
  ASSERT_EQ(db_->InsertInstanceInfo(b), 1);  // equal fields, a row of its own
  ASSERT_EQ(db_->InsertInstanceInfo(c), 1);
  EXPECT_NE(a.id, b.id);

  std::vector<InstanceInfo> infos;
  EXPECT_EQ(db_->SelectInstanceInfoWithStartRecodeId(start, infos), 2);
  ASSERT_EQ(infos.size(), 2u);
  for (const InstanceInfo& info : infos) {
    EXPECT_TRUE(info.id == a.id || info.id == b.id);
    EXPECT_EQ(info.instance_no, "inst-1");
    EXPECT_EQ(info.session_id, "session-inst-1");
    EXPECT_EQ(info.business_type, 7);
    EXPECT_EQ(info.protocol_type, "rtmp");
    EXPECT_EQ(info.start_recode_id, start);
    EXPECT_EQ(info.create_time, 42);
  }
  EXPECT_EQ(db_->SelectInstanceInfoWithStartRecodeId(99999, infos), 0);
  EXPECT_EQ(infos.size(), 2u);

  EXPECT_EQ(db_->UpdataInstanceSessionId(a.id, "renewed\0tail", 12), 0);
  EXPECT_EQ(db_->UpdataInstanceSessionId(b.id, "", 0), 0);
  EXPECT_EQ(db_->UpdataInstanceSessionId(99999, "nobody", -1), 0);
  infos.clear();
  EXPECT_EQ(db_->SelectInstanceInfoWithStartRecodeId(start, infos), 2);
  for (const InstanceInfo& info : infos) {
    EXPECT_EQ(info.session_id, info.id == a.id ? "renewed" : "");
  }
  EXPECT_EQ(RawDb(path_).Int("SELECT length(CAST(session_id AS BLOB)) FROM instance_info WHERE "
                             "id = " +
                             std::to_string(a.id)),
            12);

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
  std::vector<CoreRecode> cores;
  EXPECT_EQ(db_->SelectAllCoreRecode(cores), 1);
  EXPECT_EQ(cores[0].start_recode_id, kept);
  std::vector<InstanceInfo> infos;
  EXPECT_EQ(db_->SelectInstanceInfoWithStartRecodeId(gone, infos), 0);
  EXPECT_EQ(db_->SelectInstanceInfoWithStartRecodeId(kept, infos), 1);

  EXPECT_EQ(db_->DeleteAllStartRecode(), 0);
  RawDb raw(path_);
  EXPECT_EQ(raw.Count("start_recode") + raw.Count("core_recode") + raw.Count("instance_info"), 0);
  EXPECT_EQ(db_->DeleteAllStartRecode(), 0);  // on an empty table too
}

TEST_F(RecordsTest, TheOldestKeyPairIsTheOneRead) {
  std::string key = "k0", secret = "s0";
  EXPECT_EQ(db_->SelectMessageCollectKey(key, secret), 0);
  EXPECT_EQ(key + secret, "k0s0");

  ASSERT_EQ(db_->InsertMessageCollectKey("first-key\0hidden", 16, "first-secret", -1), 0);
  ASSERT_EQ(db_->InsertMessageCollectKey("second-key", 10, "", 0), 0);
  EXPECT_EQ(db_->SelectMessageCollectKey(key, secret), 1);
  EXPECT_EQ(key, "first-key");
  EXPECT_EQ(secret, "first-secret");
  EXPECT_EQ(RawDb(path_).Count("message_collect_key"), 2);
}

}  // namespace
}  // namespace dbi_test
