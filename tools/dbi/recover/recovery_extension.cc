#include "salvage/recovery.h"

#include <sqlite3.h>
#include <sqlite3recover.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "reading/integrity.h"
#include "reading/sqlite_statement.h"

namespace dbi {

namespace {

// The extension's table for rows that belong to no table; a name a store
// never has, so that the file's own tables keep theirs.
constexpr char kLostAndFound[] = "dbi_lost_and_found";
// Its columns before the record's fields: rootpgno, pgno, nfield, id.
constexpr int kLostAndFoundLeading = 4;

// How much work the recovery may do: SQLite's progress handler is called
// every kStepsPerCheck virtual machine steps, on every connection opened
// while the recovery runs (the extension opens its own). The extension's
// own work grows with the file, a few steps a byte even when every page is
// lost; some hundred times that stops only a schema text that loops, in
// about a second for a store of a hundred kilobytes.
constexpr int kStepsPerCheck = 10000;
constexpr int64_t kBytesPerCheck = 10;
constexpr int64_t kChecksBase = 1000;

int64_t checks_left = 0;

int OutOfBudget(void* /*unused*/) {
  return --checks_left < 0 ? 1 : 0;
}

void AppendHex(std::string& out, const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0f];
  }
}

std::string Bytes(sqlite3_value* value) {
  const void* data = sqlite3_value_type(value) == SQLITE_BLOB ? sqlite3_value_blob(value)
                                                              : sqlite3_value_text(value);
  const int size = sqlite3_value_bytes(value);
  return data == nullptr ? std::string()
                         : std::string(static_cast<const char*>(data), static_cast<size_t>(size));
}

// SQL's quote(), as the extension renders every recovered value into the
// statements it hands over, but exact: the built-in stops a text at its
// first NUL byte, and a stored text may hold some. Texts and blobs go as
// hexadecimal, reals with every digit and always as reals.
void QuoteExactly(sqlite3_context* context, int /*argc*/, sqlite3_value** argv) {
  std::string sql;
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_INTEGER:
      sql = std::to_string(sqlite3_value_int64(argv[0]));
      break;
    case SQLITE_FLOAT: {
      const double real = sqlite3_value_double(argv[0]);
      if (std::isnan(real)) {
        sql = "NULL";  // SQLite stores none
      } else if (std::isinf(real)) {
        sql = real > 0 ? "9e999" : "-9e999";
      } else {
        char text[32];
        (void)std::snprintf(text, sizeof(text), "%.17g", real);
        sql = text;
        if (sql.find_first_of(".e") == std::string::npos) {
          sql += ".0";
        }
      }
      break;
    }
    case SQLITE_TEXT:
      sql = "CAST(X'";
      AppendHex(sql, Bytes(argv[0]));
      sql += "' AS TEXT)";
      break;
    case SQLITE_BLOB:
      sql = "X'";
      AppendHex(sql, Bytes(argv[0]));
      sql += "'";
      break;
    default:
      sql = "NULL";
  }
  sqlite3_result_text(context, sql.c_str(), static_cast<int>(sql.size()), SQLITE_TRANSIENT);
}

int OnOpen(sqlite3* db, const char** /*error*/, const sqlite3_api_routines* /*api*/) {
  sqlite3_progress_handler(db, kStepsPerCheck, &OutOfBudget, nullptr);
  return sqlite3_create_function(db, "quote", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                 &QuoteExactly, nullptr, nullptr);
}

// Every connection opened while one of these lives, the extension's own
// among them, gets the work budget and the exact quote(). One at a time
// in a process: the budget is the process's.
class RecoveryHooks {
 public:
  explicit RecoveryHooks(size_t file_bytes) {
    checks_left = kChecksBase + static_cast<int64_t>(file_bytes) / kBytesPerCheck;
    sqlite3_auto_extension(Entry());
  }
  ~RecoveryHooks() { sqlite3_cancel_auto_extension(Entry()); }
  RecoveryHooks(const RecoveryHooks&) = delete;
  RecoveryHooks& operator=(const RecoveryHooks&) = delete;

  static bool exhausted() { return checks_left < 0; }

 private:
  // SQLite takes the entry point as a function of no arguments and calls it
  // with its real ones.
  static void (*Entry())() { return reinterpret_cast<void (*)()>(&OnOpen); }
};

// A read-only connection on a copy of `bytes`.
Connection OpenBytes(const std::string& bytes, std::string& error) {
  Connection db = OpenMemory(error);
  if (!db) {
    return db;
  }
  const auto size = static_cast<sqlite3_int64>(bytes.size());
  auto* copy = static_cast<unsigned char*>(sqlite3_malloc64(bytes.empty() ? 1 : bytes.size()));
  if (copy == nullptr) {
    error = sqlite3_errstr(SQLITE_NOMEM);
    return nullptr;
  }
  std::copy(bytes.begin(), bytes.end(), copy);
  // SQLite owns the copy from here on, even when this fails.
  const int rc = sqlite3_deserialize(db.get(), "main", copy, size, size,
                                     SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY);
  if (rc != SQLITE_OK) {
    error = sqlite3_errstr(rc);
    return nullptr;
  }
  return db;
}

std::string Identifier(const std::string& name) {
  std::string quoted = "\"";
  for (const char c : name) {
    quoted += c;
    if (c == '"') {
      quoted += '"';
    }
  }
  return quoted + "\"";
}

bool IsSchemaTable(const char* table) {
  return table != nullptr && (sqlite3_stricmp(table, "sqlite_master") == 0 ||
                              sqlite3_stricmp(table, "sqlite_schema") == 0 ||
                              sqlite3_stricmp(table, "sqlite_temp_master") == 0);
}

// While a table text from the file is taken over: creating one table (with
// the indexes its UNIQUE constraints make), and the bookkeeping that goes
// with it, is all it may do. Anything else (a query that fills it, a second
// statement) is refused before it runs.
int CreateTableOnly(void* /*unused*/, int action, const char* table, const char* /*detail*/,
                    const char* /*database*/, const char* /*trigger*/) {
  switch (action) {
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_INDEX:
    case SQLITE_READ:  // an index reads the columns it covers
      return SQLITE_OK;
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
      return IsSchemaTable(table) ? SQLITE_OK : SQLITE_DENY;
    default:
      return SQLITE_DENY;
  }
}

// While the extension's statements fill the scratch tables: rows go in,
// sqlite_sequence is emptied once, transactions; nothing else.
int FillRowsOnly(void* /*unused*/, int action, const char* table, const char* /*detail*/,
                 const char* /*database*/, const char* /*trigger*/) {
  switch (action) {
    case SQLITE_INSERT:
      return IsSchemaTable(table) ? SQLITE_DENY : SQLITE_OK;
    case SQLITE_DELETE:
      return table != nullptr && sqlite3_stricmp(table, "sqlite_sequence") == 0 ? SQLITE_OK
                                                                                : SQLITE_DENY;
    case SQLITE_TRANSACTION:
      return SQLITE_OK;
    default:
      return SQLITE_DENY;
  }
}

std::set<std::string> TableNames(sqlite3* db) {
  std::set<std::string> names;
  std::string ignored;  // a list that cannot be read is empty
  const Statement stmt =
      Prepare(db, "SELECT name FROM sqlite_schema WHERE type = 'table'", ignored);
  while (stmt && sqlite3_step(stmt.get()) == SQLITE_ROW) {
    names.insert(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0)));
  }
  return names;
}

// What the extension hands over, statement by statement: its table texts
// (the file's own) and the rows it found, as SQL. The rows land in scratch
// tables of the same names and columns but without types or constraints,
// which would convert values or drop a second row with the same key.
class Capture {
 public:
  Capture(Connection scratch, Connection shape)
      : scratch_(std::move(scratch)), shape_(std::move(shape)) {}

  static int Take(void* capture, const char* sql) {
    auto* self = static_cast<Capture*>(capture);
    // A schema row without text comes over as no statement at all.
    if (sql != nullptr) {
      self->Apply(sql);
    }
    // One statement that fails stops nothing, but memory that ran out for
    // one would for the next.
    return self->out_of_memory_ ? SQLITE_NOMEM : SQLITE_OK;
  }

  sqlite3* scratch() const { return scratch_.get(); }
  const std::vector<std::string>& tables() const { return tables_; }
  int64_t unreadable_rows() const { return unreadable_rows_; }
  // Whether the extension had got as far as handing over rows: from then on
  // it runs no schema text of the file's, only reads pages.
  bool rows_begun() const { return rows_begun_; }
  bool out_of_memory() const { return out_of_memory_; }

 private:
  static bool StartsWith(const char* sql, const char* prefix) {
    return sqlite3_strnicmp(sql, prefix, static_cast<int>(std::strlen(prefix))) == 0;
  }

  void Apply(const char* sql) {
    if (StartsWith(sql, "CREATE TABLE ")) {
      CreateTable(sql);
    } else if (StartsWith(sql, "INSERT ") || std::strcmp(sql, "DELETE FROM sqlite_sequence") == 0 ||
               std::strcmp(sql, "BEGIN") == 0 || std::strcmp(sql, "COMMIT") == 0) {
      rows_begun_ = rows_begun_ || StartsWith(sql, "INSERT ");
      sqlite3_set_authorizer(scratch_.get(), &FillRowsOnly, nullptr);
      std::string ignored;  // the code says what happened
      const int rc =
          Exec(scratch_.get(), sql, ignored) ? SQLITE_OK : sqlite3_errcode(scratch_.get());
      sqlite3_set_authorizer(scratch_.get(), nullptr, nullptr);
      if (rc == SQLITE_NOMEM) {
        out_of_memory_ = true;
      } else if (rc != SQLITE_OK && StartsWith(sql, "INSERT ")) {
        ++unreadable_rows_;
      }
    }
    // Settings, indexes, views and triggers are the file's, not its rows.
  }

  // The file's text is run where it can do nothing but create one table,
  // and the scratch table copies that table's column names.
  void CreateTable(const char* sql) {
    std::string refused;  // a table that cannot be taken over is skipped
    const std::set<std::string> before = TableNames(shape_.get());
    sqlite3_set_authorizer(shape_.get(), &CreateTableOnly, nullptr);
    const bool created = Exec(shape_.get(), sql, refused);
    sqlite3_set_authorizer(shape_.get(), nullptr, nullptr);
    if (!created) {
      return;
    }
    std::string name;
    for (const std::string& candidate : TableNames(shape_.get())) {
      if (before.count(candidate) == 0 && (name.empty() || name == "sqlite_sequence")) {
        name = candidate;
      }
    }
    std::string columns;
    const Statement info =
        Prepare(shape_.get(), "SELECT name FROM pragma_table_xinfo(?) WHERE hidden = 0", refused);
    if (name.empty() || !info) {
      return;
    }
    sqlite3_bind_text(info.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(info.get()) == SQLITE_ROW) {
      columns += (columns.empty() ? "" : ", ") +
                 Identifier(reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 0)));
    }
    if (!columns.empty() &&
        Exec(scratch_.get(), "CREATE TABLE " + Identifier(name) + "(" + columns + ")", refused)) {
      tables_.push_back(name);
    }
  }

  Connection scratch_;
  Connection shape_;
  std::vector<std::string> tables_;
  int64_t unreadable_rows_ = 0;
  bool rows_begun_ = false;
  bool out_of_memory_ = false;
};

// The lost-and-found table the extension made, by its name and its columns;
// a file table that merely shares a name has others.
bool IsLostAndFound(const RecoveredTable& table) {
  const std::string name = table.name;
  return name.rfind(kLostAndFound, 0) == 0 && table.columns.size() > kLostAndFoundLeading &&
         table.columns[0] == "rootpgno" && table.columns[1] == "pgno" &&
         table.columns[2] == "nfield" && table.columns[3] == "id";
}

Value ReadValue(sqlite3_stmt* stmt, int column) {
  Value value;
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
      value.type = Value::Type::kInteger;
      value.integer = sqlite3_column_int64(stmt, column);
      break;
    case SQLITE_FLOAT:
      value.type = Value::Type::kReal;
      value.real = sqlite3_column_double(stmt, column);
      break;
    case SQLITE_TEXT:
      value.type = Value::Type::kText;
      value.bytes = Bytes(sqlite3_column_value(stmt, column));
      break;
    case SQLITE_BLOB:
      value.type = Value::Type::kBlob;
      value.bytes = Bytes(sqlite3_column_value(stmt, column));
      break;
    default:
      break;
  }
  return value;
}

bool ReadTable(sqlite3* db, const std::string& name, RecoveredTable& table, std::string& error) {
  const Statement stmt =
      Prepare(db, "SELECT * FROM " + Identifier(name) + " ORDER BY rowid", error);
  if (!stmt) {
    return false;
  }
  table.name = name;
  const int count = sqlite3_column_count(stmt.get());
  for (int i = 0; i < count; ++i) {
    table.columns.emplace_back(sqlite3_column_name(stmt.get(), i));
  }
  // The lost-and-found table is as wide as its widest row; the others are
  // NULL past their nfield, and kept whole a page of narrow rows beside one
  // wide one would take a row of the widest's size each.
  const bool lost = IsLostAndFound(table);
  int rc = SQLITE_ROW;
  while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    Row row;
    const int fields =
        lost ? std::clamp(kLostAndFoundLeading + sqlite3_column_int(stmt.get(), 2), 0, count)
             : count;
    for (int i = 0; i < fields; ++i) {
      row.push_back(ReadValue(stmt.get(), i));
    }
    table.rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) {
    error = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

// Why the extension stopped. Until it hands over rows it runs the file's
// schema texts, and only one that loops makes it work that long; once it
// reads rows its work follows the pages, and only rows far more or far
// wider than such a file holds (a crafted one) use the budget up.
std::string RecoveryError(int rc, const char* message, const Capture& capture) {
  if (RecoveryHooks::exhausted()) {
    return capture.rows_begun()
               ? "the recovery stopped: its rows took far more work than a file of this size "
                 "holds (rows crafted too many or too wide)"
               : "the recovery stopped: it did far more work than a file of this size needs (a "
                 "schema text that loops)";
  }
  if (capture.out_of_memory() || rc == SQLITE_NOMEM) {
    return "the recovery ran out of memory";
  }
  return message != nullptr ? message : sqlite3_errstr(rc);
}

}  // namespace

bool RecoverBytes(const std::string& bytes, Recovery& recovery, std::string& error) {
  const RecoveryHooks hooks(bytes.size());
  Connection input = OpenBytes(bytes, error);
  Connection scratch = input ? OpenMemory(error) : nullptr;
  Connection shape = scratch ? OpenMemory(error) : nullptr;
  // The file's schema may name sqlite_sequence, which only this creates.
  if (!shape || !Exec(scratch.get(), "PRAGMA writable_schema = ON", error) ||
      !Exec(shape.get(), "PRAGMA writable_schema = ON", error)) {
    return false;
  }
  Capture capture(std::move(scratch), std::move(shape));
  sqlite3_recover* recover =
      sqlite3_recover_init_sql(input.get(), "main", &Capture::Take, &capture);
  if (recover == nullptr) {
    error = sqlite3_errstr(SQLITE_NOMEM);
    return false;
  }
  std::string lost_and_found = kLostAndFound;  // the extension takes it as void*
  sqlite3_recover_config(recover, SQLITE_RECOVER_LOST_AND_FOUND, lost_and_found.data());
  int rc = SQLITE_OK;
  while ((rc = sqlite3_recover_step(recover)) == SQLITE_OK) {
  }
  if (rc != SQLITE_DONE) {
    error = RecoveryError(rc, sqlite3_recover_errmsg(recover), capture);
    sqlite3_recover_finish(recover);
    // What came before the stop is kept: each row stands on its own.
    if (!capture.rows_begun()) {
      return false;
    }
    recovery.stopped = error;
    // The scratch tables hold what was handed over, read back by this
    // code's own statement: no budget is needed, and none is left.
    sqlite3_progress_handler(capture.scratch(), 0, nullptr, nullptr);
  } else {
    sqlite3_recover_finish(recover);
  }

  recovery.unreadable_rows = capture.unreadable_rows();
  for (const std::string& name : capture.tables()) {
    RecoveredTable table;
    if (!ReadTable(capture.scratch(), name, table, error)) {
      error.insert(0, "cannot read what was recovered: ");
      return false;
    }
    if (IsLostAndFound(table)) {
      recovery.lost_and_found = std::move(table);
    } else {
      recovery.tables.push_back(std::move(table));
    }
  }
  return true;
}

std::vector<std::string> IntegrityFindings(const std::string& bytes) {
  std::vector<std::string> findings;
  std::string error;
  const RecoveryHooks hooks(bytes.size());
  const Connection db = OpenBytes(bytes, error);
  if (!db || !CheckIntegrity(db.get(), findings, error)) {
    findings.push_back("cannot run PRAGMA integrity_check: " + error);
  }
  return findings;
}

}  // namespace dbi
