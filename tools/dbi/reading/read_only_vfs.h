// A file-system layer for reading files that a stranger may have made.
// Whatever SQLite decides on the way (to roll back a journal, to open a -wal
// for a header in WAL mode, to drop the -wal of an empty file), every file it
// opens by name through this layer is opened read-only and never created,
// and it deletes nothing. SQLite's own nameless temporary files are left as
// they are. The -shm is opened by the file itself, not through the layer:
// readers ask for it read-only with the URI parameter readonly_shm.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_READING_READ_ONLY_VFS_H_
#define DATABASE_INTERFACE_TOOLS_DBI_READING_READ_ONLY_VFS_H_

namespace dbi {

// The layer's name for sqlite3_open_v2, registered on first use over the
// default layer of the moment.
const char* ReadOnlyVfs();

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_READING_READ_ONLY_VFS_H_
