#include "reading/file_set.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "files/plain_file.h"
#include "salvage/first_page.h"

namespace dbi {

namespace {

namespace fs = std::filesystem;

constexpr size_t kWalHeaderBytes = 32;

uint32_t BigEndian32(const unsigned char* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         uint32_t{bytes[3]};
}

// Whether a -journal, -wal or -shm is there: an error when it is something
// SQLite should not be given.
bool Companion(const std::string& path, const char* suffix, std::string& error) {
  std::error_code ignored;
  const fs::file_type type = fs::symlink_status(path + suffix, ignored).type();
  if (type == fs::file_type::not_found) {
    return false;
  }
  if (type != fs::file_type::regular) {
    error = std::string("its ") + suffix +
            " is not a regular file (a link, folder, FIFO or device), which SQLite would open";
  }
  return true;
}

// Up to `count` bytes of a regular file from `offset`, or its last `count`
// bytes when `offset` is past them; none when it cannot be read.
std::optional<std::string> Bytes(const std::string& path, uintmax_t offset, size_t count) {
  return database_interface::ReadPlainBytes(path, offset, count, /*local_only=*/true);
}

bool HasWalHeader(const std::string& path) {
  const std::optional<std::string> header = Bytes(path, 0, kWalHeaderBytes);
  if (!header || header->size() < kWalHeaderBytes) {
    return false;
  }
  const uint32_t magic = BigEndian32(reinterpret_cast<const unsigned char*>(header->data()));
  return magic == 0x377f0682 || magic == 0x377f0683;
}

}  // namespace

std::optional<FileSet> FindStoreFile(const std::string& file, std::string& error) {
  std::error_code failure;
  const fs::path resolved = fs::canonical(file, failure);
  if (failure) {
    std::error_code ignored;
    error = fs::is_symlink(fs::symlink_status(file, ignored)) ? "a symbolic link to nothing"
            : failure == std::errc::no_such_file_or_directory ? "no such file"
                                                              : failure.message();
    return std::nullopt;
  }
  const fs::file_type type = fs::symlink_status(resolved, failure).type();
  if (type == fs::file_type::directory) {
    error = "is a folder, not a store file";
    return std::nullopt;
  }
  // The kind is the opened file's own, looked at without waiting: a
  // /proc file is regular by its name's kind, and reading it can block.
  if (type != fs::file_type::regular ||
      !database_interface::IsPlainFile(resolved.string(), /*local_only=*/true)) {
    error =
        "is not a regular file on a local file system (a FIFO, socket or device, or a file of "
        "the kernel's or of another machine's), which a reader could wait on forever";
    return std::nullopt;
  }
  FileSet set;
  set.path = resolved.string();
  set.bytes = fs::file_size(resolved, failure);
  return set;
}

std::optional<FileSet> FindFileSet(const std::string& file, std::string& error) {
  std::optional<FileSet> set = FindStoreFile(file, error);
  std::string refusal;
  if (set) {
    set->journal = Companion(set->path, "-journal", refusal);
    set->wal = Companion(set->path, "-wal", refusal);
    set->shm = Companion(set->path, "-shm", refusal);
  }
  if (!refusal.empty()) {
    error = refusal;
    return std::nullopt;
  }
  return set;
}

std::string ReadOnlyParameters(const FileSet& set, std::string& error) {
  if (!set.journal && !set.wal) {
    // A reader takes the file's lock, so that a writer that starts meanwhile
    // cannot show it half written. In WAL mode it would create the -wal
    // first; as nothing is beside the file, the file holds everything and
    // is read as immutable instead.
    const std::optional<std::string> header = Bytes(set.path, 0, kDatabaseHeaderBytes);
    return header && HeaderSaysWal(*header) ? "mode=ro&immutable=1" : "mode=ro&readonly_shm=1";
  }
  if (set.bytes < kDatabaseHeaderBytes) {
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
