#include "files/store_file.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "files/plain_file.h"
#include "files/sqlite_format.h"

namespace database_interface {

namespace {

// SQLite's own name for a database that is no file.
bool NamesAFile(const char* name) {
  return name[0] != '\0' && std::strcmp(name, ":memory:") != 0 &&
         std::strncmp(name, "file:", 5) != 0;
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

bool FilesBesideArePlain(const std::string& file, bool& journal) {
  FileKind kinds[std::size(sqlite_format::kFilesBeside)] = {};
  std::transform(std::begin(sqlite_format::kFilesBeside), std::end(sqlite_format::kFilesBeside),
                 kinds, [&file](const char* suffix) { return KindOf(file + suffix); });
  journal = kinds[0] == FileKind::kRegular;
  return std::find(std::begin(kinds), std::end(kinds), FileKind::kOther) == std::end(kinds);
}

bool OpenJournalNamesForeignFile(const sqlite3_vfs& vfs, sqlite3_file* journal) {
  sqlite3_int64 size = 0;
  if (journal->pMethods == nullptr || journal->pMethods->xFileSize(journal, &size) != SQLITE_OK) {
    return false;
  }
  // SQLite takes no super-journal name longer than its longest path.
  const auto longest = static_cast<size_t>(vfs.mxPathname);
  const auto tail_bytes = std::min<sqlite3_int64>(
      size, static_cast<sqlite3_int64>(longest + sqlite_format::kJournalTrailerBytes));
  std::string tail(static_cast<size_t>(tail_bytes), '\0');
  return journal->pMethods->xRead(journal, tail.data(), static_cast<int>(tail.size()),
                                  size - tail_bytes) == SQLITE_OK &&
         sqlite_format::NamesForeignSuperJournal(tail, longest);
}

bool JournalNamesForeignFile(const std::string& file) {
  const std::string journal_name = file + sqlite_format::kFilesBeside[0];
  sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
  // Read through SQLite's own layer, as the rollback will read it.
  if (vfs == nullptr) {
    return false;
  }
  // Zeroed, and aligned as SQLite aligns the files it allocates.
  std::vector<sqlite3_int64> space((static_cast<size_t>(vfs->szOsFile) + 7) / 8);
  auto* journal = reinterpret_cast<sqlite3_file*>(space.data());
  // Opened as the super-journal a rollback reads is: read-only, and not
  // judged again by a layer that judges main journals.
  const bool foreign =
      vfs->xOpen(vfs, journal_name.c_str(), journal,
                 SQLITE_OPEN_READONLY | SQLITE_OPEN_SUPER_JOURNAL, nullptr) == SQLITE_OK &&
      OpenJournalNamesForeignFile(*vfs, journal);
  if (journal->pMethods != nullptr) {
    journal->pMethods->xClose(journal);
  }
  return foreign;
}

StoreFile ReadyStoreFile(const char* name) {
  StoreFile ready;
  if (!NamesAFile(name)) {
    return ready;
  }
  // A regular file named with no "..": the full name SQLite makes, looking
  // at every folder on the way, leads to it and to the same files beside
  // it. Any other name is looked at where SQLite will look.
  std::string file = name;
  FileKind kind = std::strstr(name, "..") == nullptr ? KindOf(file) : FileKind::kMissing;
  if (kind != FileKind::kRegular) {
    file = FullPathname(name);
    if (file.empty()) {
      return ready;  // SQLite fails on its own
    }
    kind = KindOf(file);
  }
  bool journal = false;
  ready.refused = kind == FileKind::kOther || !FilesBesideArePlain(file, journal) ||
                  (journal && JournalNamesForeignFile(file));
  if (!ready.refused && kind == FileKind::kMissing && CreateOwnerOnlyFile(file)) {
    ready.made = file;
  }
  return ready;
}

void RemoveMadeFile(const StoreFile& file) {
  RemoveIfStillEmpty(file.made);  // none at an empty name
}

}  // namespace database_interface
