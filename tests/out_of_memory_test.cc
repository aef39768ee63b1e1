// SQLite running out of memory at every allocation of a round of all
// operations and of opening a new file: no crash, each failure answered and
// logged once, nothing leaked, nothing stored lost. (A text column read back
// as a null pointer would read as empty; SQLite copies texts out inside the
// step, so its memory running out there shows as a failed step instead.)

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/log_capture.h"
#include "support/test_db.h"
#include "support/workload.h"

namespace dbi_test {
namespace {

// SQLite's own allocator, with its live blocks counted and the nth
// allocation from the arming on failing (every later one too, if
// persistent). The tests run on one thread.
sqlite3_mem_methods real;
bool armed = false, persistent = false, injected = false;
int countdown = 0;
int64_t live_blocks = 0;

bool Fails() {
  if (!armed || --countdown > 0) {
    return false;
  }
  armed = persistent;
  return injected = true;
}

void* Malloc(int size) {
  void* block = Fails() ? nullptr : real.xMalloc(size);
  live_blocks += block != nullptr ? 1 : 0;
  return block;
}

// SQLite reallocates only blocks it has, so the count stays.
void* Realloc(void* block, int size) {
  return Fails() ? nullptr : real.xRealloc(block, size);
}

void Free(void* block) {
  live_blocks -= block != nullptr ? 1 : 0;
  real.xFree(block);
}

FaultSwitch Switch(bool persist) {
  return FaultSwitch{[persist](int nth) {
                       armed = true;
                       injected = false;
                       persistent = persist;
                       countdown = nth;
                     },
                     [] {
                       armed = false;
                       return injected;
                     },
                     sqlite3_errstr(SQLITE_NOMEM)};
}

class OutOfMemoryTest : public ::testing::Test {
 protected:
  TempDir dir_;
  LogCapture log_;
  std::string path_ = dir_.File("store.db");
  const int64_t live_before_ = live_blocks;
};

TEST_F(OutOfMemoryTest, EveryAllocationOfARoundFailsInTurn) {
  int count = 0;
  for (bool persist : {false, true}) {
    std::filesystem::remove(path_);
    Model model;
    {
      auto db = NewStore();
      Workload workload(*db, path_, model, "oom", true);
      count += RunRoundThroughFaults(workload, log_, Switch(persist));
    }
    EXPECT_EQ(live_blocks, live_before_) << "blocks leaked";
    ExpectFileMatches(path_, model);
  }
  std::printf("allocation failures injected in rounds: %d\n", count);
}

// Where Init allocates most: creating every table of a new file. (Failing
// persistently, reopening, is part of the round.)
TEST_F(OutOfMemoryTest, EveryAllocationOfInitFailsInTurn) {
  const int count = OpenThroughFaults("", path_, 0, log_, Switch(false));
  EXPECT_EQ(live_blocks, live_before_) << "blocks leaked";
  std::printf("allocation failures injected in Init: %d\n", count);
}

}  // namespace
}  // namespace dbi_test

int main(int argc, char** argv) {
  // Before SQLite starts, the only time it takes another allocator.
  sqlite3_config(SQLITE_CONFIG_GETMALLOC, &dbi_test::real);
  sqlite3_mem_methods failing = dbi_test::real;
  failing.xMalloc = dbi_test::Malloc;
  failing.xRealloc = dbi_test::Realloc;
  failing.xFree = dbi_test::Free;
  sqlite3_config(SQLITE_CONFIG_MALLOC, &failing);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
