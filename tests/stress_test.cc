// Many threads on one store for a bounded time: workers running every
// operation while others open and close stores of their own, first with the
// store left open, then with Close and Init cycling while calls run (Close
// waits for the calls already running, and later ones are refused without a
// line: a call completes or answers -1, and nothing it uses is released
// under it). Clean means: no refusal while the store stays open, nothing
// logged, each thread reading its own rows, every file sound, and no report
// from the sanitizer builds.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "schema/statements.h"
#include "support/test_db.h"
#include "support/workload.h"

namespace dbi_test {
namespace {

namespace dbi = database_interface;
using StressTest = StoreTest;

TEST_F(StressTest, WorkersOnOneStoreBesideOthersWhileItStaysOpenThenWhileItClosesAndOpens) {
  auto db = OpenStore(path_);
  std::vector<std::thread> threads;
  std::atomic<bool> stop{false};
  std::atomic<int> rounds{0}, failed{0};
  // Calls completed, thread by thread (six workers and two owners, then two
  // readers): threads that never ran, or whose every call answered -1, would
  // otherwise pass for a clean run.
  std::vector<std::atomic<int>> completed(10);
  // Rounds of a workload on a thread of its own until told to stop. Workers
  // on the shared store leave its Init and Close to the test's thread, and
  // delete their own starts, not everyone's: another's start gone under an
  // insert of theirs would refuse it. What a worker reads of its own rows
  // must be its own.
  const auto run_rounds = [&](const std::shared_ptr<IDatabaseInterface>& store,
                              const std::string& path, const std::string& tag) {
    threads.emplace_back([&, store, path, tag, done = &completed.at(threads.size())] {
      Workload workload(*store, path, tag);
      const bool shared = store == db;
      while (!stop.load()) {
        for (const Op op : Workload::Round()) {
          if (shared && (op == kInit || op == kClose)) {
            continue;
          }
          const std::string answer = workload.Run(
              shared && op == dbi::kDeleteAllStartRecode ? Op{dbi::kDeleteStartRecode} : op);
          (Refused(answer) ? failed : *done).fetch_add(1);
          // The round starts again: after a start refused while the store
          // closed, and Init again, the records to come would name none.
          if (Refused(answer)) {
            break;
          }
          const bool own = op == dbi::kSelectStartRecode || op == dbi::kSelectSessionCache ||
                           op == dbi::kSelectInstanceInfoWithStartRecodeId;
          EXPECT_TRUE(!own || answer.rfind("1|", 0) != 0 ||
                      answer.find(tag + "-") != std::string::npos)
              << Name(op) << ": " << answer;
        }
        rounds.fetch_add(1);
      }
    });
  };
  for (int t = 0; t < 6; ++t) {
    run_rounds(db, path_, "worker" + std::to_string(t));
  }
  for (int t = 0; t < 2; ++t) {
    run_rounds(NewStore(), dir_.File("own" + std::to_string(t) + ".db"), "owner");
  }
  // A long key keeps each of these calls a while between its admission and
  // its statement's lock (its length is counted there), so Close meets them.
  const std::string long_key(16 << 20, 'k');
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, done = &completed.at(threads.size())] {
      std::string value = "untouched";
      while (!stop.load()) {
        (db->SelectSessionCache(long_key.c_str(), 0, value) == 0 ? *done : failed).fetch_add(1);
      }
      EXPECT_EQ(value, "untouched");
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  EXPECT_EQ(failed.load(), 0) << "refused while the store was open";
  for (size_t t = 0; t < completed.size(); ++t) {
    EXPECT_GT(completed[t].load(), 0)
        << "thread " << t << " completed nothing while the store was open";
  }
  int cycles = 0;
  // Until calls were seen refused (bounded, so that a miss fails the check).
  for (; cycles < 100 || (failed.load() < 100 && cycles < 5000); ++cycles) {
    db->Close();
    EXPECT_EQ(db->Init(path_.c_str()), 0);
  }
  stop.store(true);
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_GT(failed.load(), 0);
  EXPECT_EQ(log_.Lines(), Lines{});
  for (const std::string& path : {path_, dir_.File("own0.db"), dir_.File("own1.db")}) {
    EXPECT_EQ(FileState(path).substr(0, 5), "ok|0|") << path;
  }
  std::printf("stress: %d rounds, %d calls refused, %d close/init cycles\n", rounds.load(),
              failed.load(), cycles);
}

}  // namespace
}  // namespace dbi_test
