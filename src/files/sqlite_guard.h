// A copy of SQLite that is the store's own (the bundled one, or dbi's)
// readied for a journal that a stranger may plant or swap while the store
// is open: its default file-system layer becomes one over the default of
// the moment that opens no rollback journal naming a super-journal SQLite
// did not name, judged on the descriptor SQLite then reads it from. Rolling
// it back would delete that file, whatever a stranger chose; one of
// SQLite's own is left by a host killed inside a commit over the store and
// its own database, and rolled back as usual.
// Built with full syncs (DATABASE_INTERFACE_SQLITE_FULL_SYNC, on by default for Apple's
// systems), that layer also marks every sync of the files it opens as a
// full one (full_sync.h): the connection's settings stay SQLite's own.
// A host's SQLite is never changed: this is a setting of the whole copy,
// and only a copy no one else calls may have it.

#ifndef DATABASE_INTERFACE_FILES_SQLITE_GUARD_H_
#define DATABASE_INTERFACE_FILES_SQLITE_GUARD_H_

namespace database_interface {

// Installs the layer once in the process, before the copy opens its first
// file. False when the copy has no unix layer to guard (Windows), which
// leaves it as it is.
bool GuardSqliteFiles();

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_FILES_SQLITE_GUARD_H_
