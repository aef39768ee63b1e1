#include "files/store_file.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "files/sqlite_format.h"

namespace database_interface {

namespace {

// SQLite's own name for a database that is no file.
bool NamesAFile(const char* name) {
  return name[0] != '\0' && std::strcmp(name, ":memory:") != 0 &&
         std::strncmp(name, "file:", 5) != 0;
}

// The super-journal name the journal at `journal` ends with, up to its
// first NUL as SQLite reads it; empty when it names none. SQLite takes no
// name as long as its longest path or longer than the journal.
std::string SuperJournalName(const std::string& journal) {
  namespace format = sqlite_format;
  const auto trailer = ReadPlainBytes(journal, UINT64_MAX, format::kJournalTrailerBytes, false);
  const uint32_t length = trailer ? format::SuperJournalNameLength(*trailer) : 0;
  const sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
  if (length == 0 || vfs == nullptr || length > static_cast<uint32_t>(vfs->mxPathname)) {
    return std::string();
  }
  const size_t tail_bytes = length + format::kJournalTrailerBytes;
  const auto tail = ReadPlainBytes(journal, UINT64_MAX, tail_bytes, false);
  if (!tail || tail->size() != tail_bytes) {
    return std::string();
  }
  const std::string name = tail->substr(0, length);
  return name.substr(0, name.find('\0'));
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
  const std::string name = SuperJournalName(file + sqlite_format::kFilesBeside[0]);
  return !name.empty() && !sqlite_format::IsSqliteSuperJournalName(name);
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
