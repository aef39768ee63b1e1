// Many threads on one store for a bounded time: workers running every
// operation while others open and close stores of their own, first with the
// store left open, then with Close and Init cycling while calls run (Close
// waits for the calls already running, and later ones are refused without a
// line: a call completes or answers -1, and nothing it uses is released
// under it). Clean means: every answer as the model predicts, no refusal
// while the store stays open, nothing logged, each file holding exactly what
// was reported as stored, and no report from the sanitizer builds.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/test_db.h"
#include "support/workload.h"

namespace dbi_test {
namespace {

class StressTest : public StoreTest {
 protected:
  // Starts a thread that runs rounds of a workload until told to stop.
  void RunRounds(const std::shared_ptr<IDatabaseInterface>& db, const std::string& path,
                 Model& model, const std::string& tag, bool owns_store) {
    threads_.emplace_back([=, &model] {
      Workload workload(*db, path, model, tag);
      while (!stop_.load()) {
        for (const Op& op : Workload::Round()) {
          // The test's thread opens and closes the shared store.
          if (owns_store || (op != "Init" && op != "Close")) {
            (workload.Run(op) ? completed_ : failed_).fetch_add(1);
          }
        }
        rounds_.fetch_add(1);
      }
    });
  }

  std::vector<std::thread> threads_;
  std::atomic<bool> stop_{false};
  std::atomic<int> rounds_{0}, completed_{0}, failed_{0};
};

TEST_F(StressTest, WorkersOnOneStoreBesideOthersWhileItStaysOpenThenWhileItClosesAndOpens) {
  Model model, own_models[2];
  model.shared = true;
  auto db = OpenStore(path_);
  for (int t = 0; t < 6; ++t) {
    RunRounds(db, path_, model, "worker" + std::to_string(t), false);
  }
  for (int t = 0; t < 2; ++t) {
    RunRounds(NewStore(), dir_.File("own" + std::to_string(t) + ".db"), own_models[t], "owner",
              true);
  }
  // A long key keeps each of these calls a while between its admission and
  // its statement's lock (its length is counted there), so Close meets them.
  const std::string long_key(16 << 20, 'k');
  for (int t = 0; t < 2; ++t) {
    threads_.emplace_back([&] {
      std::string value = "untouched";
      while (!stop_.load()) {
        (db->SelectSessionCache(long_key.c_str(), 0, value) == 0 ? completed_ : failed_)
            .fetch_add(1);
      }
      EXPECT_EQ(value, "untouched");
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  EXPECT_EQ(failed_.load(), 0) << "refused while the store was open";
  int cycles = 0;
  // Until calls were seen refused (bounded, so that a miss fails the check).
  for (; cycles < 100 || (failed_.load() < 100 && cycles < 5000); ++cycles) {
    db->Close();
    EXPECT_EQ(db->Init(path_.c_str()), 0);
  }
  stop_.store(true);
  for (std::thread& thread : threads_) {
    thread.join();
  }
  EXPECT_GT(failed_.load(), 0);
  EXPECT_EQ(log_.Lines(), Lines{});
  ExpectFileMatches(path_, model);
  for (int t = 0; t < 2; ++t) {
    ExpectFileMatches(dir_.File("own" + std::to_string(t) + ".db"), own_models[t]);
  }
  std::printf("stress: %d rounds, %d calls completed, %d refused, %d close/init cycles\n",
              rounds_.load(), completed_.load(), failed_.load(), cycles);
}

}  // namespace
}  // namespace dbi_test
