// Files read and written whole: a store file read into memory without
// opening it through SQLite (so no journal, lock or WAL file is touched), and
// a new file that appears under its name only once it is complete.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_WHOLE_FILE_H_
#define DATABASE_INTERFACE_TOOLS_DBI_WHOLE_FILE_H_

#include <optional>
#include <string>

namespace dbi {

// The bytes of the regular file at `path` (one that FindStoreFile found:
// anything else could block or read forever); none, with `error` set, when
// it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error);

// Whether anything (a file, a folder, a dangling symbolic link) is at `path`.
bool PathTaken(const std::string& path);

enum class Publish { kWritten, kTaken, kFailed };

// Writes `bytes` to a new file `path`, owner-only where the system has file
// modes: first to a temporary file beside it, flushed to the disk, then put
// in place only if nothing is at `path` by then (kTaken otherwise). On any
// failure (kFailed, with `error` set) nothing is left at `path` or beside it.
Publish PublishNewFile(const std::string& path, const std::string& bytes, std::string& error);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_WHOLE_FILE_H_
