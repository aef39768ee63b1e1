// A store file read whole into memory, without opening it through SQLite,
// so that no journal, lock or WAL file is touched.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_RECOVER_FILE_READ_H_
#define DATABASE_INTERFACE_TOOLS_DBI_RECOVER_FILE_READ_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

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

// The first `count` bytes of the plain file at `path`, opened as above, or
// all it has when it is shorter; none when it cannot be opened or read.
std::optional<std::string> ReadFirstBytes(const std::string& path, size_t count);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_RECOVER_FILE_READ_H_
