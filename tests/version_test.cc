// The schema version a file carries and what opening it does: stamp a new
// file, migrate an older one with its rows kept, rebuild the data tables of
// a newer one, refuse one whose version cannot be read.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/test_db.h"

namespace dbi_test {
namespace {

class VersionTest : public ::testing::Test {
 protected:
  void MakeFileAt(const std::string& version) {
    MakeStoreFile(path_, version);
    log_.Clear();
  }

  std::vector<std::string> VersionRows() {
    return RawDb(path_).Column("SELECT id || ':' || version FROM db_version ORDER BY rowid");
  }

  int64_t DataRows() {
    RawDb raw(path_);
    return raw.Count("start_recode") + raw.Count("core_recode") + raw.Count("instance_info") +
           raw.Count("session_cache");
  }

  TempDir dir_;
  LogCapture log_;
  std::string path_ = dir_.File("store.db");
};

TEST_F(VersionTest, OlderFilesAreMigratedWithTheirRowsKept) {
  for (const char* older : {"1.12.0", "1.11.9", "0.9.0", "1.12.5", "1.9.0", "-1.0.0"}) {
    SCOPED_TRACE(older);
    MakeFileAt(older);
    OpenStore(path_);
    EXPECT_EQ(VersionRows(), std::vector<std::string>{"1:1.13.0"});
    EXPECT_EQ(DataRows(), 4);
    EXPECT_TRUE(log_.Lines().empty());
  }
}

TEST_F(VersionTest, NewerFilesLoseTheirDataButKeepTheKeyPair) {
  for (const char* newer : {"1.13.1", "2.0.0", "1.14.0"}) {
    SCOPED_TRACE(newer);
    MakeFileAt(newer);
    auto db = OpenStore(path_);
    EXPECT_EQ(VersionRows(), std::vector<std::string>{"1:1.13.0"});
    EXPECT_EQ(DataRows(), 0);
    std::string key, secret;
    EXPECT_EQ(db->SelectMessageCollectKey(key, secret), 1);
    EXPECT_EQ(key, "ak");
    EXPECT_EQ(secret, "sk");
    // The tables were dropped, so their ids start again from 1.
    EXPECT_EQ(AddStart(*db), 1);
    EXPECT_TRUE(log_.Lines().empty());
  }
}

TEST_F(VersionTest, VersionsThatReadAsCurrentAreLeftAsTheyAre) {
  for (const char* same : {"1.13.0", "1.13.0.", " 1.13.0", "1.13.0abc", "+1.13.0"}) {
    SCOPED_TRACE(same);
    MakeFileAt(same);
    OpenStore(path_);
    EXPECT_EQ(VersionRows(), std::vector<std::string>{std::string("1:") + same});
    EXPECT_EQ(DataRows(), 4);
  }
}

TEST_F(VersionTest, UnreadableVersionIsRefusedAndTheFileLeftUnchanged) {
  for (const char* bad : {"1.13", "1.13.0.0", "", "1..0", "a.b.c", "1.99999999999.0"}) {
    SCOPED_TRACE(bad);
    MakeFileAt(bad);
    auto db = NewStore();
    EXPECT_EQ(db->Init(path_.c_str()), -1);
    EXPECT_EQ(log_.Lines(),
              (std::vector<std::string>{
                  std::string("[database]database_interface::CDatabase::VersionCompare "
                              "VersionSplit with version[") +
                      bad + "] failed",
                  std::string("[database]VersionCompare with[") + bad + "][1.13.0] failed",
                  "[database]CheckAndUpdateDb failed"}));
    EXPECT_EQ(VersionRows(), std::vector<std::string>{std::string("1:") + bad});
    EXPECT_EQ(DataRows(), 4);
    std::string value;
    EXPECT_EQ(db->SelectSessionCache("k", 0, value), -1);
  }
}

TEST_F(VersionTest, FileWithoutVersionRowIsStamped) {
  MakeFileAt("1.0.0");
  RawDb(path_).Exec("DELETE FROM db_version");
  OpenStore(path_);
  EXPECT_EQ(VersionRows(), std::vector<std::string>{"2:1.13.0"});
  EXPECT_EQ(DataRows(), 4);
}

TEST_F(VersionTest, OnlyTheFirstOfSeveralVersionRowsIsReadAndRewritten) {
  MakeFileAt("1.12.0");
  RawDb(path_).Exec("INSERT INTO db_version (version) VALUES ('9.9.9'), ('junk')");
  OpenStore(path_);
  EXPECT_EQ(VersionRows(), (std::vector<std::string>{"1:1.13.0", "2:9.9.9", "3:junk"}));
  EXPECT_EQ(DataRows(), 4);
}

}  // namespace
}  // namespace dbi_test
