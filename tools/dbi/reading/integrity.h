// PRAGMA integrity_check, read the one way both check and recover need.
// SQLite descends every b-tree recursively while it checks, so a crafted
// file whose tree is thousands of levels deep would overflow the stack of
// any thread: the trees are first followed here, without recursion, and a
// file whose trees go deeper than kDeepestTree (or loop) is not handed to
// the pragma at all. Its finding says so instead.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_READING_INTEGRITY_H_
#define DATABASE_INTERFACE_TOOLS_DBI_READING_INTEGRITY_H_

#include <sqlite3.h>

#include <string>
#include <vector>

namespace dbi {

// SQLite's own cursors read no b-tree deeper than 20 levels, so no sound
// file comes near this; a check descending this far uses a few hundred
// kilobytes of stack at most.
constexpr int kDeepestTree = 64;

// Appends to `findings` what the check says of the main database of `db`,
// one finding a line, nothing when it is sound. False, with `error` set to
// SQLite's message, when the file cannot be read at all (SQLite's error
// code then stays on `db` for the caller to look at).
bool CheckIntegrity(sqlite3* db, std::vector<std::string>& findings, std::string& error);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_READING_INTEGRITY_H_
