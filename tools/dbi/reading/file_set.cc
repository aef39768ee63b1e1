#include "reading/file_set.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

#include "files/plain_file.h"
#include "files/sqlite_format.h"
#include "files/store_file.h"
#include "recover/file_read.h"

namespace dbi {

namespace {

namespace fs = std::filesystem;
namespace format = database_interface::sqlite_format;
using database_interface::FileKind;

bool HasWalHeader(const std::string& path) {
  const std::optional<std::string> header = ReadFirstBytes(path, format::kWalHeaderBytes);
  return header && header->size() == format::kWalHeaderBytes && format::HasWalMagic(*header);
}

bool IsThere(const std::string& path) {
  return database_interface::KindOf(path) == FileKind::kRegular;
}

}  // namespace

std::optional<FileSet> FindStoreFile(const std::string& file, std::string& error) {
  // The name SQLite will open, links followed as it follows them.
  const std::string path = database_interface::FullPathname(file);
  std::error_code failure;
  const fs::file_type type = fs::symlink_status(path, failure).type();
  if (path.empty() || type == fs::file_type::not_found) {
    std::error_code ignored;
    error = fs::is_symlink(fs::symlink_status(file, ignored)) ? "a symbolic link to nothing"
                                                              : "no such file";
    return std::nullopt;
  }
  if (type == fs::file_type::directory) {
    error = "is a folder, not a store file";
    return std::nullopt;
  }
  // The kind is the opened file's own, looked at without waiting: a
  // /proc file is regular by its name's kind, and reading it can block.
  if (type != fs::file_type::regular || !ReadFirstBytes(path, 0)) {
    error =
        "is not a regular file on a local file system (a FIFO, socket or device, or a file of "
        "the kernel's or of another machine's), which a reader could wait on forever";
    return std::nullopt;
  }
  FileSet set;
  set.path = path;
  set.bytes = fs::file_size(path, failure);
  return set;
}

std::optional<FileSet> FindFileSet(const std::string& file, std::string& error) {
  std::optional<FileSet> set = FindStoreFile(file, error);
  bool journal = false;
  if (set && !database_interface::FilesBesideArePlain(set->path, journal)) {
    error =
        "a -journal, -wal or -shm beside it is not a regular file (a link, folder, FIFO or "
        "device), which SQLite would open";
    return std::nullopt;
  }
  if (set) {
    set->journal = journal;
    set->wal = IsThere(set->path + "-wal");
    set->shm = IsThere(set->path + "-shm");
    std::error_code ignored;
    set->wal_bytes = set->wal ? fs::file_size(set->path + "-wal", ignored) : 0;
  }
  return set;
}

std::string ReadOnlyParameters(const FileSet& set, std::string& error) {
  if (!set.journal && !set.wal) {
    // A reader takes the file's lock, so that a writer that starts meanwhile
    // cannot show it half written. In WAL mode it would create the -wal
    // first; as nothing is beside the file, the file holds everything and
    // is read as immutable instead.
    const std::optional<std::string> header = ReadFirstBytes(set.path, format::kHeaderBytes);
    return header && format::HeaderSaysWal(*header) ? "mode=ro&immutable=1"
                                                    : "mode=ro&readonly_shm=1";
  }
  if (set.bytes < format::kHeaderBytes) {
    // SQLite deletes the journal or the -wal of a file with no pages.
    error = std::string("is shorter than a database header, with a ") +
            (set.wal ? "-wal" : "-journal") + " beside it that reading would delete";
    return "";
  }
  if (set.wal && !HasWalHeader(set.path + "-wal")) {
    error = "its -wal holds no WAL header, so it cannot be read without being rewritten";
    return "";
  }
  if (set.wal && !set.shm) {
    error =
        "in WAL mode with a -wal file but no -shm file: reading it would create the -shm file "
        "beside it (opening it with the library or sqlite3 recovers it)";
    return "";
  }
  // A hot journal is then found and refused (a read-only connection cannot
  // roll it back); a -wal is read through the -shm, opened read-only.
  return "mode=ro&readonly_shm=1";
}

}  // namespace dbi
