// A copy of SQLite that is the store's own (the bundled one, or dbi's)
// readied for files that a stranger may have made or may swap while they
// are opened. Two guards, each where nothing can come between the check and
// the use:
// - Every file SQLite's unix layer opens by name (the store, its journal,
//   -wal and -shm, their folder) is opened through OpenPlainFile: a FIFO or
//   a device swapped in after any check is refused instead of blocking the
//   caller for good, and so is a file of the kernel's such as /proc/kmsg.
// - The default file-system layer becomes one over the default of the
//   moment that opens no rollback journal naming a super-journal SQLite did
//   not name, judged on the descriptor SQLite then reads it from. Rolling
//   it back would delete that file, whatever a stranger chose; one of
//   SQLite's own is left by a host killed inside a commit over the store
//   and its own database, and rolled back as usual.
// Built with full syncs (DATABASE_INTERFACE_SQLITE_FULL_SYNC, on by default for Apple's
// systems), that layer also marks every sync of the files it opens as a
// full one (full_sync.h): the connection's settings stay SQLite's own.
// A host's SQLite is never changed: these are settings of the whole copy,
// and only a copy no one else calls may have them.

#ifndef DATABASE_INTERFACE_FILES_SQLITE_GUARD_H_
#define DATABASE_INTERFACE_FILES_SQLITE_GUARD_H_

namespace database_interface {

enum class FileSystems {
  kAny,        // every file system of files
  kLocalOnly,  // and none whose reads another machine or process serves
};

// Installs both guards once in the process, before the copy opens its first
// file; the first call's `accepted` stands. False when the copy has no unix
// layer to guard (Windows), which leaves it as it is.
bool GuardSqliteFiles(FileSystems accepted);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_FILES_SQLITE_GUARD_H_
