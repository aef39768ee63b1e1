#include "files/store_file.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

#include "files/sqlite_format.h"

namespace database_interface {

namespace {

// SQLite's own name for a database that is no file.
bool NamesAFile(const char* name) {
  return name[0] != '\0' && std::strcmp(name, ":memory:") != 0 &&
         std::strncmp(name, "file:", 5) != 0;
}

// The longest path SQLite's default layer takes.
size_t LongestPath() {
  const sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
  return vfs == nullptr ? 0 : static_cast<size_t>(vfs->mxPathname);
}

}  // namespace

std::string FullPathname(const std::string& path) {
  sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
  if (vfs == nullptr) {
    return std::string();
  }
  std::string full(static_cast<size_t>(vfs->mxPathname) + 1, '\0');
  const int rc = vfs->xFullPathname(vfs, path.c_str(), vfs->mxPathname + 1, full.data());
  // SQLITE_OK_SYMLINK, a link followed on the way, is a success too.
  if ((rc & 0xff) != SQLITE_OK) {
    return std::string();
  }
  full.resize(std::strlen(full.c_str()));
  return full;
}

bool FilesBesideArePlain(const std::string& file) {
  return std::none_of(
      std::begin(sqlite_format::kFilesBeside), std::end(sqlite_format::kFilesBeside),
      [&file](const char* suffix) { return KindOf(file + suffix) == FileKind::kOther; });
}

bool JournalNamesForeignFile(const std::string& file) {
  const size_t longest = LongestPath();
  const auto tail = ReadPlainBytes(file + sqlite_format::kFilesBeside[0], UINT64_MAX,
                                   longest + sqlite_format::kJournalTrailerBytes, false);
  return tail && sqlite_format::NamesForeignSuperJournal(*tail, longest);
}

StoreFile ReadyStoreFile(const char* name) {
  StoreFile ready;
  if (!NamesAFile(name)) {
    return ready;
  }
  const std::string file = FullPathname(name);
  if (file.empty()) {
    return ready;  // SQLite fails on its own
  }
  const FileKind kind = KindOf(file);
  ready.refused =
      kind == FileKind::kOther || !FilesBesideArePlain(file) || JournalNamesForeignFile(file);
  if (!ready.refused && kind == FileKind::kMissing && CreateOwnerOnlyFile(file, ready.made_id)) {
    ready.made = file;
  }
  return ready;
}

void RemoveMadeFile(const StoreFile& file) {
  if (!file.made.empty()) {
    RemoveIfStillEmpty(file.made, file.made_id);
  }
}

}  // namespace database_interface
