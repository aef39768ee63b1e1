// SQLite's file calls failing, at every point of a round of all operations
// and of opening files that need creating, migrating or rebuilding: each
// failure is answered and logged once, the same call works once the fault
// is gone, and the file keeps exactly what was reported as stored.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "support/faulty_vfs.h"
#include "support/log_capture.h"
#include "support/test_db.h"
#include "support/workload.h"

namespace dbi_test {
namespace {

struct FaultCase {
  FileCall call;
  int code;
};

// The calls an engine makes on its files, each failing as a disk would.
const FaultCase kCases[] = {
    {FileCall::kOpen, SQLITE_CANTOPEN},     {FileCall::kRead, SQLITE_IOERR_READ},
    {FileCall::kWrite, SQLITE_IOERR_WRITE}, {FileCall::kWrite, SQLITE_FULL},
    {FileCall::kSync, SQLITE_IOERR_FSYNC},  {FileCall::kLock, SQLITE_IOERR_LOCK},
};

// Once: the failing call alone. Persistent: every later one of its kind
// too, so that SQLite's own recovery (rollback, unlock) fails as well.
FaultSwitch Switch(const FaultCase& fault, bool persistent) {
  return FaultSwitch{[=](int nth) { ArmFault(fault.call, nth, fault.code, persistent); },
                     StopFaults, sqlite3_errstr(fault.code)};
}

class FaultInjectionTest : public ::testing::Test {
 protected:
  FaultInjectionTest() { InstallFaultyVfs(); }

  TempDir dir_;
  LogCapture log_;
  std::string path_ = dir_.File("store.db");
};

TEST_F(FaultInjectionTest, EveryFileCallOfARoundFailsInTurn) {
  int injected = 0;
  for (bool persistent : {false, true}) {
    for (const FaultCase& fault : kCases) {
      SCOPED_TRACE(std::string(sqlite3_errstr(fault.code)) + (persistent ? ", persistent" : ""));
      std::remove(path_.c_str());
      Model model;
      auto db = NewStore();
      Workload workload(*db, path_, model, "faults", true);
      injected += RunRoundThroughFaults(workload, log_, Switch(fault, persistent));
      ExpectFileMatches(path_, model);
    }
  }
  std::printf("file faults injected and survived in rounds: %d\n", injected);
}

TEST_F(FaultInjectionTest, EveryFileCallOfInitFailsInTurn) {
  const std::string current = dir_.File("current.db"), older = dir_.File("older.db"),
                    newer = dir_.File("newer.db");
  MakeStoreFile(current, "1.13.0");
  MakeStoreFile(older, "1.11.0");  // migrated, rows kept
  MakeStoreFile(newer, "2.0.0");   // rebuilt: only the key pair stays
  int injected = 0;
  for (bool persistent : {false, true}) {
    for (const FaultCase& fault : kCases) {
      SCOPED_TRACE(std::string(sqlite3_errstr(fault.code)) + (persistent ? ", persistent" : ""));
      const FaultSwitch faults = Switch(fault, persistent);
      injected += OpenThroughFaults("", path_, 0, log_, faults);
      injected += OpenThroughFaults(current, path_, 5, log_, faults);
      injected += OpenThroughFaults(older, path_, 5, log_, faults);
      injected += OpenThroughFaults(newer, path_, 1, log_, faults);
    }
  }
  std::printf("file faults injected and survived in Init: %d\n", injected);
}

}  // namespace
}  // namespace dbi_test
