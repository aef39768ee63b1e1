#include "store_file.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "private_file.h"

namespace database_interface {

namespace {

// What SQLite opens for a name.
struct Target {
  enum Kind {
    kNoFile,  // in memory, temporary, or a name SQLite may read as a URI
    kFile,    // the file named `file`
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

// SQLite may read a name starting "file:" as a URI, which names another
// file: creating one under the text itself would leave a stray empty file.
Target WhatSqliteOpens(const char* name) {
  if (std::strncmp(name, "file:", 5) == 0) {
    return {Target::kNoFile, {}, false};
  }
  return FileOrNot(name, true);
}

StoreFile Refused() {
  return {Readiness::kRefused, {}};
}

StoreFile LeftToSqlite() {
  return {Readiness::kLeftToSqlite, {}};
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
  if (file.empty() || OddFileBeside(file)) {
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
  if (CreatePrivateFile(file)) {
    return {Readiness::kMade, file};
  }
  // Someone else may have just made it; otherwise it cannot be made here.
  return KindOf(file) == FileKind::kRegular ? LeftToSqlite() : Refused();
}

}  // namespace

StoreFile ReadyStoreFile(const char* name) {
  if (!FilesHaveModes()) {
    return LeftToSqlite();
  }
  const Target target = WhatSqliteOpens(name);
  if (target.kind == Target::kNoFile) {
    return LeftToSqlite();
  }
  return Ready(FullPathname(target.file), target.created);
}

void RemoveMadeFileIfEmpty(const StoreFile& file) {
  if (file.readiness == Readiness::kMade) {
    RemovePrivateFileIfEmpty(file.made);
  }
}

}  // namespace database_interface
