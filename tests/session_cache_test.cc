// The session cache: values under unique keys with an absolute expiry.

#include <gtest/gtest.h>

#include <string>

#include "support/log_capture.h"
#include "support/test_db.h"

namespace dbi_test {
namespace {

class SessionCacheTest : public ::testing::Test {
 protected:
  TempDir dir_;
  LogCapture log_;
  std::string path_ = dir_.File("store.db");
  std::shared_ptr<IDatabaseInterface> db_ = OpenStore(path_);
};

TEST_F(SessionCacheTest, AnEntryExpiresAtItsExpiryTime) {
  const int64_t t = 1700000000000;
  ASSERT_EQ(db_->InsertSessionCache("token", "abc", t), 0);
  std::string value = "previous";
  EXPECT_EQ(db_->SelectSessionCache("token", t, value), 0);  // expired at t
  EXPECT_EQ(value, "previous");
  EXPECT_EQ(db_->SelectSessionCache("token", t - 1, value), 1);
  EXPECT_EQ(value, "abc");

  EXPECT_EQ(db_->DeleteSessionCache(t), 0);  // purges only what expired before t
  EXPECT_EQ(RawDb(path_).Count("session_cache"), 1);
  EXPECT_EQ(db_->DeleteSessionCache(t + 1), 0);
  EXPECT_EQ(RawDb(path_).Count("session_cache"), 0);
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(SessionCacheTest, PurgeRemovesExactlyTheExpiredEntries) {
  for (int i = 0; i < 10; ++i) {
    const std::string key = "key" + std::to_string(i);
    ASSERT_EQ(db_->InsertSessionCache(key.c_str(), "v", 100 * i), 0);
  }
  EXPECT_EQ(db_->DeleteSessionCache(450), 0);
  EXPECT_EQ(RawDb(path_).Column("SELECT session_key FROM session_cache ORDER BY expire_time"),
            (std::vector<std::string>{"key5", "key6", "key7", "key8", "key9"}));
}

TEST_F(SessionCacheTest, InsertingAnExistingKeyReplacesValueAndExpiry) {
  ASSERT_EQ(db_->InsertSessionCache("token", "old", 100), 0);
  ASSERT_EQ(db_->InsertSessionCache("token", "new", 500), 0);
  RawDb raw(path_);
  EXPECT_EQ(raw.Count("session_cache"), 1);
  EXPECT_EQ(raw.Text("SELECT session_value || '@' || expire_time FROM session_cache"), "new@500");

  std::string value;
  EXPECT_EQ(db_->SelectSessionCache("token", 600, value), 0);
  ASSERT_EQ(db_->InsertSessionCache("token", "again", 1000), 0);  // an expired key lives again
  EXPECT_EQ(db_->SelectSessionCache("token", 600, value), 1);
  EXPECT_EQ(value, "again");
}

TEST_F(SessionCacheTest, ValuesAreReadBackExactlyWhateverTheirSize) {
  const std::string long_value(5000, 'x');  // beyond the declared VARCHAR(1024)
  ASSERT_EQ(db_->InsertSessionCache("long", long_value.c_str(), 10), 0);
  ASSERT_EQ(db_->InsertSessionCache("", "", 10), 0);
  ASSERT_EQ(db_->InsertSessionCache("utf8", "\xe4\xbc\x9a\xe8\xaf\x9d", 10), 0);

  std::string value = "something much longer than the stored text";
  EXPECT_EQ(db_->SelectSessionCache("long", 0, value), 1);
  EXPECT_EQ(value, long_value);
  EXPECT_EQ(db_->SelectSessionCache("", 0, value), 1);
  EXPECT_EQ(value, "");
  EXPECT_EQ(db_->SelectSessionCache("utf8", 0, value), 1);
  EXPECT_EQ(value, "\xe4\xbc\x9a\xe8\xaf\x9d");
  // Empty texts are stored as texts, not as NULL.
  EXPECT_EQ(RawDb(path_).Text("SELECT typeof(session_key) || typeof(session_value) FROM "
                              "session_cache WHERE session_key = ''"),
            "texttext");
}

TEST_F(SessionCacheTest, NullTextsAreRefusedWithoutLogging) {
  std::string value = "kept";
  EXPECT_EQ(db_->InsertSessionCache(nullptr, "v", 10), -1);
  EXPECT_EQ(db_->InsertSessionCache("k", nullptr, 10), -1);
  EXPECT_EQ(db_->SelectSessionCache(nullptr, 0, value), -1);
  EXPECT_EQ(value, "kept");
  EXPECT_EQ(RawDb(path_).Count("session_cache"), 0);
  EXPECT_TRUE(log_.Lines().empty());
}

}  // namespace
}  // namespace dbi_test
