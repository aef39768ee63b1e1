// The file that a name handed to Init makes SQLite open, readied before
// SQLite opens it.
//
// The store holds secrets: where files have owner, group and other modes, a
// new store file is its owner's alone from the moment it exists, whatever
// the process's umask. SQLite would create it under the umask, so the file
// it is about to create is made first, empty and 0600, and SQLite finds it
// there (its journal copies the mode). That file is found as SQLite finds
// it: a name starting "file:" is a URI wherever this process's SQLite reads
// names as URIs, and symbolic links lead to their targets. SQLite then opens
// that file by a plain name without creating any: a folder of the path
// swapped in between leaves it nothing to open rather than a second file,
// made under the umask. A URI may ask for creation itself (mode=rwc).
//
// A file that is there but is not a regular file (a folder, a FIFO, a
// device), or that has a -journal, -wal or -shm beside it that is not one,
// is refused unopened: SQLite would wait forever on a FIFO. So is a file
// SQLite would create that could not be made first: SQLite could only fail,
// or create it readable by others. And so is a file whose -journal names a
// super-journal, everywhere: rolling it back would delete the file it names,
// whatever a stranger chose. Windows, without modes or FIFOs, leaves every
// other name to SQLite.

#ifndef DATABASE_INTERFACE_FILES_STORE_FILE_H_
#define DATABASE_INTERFACE_FILES_STORE_FILE_H_

#include <string>

#include "files/open_flags.h"
#include "files/private_file.h"

namespace database_interface {

enum class Readiness {
  kRefused,       // not to be opened
  kMade,          // created here, empty and owner-only
  kLeftToSqlite,  // nothing made: the file is there, or SQLite makes no file of the name
};

struct StoreFile {
  Readiness readiness;
  std::string made;  // with kMade, the file created
  FileId made_id;    // and which file that was
  int open_flags;    // what sqlite3_open_v2 is given for it
};

// Readies the file SQLite opens for `name` with the store's open flags.
StoreFile ReadyStoreFile(const char* name);

// After an open that succeeded: whether SQLite opened the file that was
// made for it, by `opened`, SQLite's own full name of what it opened, and
// found it still owner-only. SQLite resolves the name again; a folder of
// the path swapped between the two lands it on another file, one it may
// have created under the umask. True when nothing was made.
bool OpenedMadeFile(const StoreFile& file, const char* opened);

// After an Init that failed: removes the file ReadyStoreFile made, while it
// is still empty and still found by its name, since SQLite itself would
// have left no file.
void RemoveMadeFileIfEmpty(const StoreFile& file);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_FILES_STORE_FILE_H_
