#include "reading/integrity.h"

#include <optional>
#include <sstream>

#include "reading/sqlite_statement.h"
#include "reading/tree_walk.h"

namespace dbi {

bool CheckIntegrity(sqlite3* db, Integrity& integrity, std::string& error) {
  const std::optional<std::string> problem = TreeProblem(db, error);
  if (!problem) {
    return false;
  }
  if (!problem->empty()) {
    integrity.trees_sound = false;
    integrity.findings.push_back(*problem + "; the rest was not checked");
    return true;
  }
  std::vector<std::string>& findings = integrity.findings;
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
