// A store file seen through a read-only SQLite connection: what it holds,
// what opening it with the library would do to it, and how healthy it is.
// Nothing here writes to the file, and a missing file is never created.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_READING_STORE_READER_H_
#define DATABASE_INTERFACE_TOOLS_DBI_READING_STORE_READER_H_

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "reading/file_set.h"
#include "reading/opening.h"
#include "reading/sqlite_statement.h"
#include "reading/store_rows.h"

namespace dbi {

struct TableRows {
  std::string name;
  bool present = false;
  int64_t rows = 0;
};

// A trigger or a view: code that SQLite runs inside whatever program uses
// the file, and that the library never creates.
struct StoredCode {
  std::string type;  // "trigger" or "view"
  std::string name;
  std::string table;  // a trigger's table; a view's own name
};

// One line on `code` for a reader: what it is and why it matters.
std::string DescribeStoredCode(const StoredCode& code);

// Everything `show` lists but the rows, which StoreRows reads one at a time.
struct StoreView {
  std::optional<std::string> version;
  database_interface::Opening opening = database_interface::Opening::kStamp;
  std::vector<TableRows> tables;        // the store's six, in the order the library creates them
  std::vector<StoredCode> stored_code;  // by type, then name
  // How many starts, session entries and key pairs StoreRows reads: counted
  // in the tables themselves, since a count in `tables` may come from an
  // index, which a damaged file can hold apart from its table.
  int64_t start_count = 0;
  int64_t session_count = 0;
  int64_t key_pair_count = 0;
};

class StoreReader {
 public:
  StoreReader() = default;
  ~StoreReader() { Close(); }
  StoreReader(const StoreReader&) = delete;
  StoreReader& operator=(const StoreReader&) = delete;

  // Opens the file of `set` read-only: false, with `error` set, when it
  // cannot be opened without creating, writing or deleting a file.
  bool Open(const FileSet& set, std::string& error);
  void Close();

  // Reads everything `show` lists but the rows into `view`, and readies
  // `rows` to read those, the key pairs' texts only if `read_secrets`; both
  // must be new. False, with `error` set, when the file cannot be read as a
  // store (not a database, tables of another layout, a hot journal). What
  // they read is the file at one moment: a read transaction begins here and
  // lasts until the reader is closed, and no writer can commit meanwhile
  // unless the file is in WAL mode.
  bool Read(StoreView& view, StoreRows& rows, bool read_secrets, std::string& error);
  // The same, reading every row and keeping none: whether the whole store
  // can be read.
  bool Read(StoreView& view, bool read_secrets, std::string& error);
  // Whether a read failed on a hot journal, which Init would roll back.
  bool hot_journal() const { return hot_journal_; }
  // The rows of `table`, or -1 when they cannot be counted.
  int64_t CountRows(const std::string& table);

  // The connection, for a check of the whole file.
  sqlite3* db() const { return db_.get(); }
  // Why the read that just failed did, in the words dbi prints; notes a
  // hot journal.
  std::string Failure();
  // Runs `sql`, handing each row to `on_row`: false with `error` set as
  // Failure() words it.
  bool Query(const std::string& sql, const RowReader& on_row, std::string& error);
  // Table name to its stored CREATE text, for every table in the file.
  bool ReadTables(std::map<std::string, std::string>& tables, std::string& error);
  // The same for a new store made in memory: the texts SQLite keeps for the
  // library's own tables.
  static bool ReadLibraryTables(std::map<std::string, std::string>& tables, std::string& error);
  bool ReadStoredCode(std::vector<StoredCode>& code, std::string& error);
  // The first version row, none without one; `has_table` whether the file
  // has the version table at all.
  bool ReadVersion(bool has_table, std::optional<std::string>& version, std::string& error);

 private:
  bool ReadyRows(StoreView& view, StoreRows& rows, std::string& error);
  bool ReadyChildren(StoreRows::Children& children, const std::string& columns, int64_t expected,
                     std::string& error);
  // The name under which `table`'s rowid can be read: "", with `error` set,
  // when there is none.
  std::string RowidName(const std::string& table, std::string& error);
  // Prepares `sql` into `stmt`.
  bool Prepare(const std::string& sql, Statement& stmt, std::string& error);

  Connection db_;
  bool hot_journal_ = false;
};

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_READING_STORE_READER_H_
