// The process-wide instance. It is opened once per process on "./qvdata" in
// the current folder, so every scenario runs in a child process of its own
// (a death test that must exit with 0), in a fresh folder.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/log_capture.h"
#include "support/test_db.h"

namespace dbi_test {
namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Checks inside a child process: report and exit non-zero on the first miss.
void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "requirement failed: %s\n", what);
    std::exit(1);
  }
}

class SharedInstanceTest : public ::testing::Test {
 protected:
  void EnterFreshFolder() { Require(chdir(dir_.path().c_str()) == 0, "chdir"); }
  TempDir dir_;
};

TEST_F(SharedInstanceTest, OneInstanceOpenedAndPurgedOnce) {
  EXPECT_EXIT(
      {
        EnterFreshFolder();
        const int64_t now = NowMs();
        {
          auto seed = OpenStore("./qvdata");
          Require(seed->InsertSessionCache("expired", "x", now - 60000) == 0, "seed expired");
          Require(seed->InsertSessionCache("live", "y", now + 3600000) == 0, "seed live");
          seed->Close();
        }
        LogCapture log;
        std::vector<std::shared_ptr<IDatabaseInterface>> seen(8);
        std::vector<std::thread> threads;
        for (auto& slot : seen) {
          threads.emplace_back([&slot] { slot = IDatabaseInterface::GetDbInstance(); });
        }
        for (auto& thread : threads) {
          thread.join();
        }
        for (const auto& db : seen) {
          Require(db == seen[0] && db != nullptr, "same instance for every caller");
        }
        Require(RawDb("./qvdata").Count("session_cache") == 1, "expired row purged");
        std::string value;
        Require(seen[0]->SelectSessionCache("live", now, value) == 1 && value == "y", "live row");
        Require(seen[0]->Init("./qvdata") == -1, "already open");

        // Later calls neither open nor purge again.
        RawDb("./qvdata")
            .Exec(
                "INSERT INTO session_cache(session_key, session_value, "
                "expire_time) VALUES ('late', 'z', 1)");
        Require(IDatabaseInterface::GetDbInstance() == seen[0], "same instance later");
        Require(RawDb("./qvdata").Count("session_cache") == 2, "no second purge");
        Require(log.Lines().empty(), "nothing logged");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(SharedInstanceTest, UnopenableFileStillGivesAnInstance) {
  EXPECT_EXIT(
      {
        EnterFreshFolder();
        std::filesystem::create_directory("qvdata");  // a folder where the file should be
        LogCapture log;
        auto db = IDatabaseInterface::GetDbInstance();
        Require(db != nullptr, "an instance");
        Require(log.Lines() == std::vector<std::string>{"[database]Open sqlite3 file[./qvdata] "
                                                        "failed:unable to open database file"},
                "only the open failure is logged");
        Require(db->InsertSessionCache("k", "v", 1) == -1, "operations refused");
        Require(IDatabaseInterface::GetDbInstance() == db, "same instance");
        Require(log.Lines().size() == 1, "not opened again");
        // The holder may open it itself.
        Require(db->Init("./elsewhere.db") == 0, "caller's own Init");
        Require(db->InsertSessionCache("k", "v", 1) == 0, "works after Init");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(SharedInstanceTest, CreatedInstancesAreNeverTheSharedOneAndDoNotPurge) {
  EXPECT_EXIT(
      {
        EnterFreshFolder();
        auto own = OpenStore("./qvdata");
        Require(own->InsertSessionCache("expired", "x", 1) == 0, "seed");
        own->Close();
        Require(own->Init("./qvdata") == 0, "reopen");
        Require(RawDb("./qvdata").Count("session_cache") == 1, "no purge by Init");
        Require(IDatabaseInterface::GetDbInstance() != own, "a different instance");
        Require(RawDb("./qvdata").Count("session_cache") == 0, "purged by the shared one");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace dbi_test
