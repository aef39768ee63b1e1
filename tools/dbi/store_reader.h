// A store file seen through a read-only SQLite connection: what it holds,
// what opening it with the library would do to it, and how healthy it is.
// Nothing here writes to the file, and a missing file is never created.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_STORE_READER_H_
#define DATABASE_INTERFACE_TOOLS_DBI_STORE_READER_H_

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "database_interface/database_interface.h"
#include "file_set.h"
#include "opening.h"

namespace dbi {

struct TableRows {
  std::string name;
  bool present = false;
  int64_t rows = 0;
};

struct StartRecord {
  int32_t id = 0;
  std::string sdk_version;
  std::string sdk_type;
  int64_t start_time = 0;
  std::vector<database_interface::CoreRecode> cores;
  std::vector<database_interface::InstanceInfo> instances;
};

struct SessionEntry {
  std::string key;
  std::string value;
  int64_t expire_time = 0;
};

// The texts are read only when they are to be shown; the lengths always.
struct KeyPair {
  std::string access_key;
  std::string secret_key;
  int64_t access_key_bytes = 0;
  int64_t secret_key_bytes = 0;
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

// Everything `show` lists, in id order.
struct StoreView {
  std::optional<std::string> version;
  Opening opening = Opening::kStamp;
  std::vector<TableRows> tables;  // the store's six, in the order the library creates them
  std::vector<StartRecord> starts;
  std::vector<SessionEntry> sessions;
  std::vector<KeyPair> key_pairs;
  std::vector<StoredCode> stored_code;  // by type, then name
};

struct Finding {
  std::string area;  // "integrity", "journal", "foreign key", "schema" or "version"
  std::string message;
};

struct CheckReport {
  std::optional<std::string> version;
  Opening opening = Opening::kRefuse;
  std::vector<Finding> findings;
};

// The longest text or blob a reader reads, far beyond any value a store
// holds and far below a small machine's memory.
constexpr int kLongestValue = 16 << 20;

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

  // Reads everything `show` lists into `view`, which must be new, the key
  // pairs' texts only if `read_secrets`: false, with `error` set, when the
  // file cannot be read as a store (not a database, tables of another
  // layout, a hot journal).
  bool Read(StoreView& view, bool read_secrets, std::string& error);
  // Whether a read failed on a hot journal, which Init would roll back.
  bool hot_journal() const { return hot_journal_; }
  // Runs every health check. A file that cannot be read is a finding too.
  CheckReport Check();
  // The rows of `table`, or -1 when they cannot be counted.
  int64_t CountRows(const std::string& table);

 private:
  using RowReader = std::function<void(sqlite3_stmt*)>;
  // Runs `sql`, handing each row to `on_row`: false with `error` set to
  // SQLite's message when it fails.
  bool Query(const std::string& sql, const RowReader& on_row, std::string& error);
  // Table name to its stored CREATE text, for every table in the file.
  bool ReadTables(std::map<std::string, std::string>& tables, std::string& error);
  bool ReadStoredCode(std::vector<StoredCode>& code, std::string& error);
  bool ReadVersion(bool has_table, std::optional<std::string>& version, std::string& error);
  bool ReadRecords(StoreView& view, bool read_secrets, std::string& error);

  sqlite3* db_ = nullptr;
  bool hot_journal_ = false;
};

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_STORE_READER_H_
