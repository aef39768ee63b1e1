// SQLite's file calls failing, at every point of a round of all operations
// and of opening files that need creating, migrating or rebuilding: each
// failure is answered and logged once, the same call works once the fault
// is gone, and the file keeps exactly what was reported as stored.
//
// The failures come from a file-system layer registered as SQLite's default,
// so it sits under the store's connection (and the tests' own): it passes
// every call to the real layer except the one chosen to fail.

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

enum class FileCall { kOpen, kRead, kWrite, kSync, kLock };

// The armed fault; the tests run on one thread.
struct Fault {
  FileCall call = FileCall::kOpen;
  int code = SQLITE_OK;
  bool persistent = false;  // every later call of the kind fails too, recovery included
  int countdown = 0;
  bool armed = false;
  bool injected = false;
};

Fault fault;
sqlite3_vfs* real_vfs = nullptr;
sqlite3_vfs faulty_vfs;
const sqlite3_io_methods* real_methods = nullptr;
sqlite3_io_methods faulty_methods;

// SQLITE_OK to pass the call through, or the code the armed fault gives it.
int Injected(FileCall call) {
  if (!fault.armed || fault.call != call || --fault.countdown > 0) {
    return SQLITE_OK;
  }
  fault.armed = fault.persistent;
  fault.injected = true;
  return fault.code;
}

int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
  const int rc = Injected(FileCall::kRead);
  return rc != SQLITE_OK ? rc : real_methods->xRead(file, buffer, amount, offset);
}

int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
  const int rc = Injected(FileCall::kWrite);
  return rc != SQLITE_OK ? rc : real_methods->xWrite(file, buffer, amount, offset);
}

int Sync(sqlite3_file* file, int flags) {
  const int rc = Injected(FileCall::kSync);
  return rc != SQLITE_OK ? rc : real_methods->xSync(file, flags);
}

int Lock(sqlite3_file* file, int level) {
  const int rc = Injected(FileCall::kLock);
  return rc != SQLITE_OK ? rc : real_methods->xLock(file, level);
}

int Open(sqlite3_vfs* /*faulty*/, const char* name, sqlite3_file* file, int flags, int* out_flags) {
  file->pMethods = nullptr;  // nothing for SQLite to close if the open fails
  const int injected = Injected(FileCall::kOpen);
  const int rc =
      injected != SQLITE_OK ? injected : real_vfs->xOpen(real_vfs, name, file, flags, out_flags);
  // The file object stays the real layer's; only four entries of its method
  // table are swapped, so every other call reaches the real layer unchanged.
  if (rc == SQLITE_OK && real_methods == nullptr) {
    real_methods = file->pMethods;
    faulty_methods = *real_methods;
    faulty_methods.xRead = Read;
    faulty_methods.xWrite = Write;
    faulty_methods.xSync = Sync;
    faulty_methods.xLock = Lock;
  }
  if (rc == SQLITE_OK && file->pMethods == real_methods) {
    file->pMethods = &faulty_methods;
  }
  return rc;
}

// Each kind of file call failing as a disk would, once or persistently.
FaultSwitch Switch(FileCall call, int code, bool persistent) {
  return FaultSwitch{[=](int nth) {
                       fault = Fault{call, code, persistent};
                       fault.countdown = nth;
                       fault.armed = true;
                     },
                     [] {
                       fault.armed = false;
                       return fault.injected;
                     },
                     sqlite3_errstr(code)};
}

constexpr std::pair<FileCall, int> kCases[] = {
    {FileCall::kOpen, SQLITE_CANTOPEN},     {FileCall::kRead, SQLITE_IOERR_READ},
    {FileCall::kWrite, SQLITE_IOERR_WRITE}, {FileCall::kWrite, SQLITE_FULL},
    {FileCall::kSync, SQLITE_IOERR_FSYNC},  {FileCall::kLock, SQLITE_IOERR_LOCK}};

class FaultInjectionTest : public ::testing::Test {
 protected:
  FaultInjectionTest() {
    if (real_vfs == nullptr) {
      real_vfs = sqlite3_vfs_find(nullptr);
      faulty_vfs = *real_vfs;
      faulty_vfs.zName = "faulty";
      faulty_vfs.xOpen = Open;
      sqlite3_vfs_register(&faulty_vfs, 1);
    }
  }

  TempDir dir_;
  LogCapture log_;
  std::string path_ = dir_.File("store.db");
};

TEST_F(FaultInjectionTest, EveryFileCallOfARoundFailsInTurn) {
  int injected = 0;
  for (bool persistent : {false, true}) {
    for (const auto& [call, code] : kCases) {
      SCOPED_TRACE(std::string(sqlite3_errstr(code)) + (persistent ? ", persistent" : ""));
      std::filesystem::remove(path_);
      Model model;
      auto db = NewStore();
      Workload workload(*db, path_, model, "faults", true);
      injected += RunRoundThroughFaults(workload, log_, Switch(call, code, persistent));
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
    for (const auto& [call, code] : kCases) {
      SCOPED_TRACE(std::string(sqlite3_errstr(code)) + (persistent ? ", persistent" : ""));
      const FaultSwitch faults = Switch(call, code, persistent);
      injected += OpenThroughFaults("", path_, 0, log_, faults) +
                  OpenThroughFaults(current, path_, 5, log_, faults) +
                  OpenThroughFaults(older, path_, 5, log_, faults) +
                  OpenThroughFaults(newer, path_, 1, log_, faults);
    }
  }
  std::printf("file faults injected and survived in Init: %d\n", injected);
}

}  // namespace
}  // namespace dbi_test
