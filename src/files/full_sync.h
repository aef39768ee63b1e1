// Files whose every sync is a full one.
//
// On Apple's systems fsync(2) hands a file's data to the drive, which may
// keep it in a volatile cache and write it out in any order: a power cut
// can then undo a commit, or keep a file's pages without the journal that
// would roll them back. Only fcntl(F_FULLFSYNC) drains that cache. SQLite's
// unix layer makes one for a sync marked SQLITE_SYNC_FULL (falling back to
// fsync where the file system refuses it), and a connection marks its
// syncs so only under PRAGMA fullfsync, which the store does not set. The
// mark is added below the connection instead: a file opened here is the
// underlying layer's own file, reached through a small header, whose every
// sync is passed down marked full. Everything else passes through as is.

#ifndef DATABASE_INTERFACE_FILES_FULL_SYNC_H_
#define DATABASE_INTERFACE_FILES_FULL_SYNC_H_

#include <sqlite3.h>

namespace database_interface {

// The szOsFile of a layer over `underlying` whose xOpen is
// OpenFullySyncedFile.
int FullySyncedFileSize(const sqlite3_vfs& underlying);

// Opens `name` as `underlying`'s xOpen does, inside `file` (of
// FullySyncedFileSize bytes), answering what that xOpen answers. Each sync
// of the file reaches `underlying`'s as SQLITE_SYNC_FULL, data-only when
// SQLite asked for data only.
int OpenFullySyncedFile(sqlite3_vfs* underlying, const char* name, sqlite3_file* file, int flags,
                        int* out_flags);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_FILES_FULL_SYNC_H_
