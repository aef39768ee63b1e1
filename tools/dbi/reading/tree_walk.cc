#include "reading/tree_walk.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include "files/sqlite_format.h"
#include "reading/sqlite_statement.h"

namespace dbi {

namespace {

namespace format = database_interface::sqlite_format;

// The pages an interior b-tree page points at, as SQLite would descend into
// them (a cell pointer off the page leads nowhere); none for any other page.
std::vector<uint32_t> Children(uint32_t number, std::string_view page) {
  const size_t header = number == 1 ? format::kHeaderBytes : 0;
  std::vector<uint32_t> children;
  if (page.size() < header + format::kInteriorHeaderBytes ||
      !format::IsInteriorPage(static_cast<unsigned char>(page[header]))) {
    return children;
  }
  const size_t cells = format::ReadBigEndian<2>(page, header + format::kCellCountOffset);
  const size_t first = header + format::kInteriorHeaderBytes;
  for (size_t pointer = first; pointer < first + 2 * cells && pointer + 2 <= page.size();
       pointer += 2) {
    const size_t cell = format::ReadBigEndian<2>(page, pointer);
    if (cell + 4 <= page.size()) {
      children.push_back(format::ReadBigEndian<4>(page, cell));
    }
  }
  children.push_back(format::ReadBigEndian<4>(page, header + format::kRightChildOffset));
  return children;
}

class TreeWalk {
 public:
  TreeWalk(sqlite3* db, uint32_t page_count) : db_(db), reached_(page_count + size_t{1}) {}

  // Follows the tree from `root`: false with `error` set when a page cannot
  // be read; `problem_` then says what is wrong, if anything.
  bool From(uint32_t root, std::string& error) {
    root_ = root;
    if (!Reach(root, error)) {
      return false;
    }
    while (!path_.empty() && problem_.empty()) {
      Step& step = path_.back();
      if (step.next == step.children.size()) {
        path_.pop_back();
      } else if (!Reach(step.children[step.next++], error)) {
        return false;
      }
    }
    path_.clear();
    return true;
  }

  bool Prepare(std::string& error) {
    read_ = dbi::Prepare(db_, "SELECT data FROM sqlite_dbpage('main') WHERE pgno = ?", error);
    return read_ != nullptr;
  }

  const std::string& problem() const { return problem_; }

 private:
  struct Step {
    std::vector<uint32_t> children;
    size_t next = 0;
  };

  // Enters `page` below the path; a page beyond the file is SQLite's check's
  // to report, without reading it.
  bool Reach(uint32_t page, std::string& error) {
    if (page == 0 || page >= reached_.size()) {
      return true;
    }
    if (reached_[page]) {
      problem_ = "b-tree page " + std::to_string(page) +
                 " is reached twice (two parents share it, or it is below itself)";
      return true;
    }
    reached_[page] = true;
    if (path_.size() >= static_cast<size_t>(kDeepestTree)) {
      problem_ = "the b-tree from page " + std::to_string(root_) + " is deeper than " +
                 std::to_string(kDeepestTree) + " levels";
      return true;
    }
    (void)sqlite3_reset(read_.get());
    (void)sqlite3_bind_int64(read_.get(), 1, page);
    std::vector<uint32_t> children;
    const int rc = EachRow(read_.get(), [&](sqlite3_stmt* row) {
      const auto* data = static_cast<const char*>(sqlite3_column_blob(row, 0));
      const auto size = static_cast<size_t>(sqlite3_column_bytes(row, 0));
      children =
          Children(page, data == nullptr ? std::string_view() : std::string_view(data, size));
    });
    if (rc != SQLITE_DONE) {
      error = sqlite3_errmsg(db_);
      return false;
    }
    if (!children.empty()) {
      path_.push_back({std::move(children), 0});
    }
    return true;
  }

  sqlite3* db_;
  Statement read_;
  std::vector<bool> reached_;  // by page number
  std::vector<Step> path_;     // from the root down to the page being read
  uint32_t root_ = 0;
  std::string problem_;
};

}  // namespace

std::optional<std::string> TreeProblem(sqlite3* db, std::string& error) {
  int64_t page_count = 0;
  std::vector<uint32_t> roots = {1};
  if (!EachRow(
          db, "PRAGMA page_count",
          [&](sqlite3_stmt* row) { page_count = sqlite3_column_int64(row, 0); }, error) ||
      !EachRow(
          db, "SELECT rootpage FROM sqlite_schema WHERE rootpage > 1",
          [&](sqlite3_stmt* row) {
            roots.push_back(static_cast<uint32_t>(sqlite3_column_int64(row, 0)));
          },
          error)) {
    return std::nullopt;
  }
  TreeWalk walk(db, static_cast<uint32_t>(page_count));
  if (!walk.Prepare(error)) {
    return std::nullopt;
  }
  for (size_t i = 0; i < roots.size() && walk.problem().empty(); ++i) {
    if (!walk.From(roots[i], error)) {
      return std::nullopt;
    }
  }
  return walk.problem();
}

}  // namespace dbi
