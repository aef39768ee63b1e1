#include "files/sqlite_guard.h"

#include <sqlite3.h>

#include <mutex>

#include "files/full_sync.h"
#include "files/store_file.h"

namespace database_interface {

namespace {

#if defined(DATABASE_INTERFACE_FULL_SYNC)
constexpr bool kFullSyncs = true;
#else
constexpr bool kFullSyncs = false;
#endif

int OpenNoForeignSuperJournal(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags,
                              int* out_flags) {
  auto* underlying = static_cast<sqlite3_vfs*>(vfs->pAppData);
  const int rc = kFullSyncs ? OpenFullySyncedFile(underlying, name, file, flags, out_flags)
                            : underlying->xOpen(underlying, name, file, flags, out_flags);
  if (rc == SQLITE_OK && (flags & SQLITE_OPEN_MAIN_JOURNAL) != 0 &&
      OpenJournalNamesForeignFile(*vfs, file)) {
    // SQLite then leaves the journal where it is, and fails.
    file->pMethods->xClose(file);
    file->pMethods = nullptr;
    return SQLITE_CANTOPEN;
  }
  return rc;
}

bool Install() {
  if (sqlite3_vfs_find("unix") == nullptr) {
    return false;
  }
  // Over the default of the moment, which may itself be a layer over the
  // unix one (a test's that injects faults, say).
  sqlite3_vfs* underlying = sqlite3_vfs_find(nullptr);
  static sqlite3_vfs layer;
  layer = *underlying;
  layer.pNext = nullptr;
  layer.zName = "database_interface";
  layer.pAppData = underlying;
  layer.xOpen = OpenNoForeignSuperJournal;
  if (kFullSyncs) {
    layer.szOsFile = FullySyncedFileSize(*underlying);
  }
  return sqlite3_vfs_register(&layer, 1) == SQLITE_OK;
}

}  // namespace

bool GuardSqliteFiles() {
  static std::once_flag once;
  static bool guarded = false;
  std::call_once(once, [] { guarded = Install(); });
  return guarded;
}

}  // namespace database_interface
