// dbi's SQLite opens only plain local files. Every file its unix layer
// opens by name (the store, its journal, -wal and -shm, their folder) is
// opened through OpenPlainFile (system_files.h), where nothing can come
// between the check and the use: a FIFO or a device swapped in after any
// look at the name is refused instead of blocking dbi for good, and so is
// a file of the kernel's such as /proc/kmsg or one another machine serves.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_READING_PLAIN_OPENS_H_
#define DATABASE_INTERFACE_TOOLS_DBI_READING_PLAIN_OPENS_H_

namespace dbi {

// Replaces the unix layer's open before SQLite opens its first file: false
// where SQLite has no unix layer (Windows), which leaves it as it is.
bool OpenOnlyPlainFiles();

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_READING_PLAIN_OPENS_H_
