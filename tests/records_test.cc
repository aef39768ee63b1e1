// What the model-checked workload (support/workload.h) does not reach: texts
// exactly as given (lengths, embedded NULs, empty and long ones), null texts,
// rejected binds and refusals by the foreign keys, with their exact lines.

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "support/log_capture.h"
#include "support/test_db.h"

namespace dbi_test {
namespace {

using database_interface::CoreRecode;
using database_interface::InstanceInfo;
using Lines = std::vector<std::string>;

class RecordsTest : public ::testing::Test {
 protected:
  std::string Start(int32_t id) {
    std::string version = "-", type = "-";
    int64_t time = -1;
    const int32_t found = db_->SelectStartRecode(id, version, type, time);
    return std::to_string(found) + ":" + version + "/" + type + "/" + std::to_string(time);
  }

  const std::string op_ = "[database]database_interface::CDatabase::";
  TempDir dir_;
  LogCapture log_;
  std::string path_ = dir_.File("store.db");
  std::shared_ptr<IDatabaseInterface> db_ = OpenStore(path_);
};

TEST_F(RecordsTest, TextsAreStoredAsGivenAndReadBackUpToTheirFirstNul) {
  int32_t lengths = 0, nul = 0;
  // A negative length reads up to the NUL, a zero length stores an empty text.
  ASSERT_EQ(db_->InsertStartRecode(lengths, "4.0", -1, "whatever", 0, 1), 1);
  // Every byte up to the length is stored, but reads stop at a NUL.
  ASSERT_EQ(db_->InsertStartRecode(nul, "5.0\0beta", 8, "ab", 1, 2), 1);
  EXPECT_EQ(Start(lengths), "1:4.0//1");
  EXPECT_EQ(Start(nul), "1:5.0/a/2");
  ASSERT_EQ(db_->InsertMessageCollectKey("key\0hidden", 10, "secret", -1), 0);
  std::string key, secret;
  EXPECT_EQ(db_->SelectMessageCollectKey(key, secret), 1);
  EXPECT_EQ(key + "/" + secret, "key/secret");

  const std::string long_value(5000, 'x');  // beyond the declared VARCHAR(1024)
  ASSERT_EQ(db_->InsertSessionCache("long", long_value.c_str(), 10), 0);
  ASSERT_EQ(db_->InsertSessionCache("", "", 10), 0);
  std::string value = "previous";
  EXPECT_EQ(db_->SelectSessionCache("long", 0, value), 1);
  EXPECT_EQ(value, long_value);
  EXPECT_EQ(db_->SelectSessionCache("", 0, value), 1);
  EXPECT_EQ(value, "");

  // Texts, never NULL, with every byte given.
  EXPECT_EQ(RawDb(path_).Column("SELECT length(CAST(sdk_version AS BLOB)) || typeof(sdk_type) "
                                "FROM start_recode UNION ALL SELECT length(CAST(message_access_key "
                                "AS BLOB)) FROM message_collect_key UNION ALL SELECT "
                                "typeof(session_key) || typeof(session_value) FROM session_cache "
                                "WHERE session_key = ''"),
            (Lines{"3text", "8text", "10", "texttext"}));
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(RecordsTest, NullTextsAreRefusedWithoutLogging) {
  int32_t id = 55;
  std::string value = "kept";
  EXPECT_EQ(db_->InsertStartRecode(id, nullptr, 1, "t", 1, 1), -1);
  EXPECT_EQ(db_->InsertStartRecode(id, "v", 1, nullptr, 1, 1), -1);
  EXPECT_EQ(db_->InsertMessageCollectKey(nullptr, 1, "s", 1), -1);
  EXPECT_EQ(db_->InsertMessageCollectKey("k", 1, nullptr, 1), -1);
  EXPECT_EQ(db_->UpdataInstanceSessionId(1, nullptr, 3), -1);
  EXPECT_EQ(db_->InsertSessionCache(nullptr, "v", 10), -1);
  EXPECT_EQ(db_->InsertSessionCache("k", nullptr, 10), -1);
  EXPECT_EQ(db_->SelectSessionCache(nullptr, 0, value), -1);
  EXPECT_EQ(id, 55);
  EXPECT_EQ(value, "kept");
  RawDb raw(path_);
  EXPECT_EQ(
      raw.Count("start_recode") + raw.Count("message_collect_key") + raw.Count("session_cache"), 0);
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(RecordsTest, RejectedBindIsLoggedAndTheNextCallWorks) {
  // A length beyond SQLite's limit is refused before any byte is read.
  int32_t id = 55;
  EXPECT_EQ(db_->InsertStartRecode(id, "v", INT_MAX, "t", 1, 1), -1);
  EXPECT_EQ(db_->InsertMessageCollectKey("k", 1, "secret", INT_MAX), -1);
  EXPECT_EQ(db_->UpdataInstanceSessionId(1, "s", INT_MAX), -1);
  EXPECT_EQ(id, 55);
  EXPECT_EQ(
      log_.Lines(),
      (Lines{op_ + "InsertStartRecode sqlite3_bind_text with sql[INSERT INTO start_recode "
                   "(sdk_version, sdk_type, start_time) VALUES(:sdk_version, :sdk_type, "
                   ":start_time) RETURNING id] at[:sdk_version] failed:string or blob too big",
             op_ + "InsertMessageCollectKey sqlite3_bind_text with sql[INSERT INTO "
                   "message_collect_key(message_access_key, message_access_secret_key) "
                   "VALUES(:message_access_key, :message_access_secret_key)] "
                   "at[:message_access_secret_key] failed:string or blob too big",
             op_ + "UpdataInstanceSessionId sqlite3_bind_text with sql[UPDATE instance_info "
                   "SET session_id = :session_id WHERE id = :id] at[:session_id] "
                   "failed:string or blob too big"}));
  for (const LogEntry& entry : log_.Entries()) {
    EXPECT_EQ(entry.level, 60);
    EXPECT_EQ(entry.tid, base::GetTid());
  }
  // Each line names the thread that made the call, by an id of its own.
  int32_t other_tid = 0;
  std::thread([&] {
    other_tid = base::GetTid();
    EXPECT_EQ(db_->UpdataInstanceSessionId(1, "s", INT_MAX), -1);
  }).join();
  EXPECT_NE(other_tid, base::GetTid());
  EXPECT_NE(other_tid, 0);
  EXPECT_EQ(log_.Entries().back().tid, other_tid);
  EXPECT_EQ(db_->InsertStartRecode(id, "v", 1, "t", 1, 1), 1);
  EXPECT_EQ(db_->InsertMessageCollectKey("k", 1, "secret", 6), 0);
  EXPECT_EQ(RawDb(path_).Count("message_collect_key"), 1);
}

TEST_F(RecordsTest, RecordsOfAMissingStartAreRefusedByTheForeignKey) {
  CoreRecode core{55, "a.dmp", "a.log", 12345, 1};
  InstanceInfo info{55, "no", "session", 1, "rtmp", 12345, 1};
  EXPECT_EQ(db_->InsertCoreRecode(core), -1);
  EXPECT_EQ(db_->InsertInstanceInfo(info), -1);
  EXPECT_EQ(core.id + info.id, 110);
  EXPECT_EQ(
      log_.Lines(),
      (Lines{
          op_ + "InsertCoreRecode sqlite3_step with sql[INSERT INTO core_recode (dump_file_path, "
                "log_file_path, start_recode_id, create_time) VALUES(:dump_file_path, "
                ":log_file_path, :start_recode_id, :create_time) RETURNING id] failed:constraint "
                "failed",
          op_ + "InsertInstanceInfo sqlite3_step with sql[INSERT OR REPLACE INTO instance_info  "
                "(instance_no, session_id, business_type, protocol_type, start_recode_id, "
                "create_time) VALUES (:instance_no, :session_id, :business_type, :protocol_type, "
                ":start_recode_id, :create_time) RETURNING id] failed:constraint failed"}));
  RawDb raw(path_);
  EXPECT_EQ(raw.Count("core_recode") + raw.Count("instance_info"), 0);
}

}  // namespace
}  // namespace dbi_test
