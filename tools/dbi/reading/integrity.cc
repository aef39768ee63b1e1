#include "reading/integrity.h"

#include "reading/sqlite_statement.h"

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <utility>

namespace dbi {

namespace {

// Runs `sql`, handing each row to `on_row`: false, with `error` set to
// SQLite's message, when it fails.
template <typename OnRow>
bool EachRow(sqlite3* db, const char* sql, const OnRow& on_row, std::string& error) {
  const Statement stmt = Prepare(db, sql, error);
  if (!stmt) {
    return false;
  }
  int rc = SQLITE_OK;
  while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    on_row(stmt.get());
  }
  if (rc != SQLITE_DONE) {
    error = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

uint32_t BigEndian(const unsigned char* bytes, size_t size) {
  uint32_t value = 0;
  for (size_t i = 0; i < size; ++i) {
    value = (value << 8) | bytes[i];
  }
  return value;
}

// One page of the file as sqlite_dbpage hands it over.
struct Page {
  uint32_t number;
  const unsigned char* bytes;
  size_t size;
};

// The pages an interior b-tree page points at, as SQLite's check would
// descend into them (a cell pointer off the page leads nowhere); none for
// any other page.
std::vector<uint32_t> Children(const Page& page) {
  const size_t header = page.number == 1 ? 100 : 0;  // page 1 starts with the file's header
  std::vector<uint32_t> children;
  const unsigned char* bytes = page.bytes;
  if (page.size < header + 12 || (bytes[header] != 0x02 && bytes[header] != 0x05)) {
    return children;
  }
  const size_t cells = BigEndian(bytes + header + 3, 2);
  for (size_t pointer = header + 12; pointer < header + 12 + 2 * cells && pointer + 2 <= page.size;
       pointer += 2) {
    const size_t cell = BigEndian(bytes + pointer, 2);
    if (cell + 4 <= page.size) {
      children.push_back(BigEndian(bytes + cell, 4));
    }
  }
  children.push_back(BigEndian(bytes + header + 8, 4));
  return children;
}

// The children of every interior page, read one page at a time.
bool ReadTreePages(sqlite3* db, std::vector<std::vector<uint32_t>>& pages, std::string& error) {
  return EachRow(
      db, "SELECT pgno, data FROM sqlite_dbpage('main')",
      [&pages](sqlite3_stmt* row) {
        const auto number = static_cast<uint32_t>(sqlite3_column_int64(row, 0));
        const auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(row, 1));
        const auto size = static_cast<size_t>(sqlite3_column_bytes(row, 1));
        if (pages.size() <= number) {
          pages.resize(number + 1);
        }
        if (data != nullptr) {
          pages[number] = Children({number, data, size});
        }
      },
      error);
}

// Page 1, which holds the schema, and every root page the schema names.
bool ReadRoots(sqlite3* db, std::vector<uint32_t>& roots, std::string& error) {
  roots.assign(1, 1);
  return EachRow(
      db, "SELECT rootpage FROM sqlite_schema WHERE rootpage > 1",
      [&roots](sqlite3_stmt* row) {
        roots.push_back(static_cast<uint32_t>(sqlite3_column_int64(row, 0)));
      },
      error);
}

// Follows the trees down from their roots, without recursion: "" when no
// path is longer than kDeepestTree pages and none comes back to a page on
// it, else what there is. Each page is followed once and the depth below
// it kept, so a page that two parents share costs nothing more.
class TreeWalk {
 public:
  explicit TreeWalk(const std::vector<std::vector<uint32_t>>& pages)
      : pages_(pages), below_(pages.size(), kUnseen) {}

  std::string From(uint32_t root) {
    if (root >= pages_.size() || below_[root] != kUnseen) {
      return "";
    }
    root_ = root;
    Enter(root);
    while (!path_.empty()) {
      Step& step = path_.back();
      const std::vector<uint32_t>& children = pages_[step.page];
      if (step.next_child == children.size()) {
        Leave(step.page);
        continue;
      }
      std::string problem = Visit(children[step.next_child++]);
      if (!problem.empty()) {
        return problem;
      }
    }
    return "";
  }

 private:
  static constexpr int kUnseen = -1;
  static constexpr int kOnPath = -2;
  struct Step {
    uint32_t page;
    size_t next_child;
  };

  void Enter(uint32_t page) {
    below_[page] = kOnPath;
    path_.push_back({page, 0});
  }

  void Leave(uint32_t page) {
    int deepest = 0;
    for (const uint32_t child : pages_[page]) {
      deepest = std::max(deepest, child < below_.size() ? below_[child] + 1 : 0);
    }
    below_[page] = deepest;
    path_.pop_back();
  }

  std::string Visit(uint32_t child) {
    if (child == 0 || child >= pages_.size()) {
      return "";  // SQLite's check reports such a page without reading it
    }
    if (below_[child] == kOnPath) {
      return "page " + std::to_string(child) + " is a b-tree page below itself";
    }
    // The levels down to the child and, once followed, below it.
    if (path_.size() + 1 + static_cast<size_t>(std::max(below_[child], 0)) >
        static_cast<size_t>(kDeepestTree)) {
      return "the b-tree from page " + std::to_string(root_) + " is deeper than " +
             std::to_string(kDeepestTree) + " levels";
    }
    if (below_[child] == kUnseen) {
      Enter(child);
    }
    return "";
  }

  const std::vector<std::vector<uint32_t>>& pages_;
  std::vector<int> below_;  // levels under a page once followed
  std::vector<Step> path_;
  uint32_t root_ = 0;
};

}  // namespace

bool CheckIntegrity(sqlite3* db, std::vector<std::string>& findings, std::string& error) {
  std::vector<std::vector<uint32_t>> pages;
  std::vector<uint32_t> roots;
  if (!ReadTreePages(db, pages, error) || !ReadRoots(db, roots, error)) {
    return false;
  }
  TreeWalk walk(pages);
  std::string too_deep;
  for (size_t i = 0; i < roots.size() && too_deep.empty(); ++i) {
    too_deep = walk.From(roots[i]);
  }
  if (!too_deep.empty()) {
    findings.push_back(too_deep + ", which no reader can follow; the rest was not checked");
    return true;
  }
  return EachRow(
      db, "PRAGMA integrity_check",
      [&findings](sqlite3_stmt* row) {
        // A row may hold several lines under a "*** in database" heading.
        const unsigned char* text = sqlite3_column_text(row, 0);
        std::istringstream lines(text == nullptr ? "" : reinterpret_cast<const char*>(text));
        for (std::string line; std::getline(lines, line);) {
          if (line != "ok" && !line.empty() && line.rfind("*** ", 0) != 0) {
            findings.push_back(line);
          }
        }
      },
      error);
}

}  // namespace dbi
