// The shape of a file's b-trees, followed by hand before SQLite scans them.
// SQLite trusts the child pointers of interior pages: one that names a page
// above it makes its integrity check recurse off the stack, and interior
// pages that all name one child make every scan read that child's rows
// FANOUT^LEVELS times, from a file of a few pages. Each page is read once
// and the trees followed without recursion, so the walk costs the file's
// pages, and a file whose trees are not trees is not scanned at all.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_READING_TREE_WALK_H_
#define DATABASE_INTERFACE_TOOLS_DBI_READING_TREE_WALK_H_

#include <sqlite3.h>

#include <optional>
#include <string>

namespace dbi {

// SQLite's own cursors read no b-tree deeper than 20 levels, so no sound
// file comes near this; a check descending this far uses a few hundred
// kilobytes of stack at most.
constexpr int kDeepestTree = 64;

// What is wrong with the trees of the main database of `db`, from page 1
// and every root page its schema names: a page reached twice (shared by two
// parents, or below itself) or a tree deeper than kDeepestTree; "" when
// they are trees. None, with SQLite's message in `error` (and its code left
// on `db`), when the pages cannot be read.
std::optional<std::string> TreeProblem(sqlite3* db, std::string& error);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_READING_TREE_WALK_H_
