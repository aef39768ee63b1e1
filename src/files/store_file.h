// The store's file, readied before SQLite opens it, and the rule for the
// files SQLite keeps beside it.
//
// The store holds secrets: a new store file from a plain path is its
// owner's alone from the moment it exists, where the file system keeps
// modes, whatever the process's umask. SQLite would create it under the
// umask, so it is made first, empty and owner-only, where SQLite will look
// for it (symbolic links followed as SQLite follows them), and its journal
// copies the mode. A name starting "file:" is left to SQLite: read as a URI
// it may name any file, with a mode of its own.
//
// SQLite opens the file and then its -journal, -wal and -shm by name, and
// waits for good on a FIFO. A store whose file or files beside it are there
// but not regular files is refused unopened, and so is one whose journal
// would have a rollback delete a file SQLite did not make. Nothing here
// wins a race against whoever swaps files in the store's folder: they could
// replace the store itself.

#ifndef DATABASE_INTERFACE_FILES_STORE_FILE_H_
#define DATABASE_INTERFACE_FILES_STORE_FILE_H_

#include <sqlite3.h>

#include <string>

namespace database_interface {

struct StoreFile {
  bool refused = false;  // not to be opened
  std::string made;      // the file created for SQLite to open, if any
};

// Readies the file SQLite opens for `name`.
StoreFile ReadyStoreFile(const char* name);

// After an Init that failed: removes the file ReadyStoreFile made while it
// is still empty, since SQLite itself would have left no file.
void RemoveMadeFile(const StoreFile& file);

// The absolute name SQLite's default file-system layer makes of `path`
// before it opens anything (symbolic links followed as that SQLite follows
// them); empty where it makes none.
std::string FullPathname(const std::string& path);

// Whether every -journal, -wal and -shm beside `file` is absent or a regular
// file; `journal` tells whether the -journal is one.
bool FilesBesideArePlain(const std::string& file, bool& journal);

// Whether the -journal beside `file`, a regular file, names a super-journal whose name is not
// one SQLite gives them: rolling it back would delete that file, whatever a
// stranger chose. A real one is left behind by a host killed inside a commit
// over the store and its own database, and rolled back as SQLite does.
bool JournalNamesForeignFile(const std::string& file);

// The same for a journal `vfs` has opened in `journal`, read through it.
bool OpenJournalNamesForeignFile(const sqlite3_vfs& vfs, sqlite3_file* journal);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_FILES_STORE_FILE_H_
