// What SQLite makes of a name given to sqlite3_open_v2, asked of SQLite
// itself rather than worked out again here: its rules differ between
// versions (how far a chain of symbolic links is followed, what ".." above
// "/" means, how a URI is decoded), and the store must ready the very file
// that the SQLite it runs on opens.

#ifndef DATABASE_INTERFACE_FILES_SQLITE_NAMES_H_
#define DATABASE_INTERFACE_FILES_SQLITE_NAMES_H_

#include <string>

namespace database_interface {

// The absolute name the default file-system layer makes of a path before
// it opens anything (its xFullPathname: symbolic links followed); empty
// where it makes none.
std::string FullPathname(const std::string& path);

// What an open with the store's open flags opens.
struct OpenTarget {
  enum Kind {
    kNoFile,   // in memory, temporary, or a name SQLite refuses before any file
    kFile,     // the file named `file`
    kUnknown,  // SQLite could not be asked
  } kind;
  std::string file;
  bool created;  // with kFile: SQLite creates the file when it is missing
};

// What SQLite opens for `uri`, a name that it reads as a URI: `file` is
// then SQLite's full name for it.
OpenTarget WhatUriOpens(const char* uri);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_FILES_SQLITE_NAMES_H_
