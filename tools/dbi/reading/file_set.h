// A store file as SQLite finds it: the file its name leads to in the end,
// and the -journal, -wal and -shm files that SQLite looks for beside it. A
// file set may come from a stranger, so it is judged from the outside first
// (names, kinds and sizes, never by opening a file that could block), and
// only a set that SQLite can read without creating, writing or deleting a
// file is handed to it.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_READING_FILE_SET_H_
#define DATABASE_INTERFACE_TOOLS_DBI_READING_FILE_SET_H_

#include <cstdint>
#include <optional>
#include <string>

namespace dbi {

struct FileSet {
  std::string path;  // every symbolic link resolved, as SQLite resolves them
  uintmax_t bytes = 0;
  bool journal = false;  // a -journal beside it
  bool wal = false;      // a -wal beside it
  bool shm = false;      // a -shm beside it
  uintmax_t wal_bytes = 0;

  // What SQLite may read of the set: the file and its -wal.
  uint64_t bytes_read() const { return bytes + wal_bytes; }
};

// The regular file that `file` names in the end: none, with `error` set,
// when there is nothing there or something else (a folder, a FIFO, a
// device), which SQLite would fail on or block on.
std::optional<FileSet> FindStoreFile(const std::string& file, std::string& error);

// FindStoreFile, and then every -journal, -wal and -shm beside the file must
// be a regular file too (a symbolic link is not), by the store's own rule:
// SQLite opens them by name, and a FIFO among them would block it.
std::optional<FileSet> FindFileSet(const std::string& file, std::string& error);

// The URI parameters under which SQLite reads `set` through the read-only
// file-system layer without touching a file; "" with `error` set when there
// are none. What exists beside the file decides first, since SQLite looks
// for a hot journal and opens a -wal whatever the header says; the header
// only when nothing is there.
std::string ReadOnlyParameters(const FileSet& set, std::string& error);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_READING_FILE_SET_H_
