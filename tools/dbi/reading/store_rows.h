// The rows `show` lists, streamed from a store file's read-only connection
// one at a time, so that a listing costs the memory of one row.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_READING_STORE_ROWS_H_
#define DATABASE_INTERFACE_TOOLS_DBI_READING_STORE_ROWS_H_

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "database_interface/database_interface.h"
#include "reading/sqlite_statement.h"
#include "reading/store_tables.h"

namespace dbi {

// The longest text or blob a reader reads, far beyond any value a store
// holds and far below a small machine's memory.
constexpr int kLongestValue = 16 << 20;

// A start; StoreRows reads its core and instance records after it.
struct StartRecord {
  int32_t id = 0;
  std::string sdk_version;
  std::string sdk_type;
  int64_t start_time = 0;
};

// The value, a token, is read only when it is to be shown; its length
// always.
struct SessionEntry {
  std::string key;
  std::string value;
  int64_t expire_time = 0;
  int64_t value_bytes = 0;
};

// The texts are read only when they are to be shown; the lengths always.
struct KeyPair {
  std::string access_key;
  std::string secret_key;
  int64_t access_key_bytes = 0;
  int64_t secret_key_bytes = 0;
};

// Why a read on `db` failed with `rc`, in the words dbi prints.
std::string ReadFailure(sqlite3* db, int rc);

// The whole text of a column, NUL bytes included, so that nothing stored is
// hidden from view; and its integers.
std::string Text(sqlite3_stmt* stmt, int column);
inline int32_t Int(sqlite3_stmt* stmt, int column) {
  return sqlite3_column_int(stmt, column);
}
inline int64_t Int64(sqlite3_stmt* stmt, int column) {
  return sqlite3_column_int64(stmt, column);
}

// The rows `show` lists, read one at a time in the order it lists them, so
// that a store of any size is shown in the memory of one row, and of a key
// of 16 bytes for each core and instance record: the starts by id, each followed by its core
// records and then its instance records by id (a record whose start is not there is never read),
// then the session entries by id, then the key pairs by rowid. Each Next is false at the end of its
// list, and for good from the first read that fails, which error() then tells. It must not outlive
// the StoreReader that readied it.
class StoreRows {
 public:
  StoreRows() = default;

  bool NextStart(StartRecord& start);
  // Of the start NextStart read last.
  bool NextCore(database_interface::CoreRecode& core);
  bool NextInstance(database_interface::InstanceInfo& info);
  bool NextSession(SessionEntry& entry);
  bool NextKeyPair(KeyPair& pair);

  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }

 private:
  friend class StoreReader;
  // A core or instance record: the start it names, read as the start's own
  // id is, its place among its table's records by id, and the rowid that
  // finds it. Reading the records by start would take an index on their
  // start that the tables lack, or a sort by SQLite that holds them whole.
  struct ChildKey {
    int32_t start_id;
    uint32_t place;
    int64_t rowid;
  };
  struct Children {
    explicit Children(const char* name) : table(name) {}
    // Points next and end at the keys of the start `start_id`.
    void Select(int32_t start_id);

    const char* table;
    Statement read;              // one record, by rowid
    std::vector<ChildKey> keys;  // by start, then place
    size_t next = 0;             // within the last start's keys
    size_t end = 0;
  };

  // True on the next row of `list`; false at its end, after which it reads
  // nothing more (SQLite would begin it again), or when the read fails.
  bool Step(Statement& list, const char* table);
  // The next record of the last start, on the row of its read statement.
  sqlite3_stmt* NextChild(Children& children);

  Statement starts_;
  Statement sessions_;
  Statement key_pairs_;
  Children cores_{CoreTable()};
  Children instances_{InstanceTable()};
  std::optional<int32_t> highest_start_id_;
  bool read_secrets_ = false;
  std::string error_;
};

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_READING_STORE_ROWS_H_
