// The process-wide instance. It is opened once per process on "./qvdata" in
// the current folder, so the test runs in a child process of its own (a
// death test that must exit with 0).

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/log_capture.h"
#include "support/test_db.h"

namespace dbi_test {
namespace {

// A check inside the child: reports and exits non-zero on a miss. Exit, not
// _Exit, so that the library's exit-time clean-up runs in every scenario.
void Require(bool condition, const char* what) {
  if (!condition) {
    (void)std::fprintf(stderr, "requirement failed: %s\n", what);
    std::exit(1);  // NOLINT(concurrency-mt-unsafe): the child's other threads are joined
  }
}

// Opened and purged once, from any thread, and the same instance for every
// call; in a child process of its own, in a fresh folder. (Where its file
// cannot be opened, Init refuses it as it refuses any other caller's.)
TEST(SharedInstanceTest, OneInstanceOpenedAndPurgedOnce) {
  const TempDir dir;
  EXPECT_EXIT(
      {
        Require(chdir(dir.path().c_str()) == 0, "chdir");
        const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
        auto own = OpenStore("./qvdata");
        Require(own->InsertSessionCache("expired", "x", now - 60000) == 0, "seed expired");
        Require(own->InsertSessionCache("live", "y", now + 3600000) == 0, "seed live");
        LogCapture log;
        std::vector<std::shared_ptr<IDatabaseInterface>> seen(8);
        std::vector<std::thread> threads(seen.size());
        std::transform(seen.begin(), seen.end(), threads.begin(), [](auto& slot) {
          return std::thread([&slot] { slot = IDatabaseInterface::GetDbInstance(); });
        });
        for (std::thread& thread : threads) {
          thread.join();
        }
        for (const auto& instance : seen) {
          Require(instance == seen[0] && instance != nullptr && instance != own, "one instance");
        }
        std::string value;
        Require(seen[0]->SelectSessionCache("expired", 0, value) == 0, "expired row purged");
        Require(seen[0]->SelectSessionCache("live", now, value) == 1, "live row kept");
        Require(seen[0]->Init("./qvdata") == -1, "already open");
        // Later calls neither open nor purge again.
        Require(own->InsertSessionCache("late", "z", 1) == 0, "seed late");
        Require(IDatabaseInterface::GetDbInstance() == seen[0], "same instance later");
        Require(RawDb("./qvdata").Counts() == "0|0|0|2|0", "no second purge");
        Require(log.Lines().empty(), "nothing logged");
        std::exit(0);  // NOLINT(concurrency-mt-unsafe): as above
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace dbi_test
