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

struct KeyPair {
  std::string access_key;
  std::string secret_key;
};

// Everything `show` lists, in id order.
struct StoreView {
  std::optional<std::string> version;
  Opening opening = Opening::kStamp;
  std::vector<TableRows> tables;  // the store's six, in the order the library creates them
  std::vector<StartRecord> starts;
  std::vector<SessionEntry> sessions;
  std::vector<KeyPair> key_pairs;
};

struct Finding {
  std::string area;  // "integrity", "foreign key", "schema" or "version"
  std::string message;
};

struct CheckReport {
  std::optional<std::string> version;
  Opening opening = Opening::kRefuse;
  std::vector<Finding> findings;
};

class StoreReader {
 public:
  StoreReader() = default;
  ~StoreReader() { Close(); }
  StoreReader(const StoreReader&) = delete;
  StoreReader& operator=(const StoreReader&) = delete;

  // Opens `path` read-only: false, with `error` set, when it does not exist,
  // is a folder or cannot be opened.
  bool Open(const std::string& path, std::string& error);
  void Close();

  // Reads everything `show` lists into `view`, which must be new: false, with
  // `error` set, when the file cannot be read as a store (not a database, or
  // tables of another layout).
  bool Read(StoreView& view, std::string& error);
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
  bool ReadVersion(bool has_table, std::optional<std::string>& version, std::string& error);
  bool ReadRecords(StoreView& view, std::string& error);

  sqlite3* db_ = nullptr;
};

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_STORE_READER_H_
