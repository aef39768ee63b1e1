#include "store_file.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <string>

#include "open_flags.h"
#include "private_file.h"

namespace database_interface {

namespace {

// What SQLite opens for a name.
struct Target {
  enum Kind {
    kNoFile,   // in memory, temporary, or a name SQLite refuses before any file
    kFile,     // the file named `file`
    kUnknown,  // SQLite could not be asked how it reads the name
  } kind;
  std::string file;
  bool created;  // with kFile: SQLite creates the file when it is missing
};

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

// After "file:", where the path starts: past an authority, which SQLite
// takes only empty or "localhost". nullptr for any other, which fails the
// open.
const char* PastAuthority(const char* uri) {
  if (uri[0] != '/' || uri[1] != '/') {
    return uri;
  }
  const char* end = uri + 2;
  while (*end != '\0' && *end != '/') {
    ++end;
  }
  const std::string authority(uri + 2, end);
  return authority.empty() || authority == "localhost" ? end : nullptr;
}

bool IsHex(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

int HexValue(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0
             ? c - '0'
             : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
}

enum class UriPart { kPath, kName, kValue };

// Whether `c`, not from a %HH, ends the current part.
bool EndsPart(UriPart part, char c) {
  switch (part) {
    case UriPart::kPath:
      return c == '?';
    case UriPart::kName:
      return c == '=' || c == '&';
    case UriPart::kValue:
      return c == '&';
  }
  return false;
}

// Past the rest of the part that a "%00" is in, from uri[i]: SQLite drops it.
size_t PastNul(const char* uri, size_t i, UriPart part) {
  while (uri[i] != '\0' && uri[i] != '#' && !EndsPart(part, uri[i])) {
    ++i;
  }
  return i;
}

// Past a parameter with an empty name, from uri[i] on: SQLite drops it whole.
size_t PastParameter(const char* uri, size_t i) {
  while (uri[i] != '\0' && uri[i] != '#' && uri[i - 1] != '&') {
    ++i;
  }
  return i;
}

// The URI's path and query decoded as SQLite decodes them, up to any '#':
// the path, then each parameter's name and value, each ended by a NUL, and
// an empty name after the last.
std::string DecodedUri(const char* uri) {
  UriPart part = UriPart::kPath;
  std::string out;
  size_t i = 0;
  for (char c = uri[i]; c != '\0' && c != '#'; c = uri[i]) {
    ++i;
    if (c == '%' && IsHex(uri[i]) && IsHex(uri[i + 1])) {
      c = static_cast<char>(HexValue(uri[i]) * 16 + HexValue(uri[i + 1]));
      i += 2;
      if (c == '\0') {
        i = PastNul(uri, i, part);
        continue;
      }
    } else if (EndsPart(part, c)) {
      if (part == UriPart::kName && (out.empty() || out.back() == '\0')) {
        i = PastParameter(uri, i);
        continue;
      }
      if (part == UriPart::kName && c == '&') {
        out += '\0';  // a name without '=': its value is empty
      }
      part = part == UriPart::kName && c == '=' ? UriPart::kValue : UriPart::kName;
      c = '\0';
    }
    out += c;
  }
  if (part == UriPart::kName) {
    out += '\0';
  }
  return out.append(4, '\0');
}

struct AccessMode {
  const char* name;
  int flags;
};

constexpr AccessMode kAccessModes[] = {
    {"ro", SQLITE_OPEN_READONLY},
    {"rw", SQLITE_OPEN_READWRITE},
    {"rwc", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE},
    {"memory", SQLITE_OPEN_MEMORY},
};

// A mode= parameter applied to `flags` as SQLite applies it; false for one
// SQLite refuses: an unknown mode, or one asking more than the flags so far
// allow.
bool ApplyMode(const std::string& mode, int& flags) {
  constexpr int kMask =
      SQLITE_OPEN_READONLY | SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_MEMORY;
  for (const AccessMode& known : kAccessModes) {
    if (mode == known.name) {
      if ((known.flags & ~SQLITE_OPEN_MEMORY) > (flags & kMask)) {
        return false;
      }
      flags = (flags & ~kMask) | known.flags;
      return true;
    }
  }
  return false;
}

bool IsCacheMode(const char* value) {
  return std::strcmp(value, "shared") == 0 || std::strcmp(value, "private") == 0;
}

// A vfs= parameter's file layer creates files as the default one does, under
// the umask, when it is one of SQLite's unix layers.
bool IsUnixVfs(const char* name) {
  return sqlite3_vfs_find(name) != nullptr && std::strncmp(name, "unix", 4) == 0;
}

// What SQLite opens for a URI, read as SQLite reads it: a parameter it
// refuses fails the open before any file is looked at.
Target FromUri(const char* uri) {
  const char* path = PastAuthority(uri + std::strlen("file:"));
  if (path == nullptr) {
    return {Target::kNoFile, {}, false};
  }
  const std::string decoded = DecodedUri(path);
  int flags = kOpenFlags;
  const char* vfs = nullptr;
  const char* name = decoded.c_str() + std::strlen(decoded.c_str()) + 1;
  while (*name != '\0') {
    const char* value = name + std::strlen(name) + 1;
    if (std::strcmp(name, "vfs") == 0) {
      vfs = value;
    } else if ((std::strcmp(name, "mode") == 0 && !ApplyMode(value, flags)) ||
               (std::strcmp(name, "cache") == 0 && !IsCacheMode(value))) {
      return {Target::kNoFile, {}, false};
    }
    name = value + std::strlen(value) + 1;
  }
  if ((vfs != nullptr && !IsUnixVfs(vfs)) || (flags & SQLITE_OPEN_MEMORY) != 0) {
    return {Target::kNoFile, {}, false};
  }
  return FileOrNot(decoded.substr(0, decoded.find('\0')), (flags & SQLITE_OPEN_CREATE) != 0);
}

Target WhatSqliteOpens(const char* name) {
  if (std::strncmp(name, "file:", 5) == 0) {
    switch (SqliteUriReading()) {
      case UriReading::kOn:
        return FromUri(name);
      case UriReading::kUnknown:
        return {Target::kUnknown, {}, false};
      case UriReading::kOff:
        break;
    }
  }
  return FileOrNot(name, true);
}

StoreFile Refused() {
  return {Readiness::kRefused, {}, {}};
}

StoreFile LeftToSqlite() {
  return {Readiness::kLeftToSqlite, {}, {}};
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
    return {Readiness::kMade, file, made};
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
  const Target target = WhatSqliteOpens(name);
  switch (target.kind) {
    case Target::kNoFile:
      return LeftToSqlite();
    case Target::kUnknown:
      return Refused();
    case Target::kFile:
      break;
  }
  return Ready(FullPathname(target.file), target.created);
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
