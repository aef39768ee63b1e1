// PRAGMA integrity_check, read the one way both check and recover need.
// SQLite's check descends every b-tree recursively and trusts its pages'
// child pointers, so the trees are walked first (tree_walk.h), and a file
// whose trees are not trees is not handed to the pragma at all: its
// finding says so instead.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_READING_INTEGRITY_H_
#define DATABASE_INTERFACE_TOOLS_DBI_READING_INTEGRITY_H_

#include <sqlite3.h>

#include <string>
#include <vector>

namespace dbi {

struct Integrity {
  // Whether the trees are trees: when not, their problem is the only
  // finding, and nothing may scan the file.
  bool trees_sound = true;
  std::vector<std::string> findings;  // one a line, none when the file is sound
};

// What the check says of the main database of `db`. False, with `error`
// set to SQLite's message, when the file cannot be read at all (SQLite's
// error code then stays on `db` for the caller to look at).
bool CheckIntegrity(sqlite3* db, Integrity& integrity, std::string& error);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_READING_INTEGRITY_H_
