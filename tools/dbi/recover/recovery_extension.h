// What SQLite's recovery extension gets back from a database file's bytes,
// read from memory: no file is opened, so nothing beside one is touched.
// Values come back as they were stored (no column type converts them, no
// constraint drops one), so that a caller can judge every row itself.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_SALVAGE_RECOVERY_H_
#define DATABASE_INTERFACE_TOOLS_DBI_SALVAGE_RECOVERY_H_

#include <cstdint>
#include <string>
#include <vector>

namespace dbi {

// One stored value, with SQLite's storage class.
struct Value {
  enum class Type { kNull, kInteger, kReal, kText, kBlob };
  Type type = Type::kNull;
  int64_t integer = 0;
  double real = 0;
  std::string bytes;  // a text's or a blob's, NUL bytes included
};

using Row = std::vector<Value>;

struct RecoveredTable {
  std::string name;
  std::vector<std::string> columns;
  std::vector<Row> rows;  // in the order the extension found them
};

struct Recovery {
  // The tables of the schema the extension read from the file, in its order,
  // sqlite_sequence among them when it survived.
  std::vector<RecoveredTable> tables;
  // Rows on pages that belong to no table of that schema: columns rootpgno,
  // pgno, nfield, id, then c0, c1, ... for the record's fields.
  RecoveredTable lost_and_found;
  // Rows the extension handed over for a table whose definition could not
  // be taken over (one that runs code when created, for instance).
  int64_t unreadable_rows = 0;
  // Why the extension stopped before it was done, after it had handed over
  // some rows (which are kept here); "" when it finished.
  std::string stopped;
};

// Runs the extension over `bytes`. False, with `error` set to why, when it
// gave up before handing over any row (a file that is no database at all,
// running out of memory, or more work than a file of this size can need,
// which only a schema text crafted to loop makes it do); a damaged file is
// not an error, and a stop after some rows keeps them (`stopped`).
bool RecoverBytes(const std::string& bytes, Recovery& recovery, std::string& error);

// What PRAGMA integrity_check says about `bytes`, one finding a line; the
// reason it could not run is a finding too. Empty when the file is sound.
std::vector<std::string> IntegrityFindings(const std::string& bytes);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_SALVAGE_RECOVERY_H_
