// A new store built from whatever SQLite's recovery extension reads back
// from a damaged store file's bytes. Every row that could not stand in a
// store is left out of it and accounted for, never dropped silently.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_RECOVER_RECOVERED_STORE_H_
#define DATABASE_INTERFACE_TOOLS_DBI_RECOVER_RECOVERED_STORE_H_

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recover/recovery_extension.h"

namespace dbi {

// Why a row was left out.
extern const char kOrphan[];         // a core or instance record whose start is gone
extern const char kDuplicate[];      // a second row with the same id or session key
extern const char kWrongType[];      // a value missing or not of its column's type
extern const char kExtraColumns[];   // its table has columns a store's has not
extern const char kNotStoreTable[];  // its table is none of a store's
extern const char kUnplaced[];       // the extension could place it in no table

// The table a left-out row came from and its column names, held once for
// all of its rows.
struct LeftOutTable {
  std::string name;
  std::vector<std::string> columns;
};

struct LeftOutRow {
  std::shared_ptr<const LeftOutTable> table;
  const char* reason;
  Values values;  // as many as its own fields, in the order of `table->columns`
};

struct TableRecovered {
  std::string name;
  int64_t found = 0;
  int64_t written = 0;
  std::map<std::string, int64_t> left_out;  // by reason
};

struct RecoverReport {
  std::vector<std::string> integrity_findings;  // of the file as it is
  // The pages the file's header counts, and the whole pages the file holds
  // (0 and 0 when no page size can be read from it).
  uint32_t header_pages = 0;
  uint64_t file_pages = 0;
  // Why the file's own first page could not be used, "" when it was; the
  // rows then came back through a new store's first page of `page_size`.
  std::string first_page_problem;
  bool new_first_page = false;
  uint32_t page_size = 0;
  // The first row of db_version, the one the library reads, if any came
  // back; its text when it holds one. The file's version rows are reported,
  // never copied: the new store has its own.
  bool version_row_found = false;
  std::optional<std::string> version;
  // The store's tables in the library's order, then any other table the
  // file had, then the rows the extension could not place.
  std::vector<TableRecovered> tables;
  std::vector<LeftOutRow> left_out_rows;
  int64_t unreadable_rows = 0;  // see Recovery
  std::string stopped;          // see Recovery

  int64_t Written() const;
  int64_t LeftOut() const;
  // Whether rows are known to be missing from the new store: left out,
  // stopped early, on pages the file has lost, or on pages the check finds
  // damaged.
  bool RowsMissing() const;
};

// Reads what can be read of `file`, a store file's bytes (let go of once
// read, before the new store grows), through its own first page or, when
// that is unusable, through a new store's, and writes
// into `out`, an empty connection, a store of the current schema version
// with every recovered row and its id; sqlite_sequence is kept at least as
// high as the file's, so no id is handed out twice. False with `error` set
// when nothing could be read at all or `out` could not be written; one that
// wrote no row is no error (see report.Written()).
bool RecoverStore(std::string file, sqlite3* out, RecoverReport& report, std::string& error);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_RECOVER_RECOVERED_STORE_H_
