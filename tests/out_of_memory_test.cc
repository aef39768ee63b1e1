// SQLite running out of memory at every allocation of a round of all
// operations and of opening files: no crash, each failure answered and
// logged once, nothing leaked, nothing stored lost. A text the engine cannot
// deliver reads as empty, by the store's choice.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "support/log_capture.h"
#include "support/test_db.h"
#include "support/workload.h"

namespace dbi_test {
namespace {

// SQLite's own allocator, counted, with the nth allocation from the arming
// on failing (and every later one too, when persistent). Installed before
// SQLite starts; the tests run on one thread.
struct FailingAllocator {
  static void Install() {
    sqlite3_config(SQLITE_CONFIG_GETMALLOC, &real);
    sqlite3_mem_methods failing = real;
    failing.xMalloc = Malloc;
    failing.xRealloc = Realloc;
    failing.xFree = Free;
    sqlite3_config(SQLITE_CONFIG_MALLOC, &failing);
  }

  static bool Fails() {
    if (!armed || --countdown > 0) {
      return false;
    }
    injected = true;
    armed = persistent;
    return true;
  }
  static void* Malloc(int size) {
    void* block = Fails() ? nullptr : real.xMalloc(size);
    live += block != nullptr ? 1 : 0;
    return block;
  }
  // SQLite never reallocates a null block, so the count of live blocks stays.
  static void* Realloc(void* block, int size) {
    return Fails() ? nullptr : real.xRealloc(block, size);
  }
  static void Free(void* block) {
    live -= block != nullptr ? 1 : 0;
    real.xFree(block);
  }

  static inline sqlite3_mem_methods real;
  static inline bool armed = false, persistent = false, injected = false;
  static inline int countdown = 0;
  static inline int64_t live = 0;  // blocks allocated and not yet freed
};

FaultSwitch Switch(bool persistent) {
  return FaultSwitch{[persistent](int nth) {
                       FailingAllocator::armed = true;
                       FailingAllocator::persistent = persistent;
                       FailingAllocator::injected = false;
                       FailingAllocator::countdown = nth;
                     },
                     [] {
                       FailingAllocator::armed = false;
                       return FailingAllocator::injected;
                     },
                     sqlite3_errstr(SQLITE_NOMEM)};
}

class OutOfMemoryTest : public ::testing::Test {
 protected:
  TempDir dir_;
  LogCapture log_;
  std::string path_ = dir_.File("store.db");
};

// Every block SQLite allocates while a store is open is freed once it is
// closed, whatever failed in between.
TEST_F(OutOfMemoryTest, EveryAllocationOfARoundFailsInTurn) {
  int injected = 0;
  for (bool persistent : {false, true}) {
    SCOPED_TRACE(persistent ? "persistent" : "once");
    std::remove(path_.c_str());
    const int64_t live_before = FailingAllocator::live;
    Model model;
    {
      auto db = NewStore();
      Workload workload(*db, path_, model, "oom", true);
      workload.AcceptEmptyTexts();
      injected += RunRoundThroughFaults(workload, log_, Switch(persistent));
    }
    EXPECT_EQ(FailingAllocator::live, live_before) << "blocks leaked";
    ExpectFileMatches(path_, model);
  }
  std::printf("allocation failures injected in rounds: %d\n", injected);
}

// On a new file, where Init allocates most: creating every table. (Reopening
// is part of the round; migrations and rebuilds fail like any statement.)
TEST_F(OutOfMemoryTest, EveryAllocationOfInitFailsInTurn) {
  const int64_t live_before = FailingAllocator::live;
  int injected = 0;
  for (bool persistent : {false, true}) {
    SCOPED_TRACE(persistent ? "persistent" : "once");
    injected += OpenThroughFaults("", path_, 0, log_, Switch(persistent));
  }
  EXPECT_EQ(FailingAllocator::live, live_before) << "blocks leaked";
  std::printf("allocation failures injected in Init: %d\n", injected);
}

}  // namespace
}  // namespace dbi_test

int main(int argc, char** argv) {
  dbi_test::FailingAllocator::Install();  // before SQLite starts
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
