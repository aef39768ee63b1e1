#include "integrity.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <sstream>
#include <utility>

namespace dbi {

namespace {

using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

Statement Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* stmt = nullptr;
  (void)sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
  return Statement(stmt, &sqlite3_finalize);
}

uint32_t BigEndian(const unsigned char* bytes, size_t size) {
  uint32_t value = 0;
  for (size_t i = 0; i < size; ++i) {
    value = (value << 8) | bytes[i];
  }
  return value;
}

// The pages an interior b-tree page points at, as SQLite's check would
// descend into them (a cell pointer off the page leads nowhere); none for
// any other page.
std::vector<uint32_t> Children(const unsigned char* page, size_t size, uint32_t number) {
  const size_t header = number == 1 ? 100 : 0;  // page 1 starts with the file's header
  std::vector<uint32_t> children;
  if (size < header + 12 || (page[header] != 0x02 && page[header] != 0x05)) {
    return children;
  }
  const uint32_t cells = BigEndian(page + header + 3, 2);
  for (uint32_t i = 0; i < cells && header + 12 + 2 * i + 2 <= size; ++i) {
    const uint32_t cell = BigEndian(page + header + 12 + 2 * i, 2);
    if (cell + 4 <= size) {
      children.push_back(BigEndian(page + cell, 4));
    }
  }
  children.push_back(BigEndian(page + header + 8, 4));
  return children;
}

// The children of every interior page, read one page at a time.
bool ReadTreePages(sqlite3* db, std::vector<std::vector<uint32_t>>& pages, std::string& error) {
  const Statement stmt = Prepare(db, "SELECT pgno, data FROM sqlite_dbpage('main')");
  int rc = stmt ? SQLITE_ROW : sqlite3_errcode(db);
  while (stmt && (rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    const auto number = static_cast<uint32_t>(sqlite3_column_int64(stmt.get(), 0));
    const auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(stmt.get(), 1));
    const auto size = static_cast<size_t>(sqlite3_column_bytes(stmt.get(), 1));
    if (pages.size() <= number) {
      pages.resize(number + 1);
    }
    if (data != nullptr) {
      pages[number] = Children(data, size, number);
    }
  }
  if (rc != SQLITE_DONE) {
    error = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

// Page 1, which holds the schema, and every root page the schema names.
bool ReadRoots(sqlite3* db, std::vector<uint32_t>& roots, std::string& error) {
  roots.assign(1, 1);
  const Statement stmt = Prepare(db, "SELECT rootpage FROM sqlite_schema WHERE rootpage > 1");
  int rc = stmt ? SQLITE_ROW : sqlite3_errcode(db);
  while (stmt && (rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    roots.push_back(static_cast<uint32_t>(sqlite3_column_int64(stmt.get(), 0)));
  }
  if (rc != SQLITE_DONE) {
    error = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

// "" when no path down the trees from `roots` is longer than kDeepestTree
// pages and none comes back to a page on it; else what there is. Each page
// is followed once: the depth below it is kept, so a page that two parents
// share costs nothing more.
std::string TreeTooDeep(const std::vector<std::vector<uint32_t>>& pages,
                        const std::vector<uint32_t>& roots) {
  constexpr int kUnseen = -1, kOnPath = -2;
  std::vector<int> below(pages.size(), kUnseen);  // levels under a page once followed
  struct Step {
    uint32_t page;
    size_t next_child;
  };
  for (const uint32_t root : roots) {
    if (root >= pages.size() || below[root] != kUnseen) {
      continue;
    }
    std::vector<Step> path{{root, 0}};
    below[root] = kOnPath;
    while (!path.empty()) {
      Step& step = path.back();
      const std::vector<uint32_t>& children = pages[step.page];
      if (step.next_child == children.size()) {
        int deepest = 0;
        for (const uint32_t child : children) {
          deepest = std::max(deepest, child < pages.size() ? below[child] + 1 : 0);
        }
        below[step.page] = deepest;
        path.pop_back();
        continue;
      }
      const uint32_t child = children[step.next_child++];
      if (child == 0 || child >= pages.size()) {
        continue;
      }
      if (below[child] == kOnPath) {
        return "page " + std::to_string(child) + " is a b-tree page below itself";
      }
      // The levels down to the child and, once followed, below it.
      if (path.size() + 1 + static_cast<size_t>(std::max(below[child], 0)) >
          static_cast<size_t>(kDeepestTree)) {
        return "the b-tree from page " + std::to_string(root) + " is deeper than " +
               std::to_string(kDeepestTree) + " levels";
      }
      if (below[child] == kUnseen) {
        below[child] = kOnPath;
        path.push_back({child, 0});
      }
    }
  }
  return "";
}

}  // namespace

bool CheckIntegrity(sqlite3* db, std::vector<std::string>& findings, std::string& error) {
  std::vector<std::vector<uint32_t>> pages;
  std::vector<uint32_t> roots;
  if (!ReadTreePages(db, pages, error) || !ReadRoots(db, roots, error)) {
    return false;
  }
  const std::string too_deep = TreeTooDeep(pages, roots);
  if (!too_deep.empty()) {
    findings.push_back(too_deep + ", which no reader can follow; the rest was not checked");
    return true;
  }
  const Statement stmt = Prepare(db, "PRAGMA integrity_check");
  int rc = stmt ? SQLITE_ROW : sqlite3_errcode(db);
  while (stmt && (rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    // A row may hold several lines under a "*** in database" heading.
    const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
    std::istringstream lines(text == nullptr ? "" : reinterpret_cast<const char*>(text));
    for (std::string line; std::getline(lines, line);) {
      if (line != "ok" && !line.empty() && line.rfind("*** ", 0) != 0) {
        findings.push_back(line);
      }
    }
  }
  if (rc != SQLITE_DONE) {
    error = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

}  // namespace dbi
