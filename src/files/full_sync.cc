#include "files/full_sync.h"

#include <algorithm>
#include <cstddef>

namespace database_interface {

namespace {

// The underlying file follows the header, 8-byte aligned like every block
// SQLite allocates, so that its 64-bit members stay aligned on 32-bit
// systems too.
constexpr size_t kHeaderSize = (sizeof(sqlite3_file) + 7) / 8 * 8;

sqlite3_file* Underlying(sqlite3_file* file) {
  return reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + kHeaderSize);
}

template <auto method, typename... Args>
auto Forward(sqlite3_file* file, Args... args) {
  sqlite3_file* underlying = Underlying(file);
  return (underlying->pMethods->*method)(underlying, args...);
}

int SyncFully(sqlite3_file* file, int flags) {
  return Forward<&sqlite3_io_methods::xSync>(file,
                                             (flags & SQLITE_SYNC_DATAONLY) | SQLITE_SYNC_FULL);
}

// SQLite reads what a file can do from its table's version (shared memory
// for WAL from 2, memory-mapped pages from 3), so each file gets the table
// of its underlying file's version.
sqlite3_io_methods MethodsOfVersion(int version) {
  sqlite3_io_methods methods = {};
  methods.iVersion = version;
  methods.xClose = Forward<&sqlite3_io_methods::xClose>;
  methods.xRead = Forward<&sqlite3_io_methods::xRead>;
  methods.xWrite = Forward<&sqlite3_io_methods::xWrite>;
  methods.xTruncate = Forward<&sqlite3_io_methods::xTruncate>;
  methods.xSync = SyncFully;
  methods.xFileSize = Forward<&sqlite3_io_methods::xFileSize>;
  methods.xLock = Forward<&sqlite3_io_methods::xLock>;
  methods.xUnlock = Forward<&sqlite3_io_methods::xUnlock>;
  methods.xCheckReservedLock = Forward<&sqlite3_io_methods::xCheckReservedLock>;
  methods.xFileControl = Forward<&sqlite3_io_methods::xFileControl>;
  methods.xSectorSize = Forward<&sqlite3_io_methods::xSectorSize>;
  methods.xDeviceCharacteristics = Forward<&sqlite3_io_methods::xDeviceCharacteristics>;
  if (version >= 2) {
    methods.xShmMap = Forward<&sqlite3_io_methods::xShmMap>;
    methods.xShmLock = Forward<&sqlite3_io_methods::xShmLock>;
    methods.xShmBarrier = Forward<&sqlite3_io_methods::xShmBarrier>;
    methods.xShmUnmap = Forward<&sqlite3_io_methods::xShmUnmap>;
  }
  if (version >= 3) {
    methods.xFetch = Forward<&sqlite3_io_methods::xFetch>;
    methods.xUnfetch = Forward<&sqlite3_io_methods::xUnfetch>;
  }
  return methods;
}

constexpr int kNewestVersion = 3;

const sqlite3_io_methods* MethodsFor(const sqlite3_io_methods& underlying) {
  static const sqlite3_io_methods kTables[kNewestVersion] = {
      MethodsOfVersion(1), MethodsOfVersion(2), MethodsOfVersion(3)};
  return &kTables[std::clamp(underlying.iVersion, 1, kNewestVersion) - 1];
}

}  // namespace

int FullySyncedFileSize(const sqlite3_vfs& underlying) {
  return static_cast<int>(kHeaderSize) + underlying.szOsFile;
}

int OpenFullySyncedFile(sqlite3_vfs* underlying, const char* name, sqlite3_file* file, int flags,
                        int* out_flags) {
  sqlite3_file* opened = Underlying(file);
  opened->pMethods = nullptr;
  const int rc = underlying->xOpen(underlying, name, opened, flags, out_flags);
  // A failed open may still leave a file for SQLite to close.
  file->pMethods = opened->pMethods != nullptr ? MethodsFor(*opened->pMethods) : nullptr;
  return rc;
}

}  // namespace database_interface
