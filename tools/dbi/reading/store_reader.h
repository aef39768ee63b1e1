// A store file seen through a read-only SQLite connection: what it holds,
// what opening it with the library would do to it, and how healthy it is.
// Nothing here writes to the file, and a missing file is never created.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_READING_STORE_READER_H_
#define DATABASE_INTERFACE_TOOLS_DBI_READING_STORE_READER_H_

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "database_interface/database_interface.h"
#include "reading/file_set.h"
#include "reading/opening.h"
#include "reading/sqlite_statement.h"

namespace dbi {

struct TableRows {
  std::string name;
  bool present = false;
  int64_t rows = 0;
};

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
  Opening opening = Opening::kStamp;
  std::vector<TableRows> tables;        // the store's six, in the order the library creates them
  std::vector<StoredCode> stored_code;  // by type, then name
  // How many starts, session entries and key pairs StoreRows reads: counted
  // in the tables themselves, since a count in `tables` may come from an
  // index, which a damaged file can hold apart from its table.
  int64_t start_count = 0;
  int64_t session_count = 0;
  int64_t key_pair_count = 0;
};

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
  Children cores_{"core_recode"};
  Children instances_{"instance_info"};
  std::optional<int32_t> highest_start_id_;
  bool read_secrets_ = false;
  std::string error_;
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
  // Runs every health check. A file that cannot be read is a finding too.
  CheckReport Check();
  // The rows of `table`, or -1 when they cannot be counted.
  int64_t CountRows(const std::string& table);

 private:
  // Why the read that just failed did, in the words dbi prints; notes a
  // hot journal.
  std::string Failure();
  // Runs `sql`, handing each row to `on_row`: false with `error` set to
  // SQLite's message when it fails.
  bool Query(const std::string& sql, const RowReader& on_row, std::string& error);
  // Table name to its stored CREATE text, for every table in the file.
  bool ReadTables(std::map<std::string, std::string>& tables, std::string& error);
  // The same for a new store made in memory: the texts SQLite keeps for the
  // library's own tables.
  static bool ReadLibraryTables(std::map<std::string, std::string>& tables, std::string& error);
  bool ReadStoredCode(std::vector<StoredCode>& code, std::string& error);
  bool ReadVersion(bool has_table, std::optional<std::string>& version, std::string& error);
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
