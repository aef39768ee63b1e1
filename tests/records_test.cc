// What a store gives back and refuses: texts exactly as given (lengths,
// embedded NULs, empty and long ones), records field by field, null texts,
// rejected binds and refusals by the foreign keys, with their lines, and
// lines written once their call has let go of the store. (Threads sharing
// one store are in stress_test.cc; a commit or a lock that fails a call, in
// failure_injection_test.cc.)

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <functional>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "schema/statements.h"
#include "support/test_db.h"
#include "support/workload.h"

namespace dbi_test {
namespace {

namespace dbi = database_interface;

class RecordsTest : public StoreTest {
 protected:
  const std::string op_ = "[database]database_interface::CDatabase::";
  std::shared_ptr<IDatabaseInterface> db_ = OpenStore(path_);
};

// A negative length reads up to the NUL, a zero length stores an empty text,
// and every byte up to the length is stored, but reads stop at a NUL. Core
// and instance records come back field by field (as the workload's answers
// give them, support/workload.h), with the ids their inserts gave.
TEST_F(RecordsTest, TextsAreStoredAsGivenAndReadBackUpToTheirFirstNul) {
  int32_t lengths = 0, nul = 0;
  int64_t time = 0;
  std::string a, b, long_value(5000, 'x');  // beyond the declared VARCHAR(1024)
  ASSERT_EQ(db_->InsertStartRecode(lengths, "4.0", -1, "whatever", 0, 1), 1);
  ASSERT_EQ(db_->InsertStartRecode(nul, "5.0\0beta", 8, "ab", 1, 2), 1);
  ASSERT_EQ(db_->InsertMessageCollectKey("key\0hidden", 10, "secret", -1), 0);
  ASSERT_EQ(db_->InsertSessionCache("long", long_value.c_str(), 10), 0);
  ASSERT_EQ(db_->InsertSessionCache("", "", 10), 0);
  // Each read's answer and outputs, in the order of the braces.
  const auto read = [&](int32_t found) { return Joined(found, a, b, time); };
  EXPECT_EQ(
      (Lines{read(db_->SelectStartRecode(lengths, a, b, time)),
             read(db_->SelectStartRecode(nul, a, b, time)),
             read(db_->SelectMessageCollectKey(a, b)), read(db_->SelectSessionCache("", 0, a)),
             read(db_->SelectSessionCache("long", 0, b))}),
      (Lines{"1|4.0||1", "1|5.0|a|2", "1|key|secret|2", "1||secret|2", "1||" + long_value + "|2"}));
  // Texts, never NULL, with every byte given.
  EXPECT_EQ(RawDb(path_).Rows("SELECT length(CAST(sdk_version AS BLOB)) || typeof(sdk_type) "
                              "FROM start_recode UNION ALL SELECT length(CAST(message_access_key "
                              "AS BLOB)) FROM message_collect_key UNION ALL SELECT "
                              "typeof(session_key) || typeof(session_value) FROM session_cache "
                              "WHERE session_key = ''"),
            (Lines{"3text", "8text", "10", "texttext"}));
  Workload workload(*db_, path_, "r");
  const Lines records = {
      workload.Run(dbi::kInsertStartRecode), workload.Run(dbi::kInsertCoreRecode),
      workload.Run(dbi::kInsertInstanceInfo), workload.Run(dbi::kSelectAllCoreRecode),
      workload.Run(dbi::kSelectInstanceInfoWithStartRecodeId)};
  EXPECT_EQ(records, (Lines{"1|-|-|-7|3|-7|-7;", "1|-|-|-7|-7|1|-7;", "1|-|-|-7|-7|-7|1;",
                            "1|-|-|-7|-7|-7|-7;1|dump-r-1|log-r-1|3|1;",
                            "1|-|-|-7|-7|-7|-7;1|no-r-2|session-r-2|2|protocol-r|3|2;"}));
  EXPECT_TRUE(log_.Lines().empty());
}

// Calls refused: null texts, before anything else and without a line; a
// length beyond SQLite's limit, refused before any byte is read; a start
// that does not exist, by the foreign keys. Each answers -1, writes no
// output and logs the failing call with its parameter and SQLite's error,
// and the next call works.
TEST_F(RecordsTest, RefusedCallsAnswerMinusOneWithTheirLineAndTheNextCallWorks) {
  int32_t id = 55;
  CoreRecode core{55, "a.dmp", "a.log", 12345, 1};
  InstanceInfo info{55, "no", "session", 1, "rtmp", 12345, 1};
  const std::string bind = " sqlite3_bind_text with sql[] at[:",
                    too_big = "] failed:string or blob too big",
                    foreign_key = " sqlite3_step with sql[] failed:constraint failed";
  std::string value = "kept";
  const std::pair<std::function<int32_t()>, std::string> refusals[] = {
      {[&] { return db_->InsertStartRecode(id, nullptr, 1, "t", 1, 1); }, ""},
      {[&] { return db_->InsertStartRecode(id, "v", 1, nullptr, 1, 1); }, ""},
      {[&] { return db_->InsertMessageCollectKey(nullptr, 1, "s", 1); }, ""},
      {[&] { return db_->InsertMessageCollectKey("k", 1, nullptr, 1); }, ""},
      {[&] { return db_->UpdataInstanceSessionId(1, nullptr, 3); }, ""},
      {[&] { return db_->InsertSessionCache(nullptr, "v", 10); }, ""},
      {[&] { return db_->InsertSessionCache("k", nullptr, 10); }, ""},
      {[&] { return db_->SelectSessionCache(nullptr, 0, value); }, ""},
      {[&] { return db_->InsertStartRecode(id, "v", INT_MAX, "t", 1, 1); },
       "InsertStartRecode" + bind + "sdk_version" + too_big},
      {[&] { return db_->InsertMessageCollectKey("k", 1, "secret", INT_MAX); },
       "InsertMessageCollectKey" + bind + "message_access_secret_key" + too_big},
      {[&] { return db_->UpdataInstanceSessionId(1, "s", INT_MAX); },
       "UpdataInstanceSessionId" + bind + "session_id" + too_big},
      {[&] { return db_->InsertCoreRecode(core); }, "InsertCoreRecode" + foreign_key},
      {[&] { return db_->InsertInstanceInfo(info); }, "InsertInstanceInfo" + foreign_key},
  };
  for (const auto& [call, line] : refusals) {
    log_.Clear();
    EXPECT_EQ(call(), -1) << line;
    EXPECT_EQ(WithoutSql(log_.Lines()), line.empty() ? Lines{} : Lines{op_ + line});
  }
  EXPECT_EQ(std::to_string(id + core.id + info.id) + value, "165kept");
  EXPECT_EQ(RawDb(path_).Counts(), "0|0|0|0|0");
  // A line is written once its call has let go of the store: while the sink
  // holds one, calls of the same and of another operation go through on
  // another thread (whose own line names it, as the sink checks); an insert
  // answers 1 only once its row is committed.
  CoreRecode orphan = core;  // the other thread changes `core`
  std::future<void> calls;
  log_.Clear();
  log_.OnNextLine([&] {
    calls = std::async(std::launch::async, [&] {
      EXPECT_EQ(db_->InsertCoreRecode(core), -1);
      EXPECT_EQ(db_->InsertStartRecode(id, "v", 1, "t", 1, 1), 1);
      core.start_recode_id = id;
      EXPECT_EQ(db_->InsertCoreRecode(core), 1);
      EXPECT_EQ(RawDb(path_).Counts(), "1|1|0|0|0");
    });
    EXPECT_EQ(calls.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "the calls waited for the sink";
  });
  EXPECT_EQ(db_->InsertCoreRecode(orphan), -1);
  calls.get();
  EXPECT_EQ(WithoutSql(log_.Lines()), Lines(2, op_ + "InsertCoreRecode" + foreign_key));
}

}  // namespace
}  // namespace dbi_test
