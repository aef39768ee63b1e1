// What SQLite's recovery extension gets back from a database file's bytes,
// read from memory: no file is opened, so nothing beside one is touched.
// Values come back as they were stored (no column type converts them, no
// constraint drops one), so that a caller can judge every row itself. The
// rows stay in a scratch database, counted with SQLite's memory, and are
// read back one table at a time.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_RECOVER_RECOVERY_EXTENSION_H_
#define DATABASE_INTERFACE_TOOLS_DBI_RECOVER_RECOVERY_EXTENSION_H_

#include <cstdint>
#include <string>
#include <vector>

#include "reading/sqlite_statement.h"

namespace dbi {

// One stored value, with SQLite's storage class.
struct Value {
  enum class Type { kNull, kInteger, kReal, kText, kBlob };
  Type type = Type::kNull;
  int64_t integer = 0;
  double real = 0;
  std::string bytes;  // a text's or a blob's, NUL bytes included
};

// The values of one recovered row.
using Values = std::vector<Value>;

struct RecoveredTable {
  std::string name;
  std::vector<std::string> columns;
  std::vector<Values> rows;  // in the order the extension found them
};

struct Recovery {
  struct Table {
    std::string name;
    std::vector<std::string> columns;
    // The store's tables and sqlite_sequence have scratch tables of their
    // own; the rows of any other table are kept a field a row in one
    // table, which costs nothing per table and only its own fields per row.
    bool own_table = false;
  };
  // Where the rows landed.
  Connection rows;
  // The tables of the schema the extension read from the file, in its
  // order, sqlite_sequence among them when it survived.
  std::vector<Table> tables;
  // Among them, the table of rows on pages that belong to no table of that
  // schema (columns rootpgno, pgno, nfield, id, then c0, c1, ... for the
  // record's fields); "" when there is none.
  std::string lost_and_found;
  // Rows the extension handed over for a table whose definition could not
  // be taken over (one that runs code when created, for instance).
  int64_t unreadable_rows = 0;
  // Why the extension stopped before it was done, after it had handed over
  // some rows (which are kept); "" when it finished.
  std::string stopped;
};

// Runs the extension over `bytes`. False,
// with `error` set to why, when it gave up before handing over any row (a
// file that is no database at all, running out of memory, or more work than
// the budget allows, which only a schema text crafted to loop makes it do);
// a damaged file is not an error, and a stop after some rows keeps them.
bool RecoverBytes(const std::string& bytes, Recovery& recovery, std::string& error);

// The rows of `table`, one of `recovery.tables`, each with as many fields
// as the extension found (a lost-and-found row its own, not the widest's).
// False with `error` set when they cannot be read.
bool ReadRecoveredTable(const Recovery& recovery, const Recovery::Table& table,
                        RecoveredTable& rows, std::string& error);

// What PRAGMA integrity_check says about `bytes`, one finding a line; the
// reason it could not run is a finding too. Empty when the file is sound.
std::vector<std::string> IntegrityFindings(const std::string& bytes);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_RECOVER_RECOVERY_EXTENSION_H_
