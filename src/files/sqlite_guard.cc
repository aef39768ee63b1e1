#include "files/sqlite_guard.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "files/full_sync.h"
#include "files/plain_file.h"
#include "files/sqlite_format.h"

namespace database_interface {

namespace {

using OpenCall = int (*)(const char*, int, int);

OpenCall unix_open = nullptr;
bool local_only = false;

#if defined(DATABASE_INTERFACE_FULL_SYNC)
constexpr bool kFullSyncs = true;
#else
constexpr bool kFullSyncs = false;
#endif

// The devices SQLite's unix layer opens itself: its source of random bytes,
// and what it holds descriptors 0 to 2 with so that no file ever gets one.
bool IsSqlitesOwnDevice(const char* path) {
  return std::strcmp(path, "/dev/urandom") == 0 || std::strcmp(path, "/dev/null") == 0;
}

int PlainOpen(const char* path, int flags, int mode) {
  return IsSqlitesOwnDevice(path) ? unix_open(path, flags, mode)
                                  : OpenPlainFile(path, flags, mode, local_only);
}

// Whether the journal just opened in `file` names a super-journal that
// SQLite did not name, read through the descriptor that SQLite goes on to
// roll it back from.
bool NamesForeignSuperJournal(const sqlite3_vfs& vfs, sqlite3_file* file) {
  sqlite3_int64 size = 0;
  if (file->pMethods == nullptr || file->pMethods->xFileSize(file, &size) != SQLITE_OK) {
    return false;
  }
  const auto longest = static_cast<size_t>(vfs.mxPathname);
  std::string tail(
      static_cast<size_t>(std::min<sqlite3_int64>(
          size, static_cast<sqlite3_int64>(longest + sqlite_format::kJournalTrailerBytes))),
      '\0');
  return file->pMethods->xRead(file, tail.data(), static_cast<int>(tail.size()),
                               size - static_cast<sqlite3_int64>(tail.size())) == SQLITE_OK &&
         sqlite_format::NamesForeignSuperJournal(tail, longest);
}

int OpenNoForeignSuperJournal(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags,
                              int* out_flags) {
  auto* underlying = static_cast<sqlite3_vfs*>(vfs->pAppData);
  const int rc = kFullSyncs ? OpenFullySyncedFile(underlying, name, file, flags, out_flags)
                            : underlying->xOpen(underlying, name, file, flags, out_flags);
  if (rc == SQLITE_OK && (flags & SQLITE_OPEN_MAIN_JOURNAL) != 0 &&
      NamesForeignSuperJournal(*vfs, file)) {
    // SQLite then leaves the journal where it is, and fails.
    file->pMethods->xClose(file);
    file->pMethods = nullptr;
    return SQLITE_CANTOPEN;
  }
  return rc;
}

bool Install(FileSystems accepted) {
  sqlite3_vfs* unix_layer = sqlite3_vfs_find("unix");
  if (unix_layer == nullptr) {
    return false;
  }
  local_only = accepted == FileSystems::kLocalOnly;
  // Every unix layer shares one table of system calls.
  unix_open = reinterpret_cast<OpenCall>(unix_layer->xGetSystemCall(unix_layer, "open"));
  if (unix_open == nullptr ||
      unix_layer->xSetSystemCall(unix_layer, "open",
                                 reinterpret_cast<sqlite3_syscall_ptr>(&PlainOpen)) != SQLITE_OK) {
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

bool GuardSqliteFiles(FileSystems accepted) {
  static std::once_flag once;
  static bool guarded = false;
  std::call_once(once, [accepted] { guarded = Install(accepted); });
  return guarded;
}

}  // namespace database_interface
