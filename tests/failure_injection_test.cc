// SQLite's file calls and its allocations failing, at every point of a round
// of all operations and of opening files that need creating, migrating or
// rebuilding: each failure is answered and logged once, the same call works
// once the fault is gone, no memory leaks, and the file keeps exactly what
// was reported as stored. (A text column read back as a null pointer would
// read as empty; SQLite copies texts out inside the step, so its memory
// running out there shows as a failed step instead.)
//
// File calls fail in a file-system layer registered as SQLite's default, so
// it sits under the store's connection (and the tests' own): it passes every
// call to the real layer except the one chosen to fail. Allocations fail in
// a wrapper of SQLite's own allocator, set before SQLite starts.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "support/test_db.h"
#include "support/workload.h"

namespace dbi_test {
namespace {

enum class Failing { kAllocation, kOpen, kRead, kWrite, kSync, kLock };

// What fails, and how; the tests run on one thread.
Failing failing = Failing::kAllocation;
int failure_code = SQLITE_NOMEM;
Fault fault;

int Injected(Failing call) {
  return failing == call && fault.Fires() ? failure_code : SQLITE_OK;
}

sqlite3_mem_methods real_memory;
int64_t live_blocks = 0;

void* Malloc(int size) {
  void* block = Injected(Failing::kAllocation) != SQLITE_OK ? nullptr : real_memory.xMalloc(size);
  live_blocks += block != nullptr ? 1 : 0;
  return block;
}

// SQLite reallocates only blocks it has, so the count stays.
void* Realloc(void* block, int size) {
  return Injected(Failing::kAllocation) != SQLITE_OK ? nullptr : real_memory.xRealloc(block, size);
}

void Free(void* block) {
  live_blocks -= block != nullptr ? 1 : 0;
  real_memory.xFree(block);
}

sqlite3_vfs* real_vfs = nullptr;
sqlite3_vfs faulty_vfs;
const sqlite3_io_methods* real_methods = nullptr;
sqlite3_io_methods faulty_methods;

// The real layer's `method`, unless the armed fault fails calls of `kCall`.
template <Failing kCall, auto method, typename... Args>
int Faulty(sqlite3_file* file, Args... args) {
  const int rc = Injected(kCall);
  return rc != SQLITE_OK ? rc : (real_methods->*method)(file, args...);
}

int Open(sqlite3_vfs* /*faulty*/, const char* name, sqlite3_file* file, int flags, int* out_flags) {
  file->pMethods = nullptr;  // nothing for SQLite to close if the open fails
  const int injected = Injected(Failing::kOpen);
  const int rc =
      injected != SQLITE_OK ? injected : real_vfs->xOpen(real_vfs, name, file, flags, out_flags);
  // The file object stays the real layer's; only four entries of its method
  // table are swapped, so every other call reaches the real layer unchanged.
  if (rc == SQLITE_OK && real_methods == nullptr) {
    real_methods = file->pMethods;
    faulty_methods = *real_methods;
    faulty_methods.xRead = Faulty<Failing::kRead, &sqlite3_io_methods::xRead>;
    faulty_methods.xWrite = Faulty<Failing::kWrite, &sqlite3_io_methods::xWrite>;
    faulty_methods.xSync = Faulty<Failing::kSync, &sqlite3_io_methods::xSync>;
    faulty_methods.xLock = Faulty<Failing::kLock, &sqlite3_io_methods::xLock>;
  }
  if (rc == SQLITE_OK && file->pMethods == real_methods) {
    file->pMethods = &faulty_methods;
  }
  return rc;
}

// Each kind of failure as a disk or the allocator would give it.
constexpr std::pair<Failing, int> kFailures[] = {
    {Failing::kAllocation, SQLITE_NOMEM}, {Failing::kOpen, SQLITE_CANTOPEN},
    {Failing::kRead, SQLITE_IOERR_READ},  {Failing::kWrite, SQLITE_IOERR_WRITE},
    {Failing::kWrite, SQLITE_FULL},       {Failing::kSync, SQLITE_IOERR_FSYNC},
    {Failing::kLock, SQLITE_IOERR_LOCK}};

class FailureInjectionTest : public StoreTest {
 protected:
  // Calls `run` with each kind of failure, once and persistent, and returns
  // the failures it injected in all.
  template <typename Run>
  static int ForEachKindOfFailure(const Run& run) {
    int injected = 0;
    for (const bool persistent : {false, true}) {
      for (const auto& [what, code] : kFailures) {
        SCOPED_TRACE(std::string(sqlite3_errstr(code)) + (persistent ? ", persistent" : ""));
        failing = what;
        failure_code = code;
        fault.persistent = persistent;
        fault.error = sqlite3_errstr(code);
        const int64_t live_before = live_blocks;
        injected += run();
        EXPECT_EQ(live_blocks, live_before) << "blocks leaked";
      }
    }
    return injected;
  }
};

TEST_F(FailureInjectionTest, EveryFailurePointOfARoundIsSurvived) {
  const int injected = ForEachKindOfFailure([&] {
    std::filesystem::remove(path_);
    Model model;
    auto db = NewStore();
    Workload workload(*db, path_, model, "faults");
    return RunRoundThroughFaults(workload, log_, fault);
  });
  std::printf("failures injected and survived in rounds: %d\n", injected);
}

TEST_F(FailureInjectionTest, EveryFailurePointOfOpeningIsSurvived) {
  const std::string older = dir_.File("older.db"), newer = dir_.File("newer.db");
  CopyStoreFile(older, "1.11.0");  // migrated, rows kept
  CopyStoreFile(newer, "2.0.0");   // rebuilt: only the key pair stays
  const int injected = ForEachKindOfFailure([&] {
    const int count = OpenThroughFaults("", path_, "0|0|0|0|0", log_, fault);
    // Creating every table of a new file is where Init allocates most: failing
    // each allocation of the other files too would add only minutes.
    if (failing == Failing::kAllocation) {
      return count;
    }
    return count + OpenThroughFaults(DBI_TEST_STORE_FILE, path_, "1|1|1|2|1", log_, fault) +
           OpenThroughFaults(older, path_, "1|1|1|2|1", log_, fault) +
           OpenThroughFaults(newer, path_, "0|0|0|0|1", log_, fault);
  });
  std::printf("failures injected and survived in Init: %d\n", injected);
}

}  // namespace
}  // namespace dbi_test

int main(int argc, char** argv) {
  // Before SQLite starts, the only time it takes another allocator; then the
  // faulty file-system layer becomes the default of every connection.
  sqlite3_config(SQLITE_CONFIG_GETMALLOC, &dbi_test::real_memory);
  sqlite3_mem_methods failing = dbi_test::real_memory;
  failing.xMalloc = dbi_test::Malloc;
  failing.xRealloc = dbi_test::Realloc;
  failing.xFree = dbi_test::Free;
  sqlite3_config(SQLITE_CONFIG_MALLOC, &failing);
  dbi_test::real_vfs = sqlite3_vfs_find(nullptr);
  dbi_test::faulty_vfs = *dbi_test::real_vfs;
  dbi_test::faulty_vfs.zName = "faulty";
  dbi_test::faulty_vfs.xOpen = dbi_test::Open;
  sqlite3_vfs_register(&dbi_test::faulty_vfs, 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
