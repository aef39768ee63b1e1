// Files read and written whole: a store file read into memory without
// opening it through SQLite (so no journal, lock or WAL file is touched), and
// a new file that appears under its name only once it is complete.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_RECOVER_WHOLE_FILE_H_
#define DATABASE_INTERFACE_TOOLS_DBI_RECOVER_WHOLE_FILE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dbi {

// The most ReadWholeFile reads: a store of this library's holds a few
// megabytes, and a file far beyond that (a sparse one of gigabytes costs
// its owner nothing) would take as much memory again, several times over,
// to salvage.
constexpr uint64_t kLargestFileRead = uint64_t{128} << 20;

// The bytes of the regular file at `path` (one that FindStoreFile found),
// opened without waiting and only if it is a local plain file, as many as
// its size said when opened; none, with `error` set, when it cannot be
// opened or read or is larger than kLargestFileRead.
std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error);

// Whether anything (a file, a folder, a dangling symbolic link) is at `path`.
bool PathTaken(const std::string& path);

enum class Publish { kWritten, kTaken, kFailed };

// Writes `bytes` to a new file `path`, owner-only where the system has file
// modes: first to a temporary file beside it, flushed to the disk, then put
// in place only if nothing is at `path` by then (kTaken otherwise). On any
// failure (kFailed, with `error` set) nothing is left at `path` or beside
// it, nor when the program is ended meanwhile: where the system has files
// without a name (Linux) the temporary has none until it is complete, so
// even SIGKILL leaves nothing; elsewhere it is removed on SIGINT, SIGTERM,
// SIGHUP and SIGQUIT.
Publish PublishNewFile(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_RECOVER_WHOLE_FILE_H_
