#include "support/faulty_vfs.h"

#include <sqlite3.h>

namespace dbi_test {
namespace {

// The tests that arm faults run on one thread.
struct Fault {
  bool armed = false;
  FileCall call = FileCall::kOpen;
  int countdown = 0;
  int code = SQLITE_OK;
  bool persistent = false;
  bool injected = false;
};

Fault fault;
sqlite3_vfs* real_vfs = nullptr;
sqlite3_vfs faulty_vfs;
const sqlite3_io_methods* real_methods = nullptr;
sqlite3_io_methods faulty_methods;

// SQLITE_OK to pass the call through, or the code the armed fault gives it.
int Injected(FileCall call) {
  if (!fault.armed || fault.call != call) {
    return SQLITE_OK;
  }
  if (fault.countdown > 1) {
    --fault.countdown;
    return SQLITE_OK;
  }
  fault.injected = true;
  fault.armed = fault.persistent;
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

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* out_flags) {
  const int injected = Injected(FileCall::kOpen);
  if (injected != SQLITE_OK) {
    file->pMethods = nullptr;  // tells SQLite there is nothing to close
    return injected;
  }
  const int rc = real_vfs->xOpen(real_vfs, name, file, flags, out_flags);
  if (rc != SQLITE_OK || file->pMethods == nullptr) {
    return rc;
  }
  // The file object stays the real layer's; only four entries of its method
  // table are swapped, so every other call reaches the real layer unchanged.
  if (real_methods == nullptr) {
    real_methods = file->pMethods;
    faulty_methods = *real_methods;
    faulty_methods.xRead = Read;
    faulty_methods.xWrite = Write;
    faulty_methods.xSync = Sync;
    faulty_methods.xLock = Lock;
  }
  if (file->pMethods == real_methods) {
    file->pMethods = &faulty_methods;
  }
  return rc;
}

}  // namespace

void InstallFaultyVfs() {
  if (real_vfs != nullptr) {
    return;
  }
  real_vfs = sqlite3_vfs_find(nullptr);
  faulty_vfs = *real_vfs;
  faulty_vfs.zName = "faulty";
  faulty_vfs.xOpen = Open;
  sqlite3_vfs_register(&faulty_vfs, 1);
}

void ArmFault(FileCall call, int nth, int code, bool persistent) {
  fault = Fault{true, call, nth, code, persistent, false};
}

bool StopFaults() {
  fault.armed = false;
  return fault.injected;
}

}  // namespace dbi_test
