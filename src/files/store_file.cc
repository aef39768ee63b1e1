#include "files/store_file.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <string>

#include "files/open_flags.h"
#include "files/private_file.h"
#include "files/sqlite_names.h"

namespace database_interface {

namespace {

using Target = OpenTarget;

Target FileOrNot(const std::string& file, bool created) {
  if (file.empty() || file == ":memory:") {
    return {Target::kNoFile, {}, false};
  }
  return {Target::kFile, file, created};
}

enum class UriReading { kOn, kOff, kUnknown };

// SQLite's build decides whether it reads a name starting "file:" as a URI
// (SQLITE_USE_URI) unless the host set it (SQLITE_CONFIG_URI); only an open
// shows which. The probe names an in-memory database as a URI. Read as a
// path, its one element is longer than any file name, so SQLite fails before
// looking for a file, which could be a FIFO and block. Without the CREATE
// flag nothing is made either way.
UriReading SqliteUriReading() {
  const std::string probe = std::string("file::memory:#").append(1024, 'x');
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(probe.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  UriReading reading = UriReading::kUnknown;  // out of memory
  if (rc == SQLITE_OK) {
    const char* file = sqlite3_db_filename(db, "main");
    reading = file != nullptr && file[0] == '\0' ? UriReading::kOn : UriReading::kOff;
  } else if (rc == SQLITE_CANTOPEN) {
    reading = UriReading::kOff;
  }
  (void)sqlite3_close(db);
  return reading;
}

struct Opening {
  Target target;
  bool uri = false;  // the name read as a URI, which may ask for creation itself
};

// Asked of SQLite: a URI is opened through a probe that notes what SQLite
// would open, and a plain name's full name is the default layer's.
Opening WhatSqliteOpens(const char* name) {
  if (std::strncmp(name, "file:", 5) == 0) {
    switch (SqliteUriReading()) {
      case UriReading::kOn:
        return {WhatUriOpens(name), true};
      case UriReading::kUnknown:
        return {{Target::kUnknown, {}, false}, false};
      case UriReading::kOff:
        break;
    }
  }
  return {FileOrNot(name, true), false};
}

StoreFile Refused() {
  return {Readiness::kRefused, {}, {}, kOpenFlags};
}

StoreFile LeftToSqlite() {
  return {Readiness::kLeftToSqlite, {}, {}, kOpenFlags};
}

// Whether a -journal, -wal or -shm beside `file` is there but is not a
// regular file: SQLite opens a journal to see whether it is hot.
bool OddFileBeside(const std::string& file) {
  constexpr const char* kSuffixes[] = {"-journal", "-wal", "-shm"};
  return std::any_of(std::begin(kSuffixes), std::end(kSuffixes), [&file](const char* suffix) {
    return KindOf(file + suffix) == FileKind::kOther;
  });
}

// `file` is SQLite's full name for it, empty where SQLite cannot make one.
StoreFile Ready(const std::string& file, bool created) {
  if (file.empty() || OddFileBeside(file) || NamesSuperJournal(file + "-journal")) {
    return Refused();
  }
  switch (KindOf(file)) {
    case FileKind::kRegular:
      return LeftToSqlite();
    case FileKind::kOther:
      return Refused();
    case FileKind::kMissing:
      break;
  }
  if (!created) {
    return LeftToSqlite();  // SQLite fails on its own, as it always has
  }
  FileId made;
  if (CreatePrivateFile(file, made)) {
    return {Readiness::kMade, file, made, kOpenFlags};
  }
  // Someone else may have just made it; otherwise it cannot be made here.
  return KindOf(file) == FileKind::kRegular ? LeftToSqlite() : Refused();
}

}  // namespace

StoreFile ReadyStoreFile(const char* name) {
  if (!FilesHaveModes()) {
    // Nothing to make, and SQLite finds the journal by the name as given.
    return NamesSuperJournal(std::string(name) + "-journal") ? Refused() : LeftToSqlite();
  }
  const Opening opening = WhatSqliteOpens(name);
  const Target& target = opening.target;
  switch (target.kind) {
    case Target::kNoFile:
      return LeftToSqlite();
    case Target::kUnknown:
      return Refused();
    case Target::kFile:
      break;
  }
  StoreFile file = Ready(FullPathname(target.file), target.created);
  // Opened, not created again: were a folder of the path swapped meanwhile,
  // SQLite would create another file where the name leads by then, under
  // the umask. A URI may ask for creation itself (mode=rwc), which SQLite
  // refuses without the flag; there the check after the open stands alone.
  if (file.readiness == Readiness::kMade && !opening.uri) {
    file.open_flags &= ~SQLITE_OPEN_CREATE;
  }
  return file;
}

bool OpenedMadeFile(const StoreFile& file, const char* opened) {
  return file.readiness != Readiness::kMade ||
         (opened != nullptr && file.made == opened && IsPrivateFile(file.made, file.made_id));
}

void RemoveMadeFileIfEmpty(const StoreFile& file) {
  if (file.readiness == Readiness::kMade) {
    RemovePrivateFileIfEmpty(file.made, file.made_id);
  }
}

}  // namespace database_interface
