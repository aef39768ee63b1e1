// The session cache: values under unique keys with an absolute expiry.

#include <gtest/gtest.h>

#include <string>

#include "support/log_capture.h"
#include "support/test_db.h"

namespace dbi_test {
namespace {

using Lines = std::vector<std::string>;

class SessionCacheTest : public ::testing::Test {
 protected:
  Lines Rows() {
    return RawDb(path_).Column(
        "SELECT session_key || '=' || session_value || '@' || expire_time || ':' || "
        "typeof(session_value) FROM session_cache ORDER BY expire_time, session_key");
  }

  TempDir dir_;
  LogCapture log_;
  std::string path_ = dir_.File("store.db");
  std::shared_ptr<IDatabaseInterface> db_ = OpenStore(path_);
};

TEST_F(SessionCacheTest, AnEntryIsReadableBeforeItsExpiryAndPurgedAfterIt) {
  const int64_t t = 1700000000000;
  ASSERT_EQ(db_->InsertSessionCache("token", "abc", t), 0);
  ASSERT_EQ(db_->InsertSessionCache("older", "x", t - 10), 0);
  std::string value = "previous";
  EXPECT_EQ(db_->SelectSessionCache("token", t, value), 0);  // expired at t
  EXPECT_EQ(value, "previous");
  EXPECT_EQ(db_->SelectSessionCache("token", t - 1, value), 1);
  EXPECT_EQ(value, "abc");

  EXPECT_EQ(db_->DeleteSessionCache(t), 0);  // only what expired before t
  EXPECT_EQ(Rows(), Lines{"token=abc@1700000000000:text"});
  EXPECT_EQ(db_->DeleteSessionCache(t + 1), 0);
  EXPECT_EQ(Rows(), Lines{});
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(SessionCacheTest, InsertingAnExistingKeyReplacesValueAndExpiry) {
  ASSERT_EQ(db_->InsertSessionCache("token", "old", 100), 0);
  ASSERT_EQ(db_->InsertSessionCache("token", "new", 500), 0);
  EXPECT_EQ(Rows(), Lines{"token=new@500:text"});
  std::string value;
  EXPECT_EQ(db_->SelectSessionCache("token", 600, value), 0);
  ASSERT_EQ(db_->InsertSessionCache("token", "again", 1000), 0);  // an expired key lives again
  EXPECT_EQ(db_->SelectSessionCache("token", 600, value), 1);
  EXPECT_EQ(value, "again");
}

TEST_F(SessionCacheTest, TextsAreStoredAsGivenAndNullOnesRefused) {
  const std::string long_value(5000, 'x');  // beyond the declared VARCHAR(1024)
  ASSERT_EQ(db_->InsertSessionCache("long", long_value.c_str(), 10), 0);
  ASSERT_EQ(db_->InsertSessionCache("", "", 10), 0);  // empty texts, not NULL
  std::string value = "something longer than the stored text";
  EXPECT_EQ(db_->SelectSessionCache("long", 0, value), 1);
  EXPECT_EQ(value, long_value);
  EXPECT_EQ(db_->SelectSessionCache("", 0, value), 1);
  EXPECT_EQ(value, "");

  EXPECT_EQ(db_->InsertSessionCache(nullptr, "v", 10), -1);
  EXPECT_EQ(db_->InsertSessionCache("k", nullptr, 10), -1);
  EXPECT_EQ(db_->SelectSessionCache(nullptr, 0, value), -1);
  EXPECT_EQ(Rows().size(), 2u);
  EXPECT_EQ(Rows()[0], "=@10:text");
  EXPECT_TRUE(log_.Lines().empty());
}

}  // namespace
}  // namespace dbi_test
