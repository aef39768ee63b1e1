#include "recover/recovery_extension.h"

#include <sqlite3.h>
#include <sqlite3recover.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <utility>

#include "limits/work_budget.h"
#include "reading/integrity.h"
#include "reading/store_tables.h"

namespace dbi {

namespace {

// The extension's table for rows that belong to no table; a name a store
// never has, so that the file's own tables keep theirs.
constexpr char kLostAndFound[] = "dbi_lost_and_found";
// Its columns before the record's fields: rootpgno, pgno, nfield, id.
constexpr size_t kLostAndFoundLeading = 4;
// Where the rows of every table but the store's go, a field a row.
constexpr char kOtherRows[] = "dbi_other_rows";

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
std::string QuotedExactly(sqlite3_value* value) {
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      return std::to_string(sqlite3_value_int64(value));
    case SQLITE_FLOAT: {
      const double real = sqlite3_value_double(value);
      if (std::isnan(real)) {
        return "NULL";  // SQLite stores none
      }
      if (std::isinf(real)) {
        return real > 0 ? "9e999" : "-9e999";
      }
      char text[32];
      (void)std::snprintf(text, sizeof(text), "%.17g", real);
      const std::string sql = text;
      return sql.find_first_of(".e") == std::string::npos ? sql + ".0" : sql;
    }
    case SQLITE_TEXT: {
      std::string sql = "CAST(X'";
      AppendHex(sql, Bytes(value));
      return sql + "' AS TEXT)";
    }
    case SQLITE_BLOB: {
      std::string sql = "X'";
      AppendHex(sql, Bytes(value));
      return sql + "'";
    }
    default:
      return "NULL";
  }
}

// Called from inside SQLite, so nothing may be thrown through it.
void QuoteExactly(sqlite3_context* context, int /*argc*/, sqlite3_value** argv) {
  try {
    const std::string sql = QuotedExactly(argv[0]);
    sqlite3_result_text(context, sql.c_str(), static_cast<int>(sql.size()), SQLITE_TRANSIENT);
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(context);
  }
}

int OnOpen(sqlite3* db, const char** /*error*/, const sqlite3_api_routines* /*api*/) {
  return sqlite3_create_function(db, "quote", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                 &QuoteExactly, nullptr, nullptr);
}

// Every connection opened while one of these lives, the extension's own
// among them, gets the exact quote().
class ExactQuote {
 public:
  ExactQuote() { sqlite3_auto_extension(Entry()); }
  ~ExactQuote() { sqlite3_cancel_auto_extension(Entry()); }
  ExactQuote(const ExactQuote&) = delete;
  ExactQuote& operator=(const ExactQuote&) = delete;

 private:
  // SQLite takes the entry point as a function of no arguments and calls it
  // with its real ones.
  static void (*Entry())() { return reinterpret_cast<void (*)()>(&OnOpen); }
};

// A read-only connection on `bytes` themselves, not a copy.
Connection OpenBytes(const std::string& bytes, std::string& error) {
  Connection db = OpenMemory(error);
  if (!db) {
    return db;
  }
  const auto size = static_cast<sqlite3_int64>(bytes.size());
  // Read-only, SQLite never writes through the pointer.
  auto* data = reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data()));
  const int rc =
      sqlite3_deserialize(db.get(), "main", data, size, size, SQLITE_DESERIALIZE_READONLY);
  if (rc != SQLITE_OK) {
    error = sqlite3_errstr(rc);
    return nullptr;
  }
  return db;
}

// `text` between `quote`s, each of its own doubled, as SQL quotes a name
// ('"') or a string ('\'').
std::string SqlQuoted(const std::string& text, char quote) {
  std::string quoted(1, quote);
  for (const char c : text) {
    quoted += c;
    if (c == quote) {
      quoted += quote;
    }
  }
  return quoted + quote;
}

std::string Identifier(const std::string& name) {
  return SqlQuoted(name, '"');
}

bool IsSchemaTable(const char* table) {
  return table != nullptr && (sqlite3_stricmp(table, "sqlite_master") == 0 ||
                              sqlite3_stricmp(table, "sqlite_schema") == 0 ||
                              sqlite3_stricmp(table, "sqlite_temp_master") == 0);
}

// While a table text from the file is taken over: creating one table (with
// the indexes its UNIQUE constraints make), and the bookkeeping that goes
// with it, is all it may do. Anything else (a query that fills it, a second
// statement) is refused before it runs. The table's name is kept in
// `created`: sqlite_sequence only when it is the text's own table, since
// SQLite makes it beside the first table that counts its ids.
int CreateTableOnly(void* created, int action, const char* table, const char* /*detail*/,
                    const char* /*database*/, const char* /*trigger*/) {
  switch (action) {
    case SQLITE_CREATE_TABLE:
      // Called from inside SQLite, so nothing may be thrown through it.
      try {
        auto& name = *static_cast<std::string*>(created);
        if (name.empty() || sqlite3_stricmp(name.c_str(), "sqlite_sequence") == 0) {
          name = table;
        }
      } catch (const std::bad_alloc&) {
        return SQLITE_DENY;
      }
      return SQLITE_OK;
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

// While a row's values, as the extension renders them (literals only), are
// read back: nothing but the SELECT of them.
int SelectOnly(void* /*unused*/, int action, const char* /*table*/, const char* /*detail*/,
               const char* /*database*/, const char* /*trigger*/) {
  return action == SQLITE_SELECT ? SQLITE_OK : SQLITE_DENY;
}

// Whether `columns` are those of the lost-and-found table the extension
// makes; a file table that merely shares its name has others.
bool IsLostAndFound(const std::string& name, const std::vector<std::string>& columns) {
  return name.rfind(kLostAndFound, 0) == 0 && columns.size() > kLostAndFoundLeading &&
         columns[0] == "rootpgno" && columns[1] == "pgno" && columns[2] == "nfield" &&
         columns[3] == "id";
}

// A row as the extension hands it over: "INSERT [OR IGNORE] INTO name(col,
// ...) VALUES (value, ...)", names quoted as SQL strings (a file's table
// and column names may hold anything) or bare, values as quote() renders
// them.
struct RowInsert {
  std::string table;
  std::vector<std::string> columns;
  std::string values;  // the list between the parentheses
};

class InsertParser {
 public:
  explicit InsertParser(const char* sql) : sql_(sql) {}

  bool Parse(RowInsert& insert) {
    if (!Skip("INSERT OR IGNORE INTO ") && !Skip("INSERT INTO ")) {
      return false;
    }
    std::string name;
    if (!Name(insert.table) || !Skip("(")) {
      return false;
    }
    do {
      if (!Name(name)) {
        return false;
      }
      insert.columns.push_back(name);
    } while (Skip(", "));
    if (!Skip(") VALUES (") && !Skip(") VALUES(")) {
      return false;
    }
    const size_t rest = std::strlen(sql_);
    if (rest == 0 || sql_[rest - 1] != ')') {
      return false;
    }
    insert.values.assign(sql_, rest - 1);
    return true;
  }

 private:
  bool Skip(const char* text) {
    const size_t length = std::strlen(text);
    if (std::strncmp(sql_, text, length) != 0) {
      return false;
    }
    sql_ += length;
    return true;
  }

  // A name quoted as an SQL string, or a bare one.
  bool Name(std::string& name) {
    name.clear();
    if (*sql_ != '\'') {
      while (std::isalnum(static_cast<unsigned char>(*sql_)) != 0 || *sql_ == '_') {
        name += *sql_++;
      }
      return !name.empty();
    }
    for (++sql_; *sql_ != '\0'; ++sql_) {
      if (*sql_ == '\'' && *++sql_ != '\'') {
        return true;
      }
      name += *sql_;
    }
    return false;
  }

  const char* sql_;
};

// What the extension hands over, statement by statement: its table texts
// (the file's own) and the rows it found, as SQL. The rows land in scratch
// tables of the same names and columns but without types or constraints,
// which would convert values or drop a second row with the same key, or a
// field a row in kOtherRows.
class Capture {
 public:
  Capture(Connection scratch, Connection shape)
      : scratch_(std::move(scratch)), shape_(std::move(shape)) {}

  bool Ready(std::string& error) {
    // The file's schema may name sqlite_sequence, which only this creates.
    if (!Exec(scratch_.get(), "PRAGMA writable_schema = ON", error) ||
        !Exec(shape_.get(), "PRAGMA writable_schema = ON", error) ||
        !Exec(scratch_.get(),
              std::string("CREATE TABLE ") + kOtherRows + "(row, tab, field, value);" +
                  "CREATE INDEX by_table ON " + kOtherRows + "(tab)",
              error)) {
      return false;
    }
    insert_other_ = Prepare(
        scratch_.get(), std::string("INSERT INTO ") + kOtherRows + " VALUES (?, ?, ?, ?)", error);
    return insert_other_ != nullptr;
  }

  // Called from inside the extension, so nothing may be thrown through it.
  static int Take(void* capture, const char* sql) {
    auto* self = static_cast<Capture*>(capture);
    // A schema row without text comes over as no statement at all.
    try {
      if (sql != nullptr) {
        self->Apply(sql);
      }
    } catch (const std::bad_alloc&) {
      self->out_of_memory_ = true;
    }
    // One statement that fails stops nothing, but memory that ran out for
    // one would for the next.
    return self->out_of_memory_ ? SQLITE_NOMEM : SQLITE_OK;
  }

  // Hands what was captured over to `recovery`.
  void MoveInto(Recovery& recovery) {
    insert_other_.reset();
    recovery.rows = std::move(scratch_);
    recovery.tables = std::move(tables_);
    recovery.lost_and_found = lost_and_found_;
    recovery.unreadable_rows = unreadable_rows_;
  }

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
    } else if (StartsWith(sql, "INSERT ")) {
      rows_begun_ = true;
      RowInsert insert;
      const auto table = InsertParser(sql).Parse(insert) ? index_.find(insert.table) : index_.end();
      const int rc = table == index_.end()              ? SQLITE_ERROR
                     : tables_[table->second].own_table ? Fill(sql)
                                                        : AddOtherRow(table->second, insert);
      if (rc == SQLITE_NOMEM) {
        out_of_memory_ = true;
      } else if (rc != SQLITE_OK) {
        ++unreadable_rows_;
      }
    } else if (std::strcmp(sql, "DELETE FROM sqlite_sequence") == 0 ||
               std::strcmp(sql, "BEGIN") == 0 || std::strcmp(sql, "COMMIT") == 0) {
      out_of_memory_ = out_of_memory_ || Fill(sql) == SQLITE_NOMEM;
    }
    // Settings, indexes, views and triggers are the file's, not its rows.
  }

  // Runs one of the extension's statements on the scratch tables.
  int Fill(const char* sql) {
    sqlite3_set_authorizer(scratch_.get(), &FillRowsOnly, nullptr);
    std::string ignored;  // the code says what happened
    const int rc = Exec(scratch_.get(), sql, ignored) ? SQLITE_OK : sqlite3_errcode(scratch_.get());
    sqlite3_set_authorizer(scratch_.get(), nullptr, nullptr);
    return rc;
  }

  // Keeps the values of `insert` a field a row, each under its column's
  // place among the table's columns, found in the order both list them.
  int AddOtherRow(size_t tab, const RowInsert& insert) {
    std::string ignored;
    sqlite3_set_authorizer(scratch_.get(), &SelectOnly, nullptr);
    const Statement values = Prepare(scratch_.get(), "SELECT " + insert.values, ignored);
    sqlite3_set_authorizer(scratch_.get(), nullptr, nullptr);
    int rc = values ? sqlite3_step(values.get()) : sqlite3_errcode(scratch_.get());
    if (rc != SQLITE_ROW ||
        sqlite3_column_count(values.get()) != static_cast<int>(insert.columns.size())) {
      return rc == SQLITE_NOMEM ? rc : SQLITE_ERROR;
    }
    const std::vector<std::string>& columns = tables_[tab].columns;
    const int64_t row = next_row_++;
    size_t field = 0;
    for (size_t i = 0; i < insert.columns.size() && rc == SQLITE_ROW; ++i) {
      // The rowid comes first, which a left-out row does not show.
      size_t at = field;
      while (at < columns.size() && columns[at] != insert.columns[i]) {
        ++at;
      }
      if (at == columns.size()) {
        continue;
      }
      field = at;
      sqlite3_stmt* add = insert_other_.get();
      (void)sqlite3_bind_int64(add, 1, row);
      (void)sqlite3_bind_int64(add, 2, static_cast<sqlite3_int64>(tab));
      (void)sqlite3_bind_int64(add, 3, static_cast<sqlite3_int64>(field));
      (void)sqlite3_bind_value(add, 4, sqlite3_column_value(values.get(), static_cast<int>(i)));
      rc = sqlite3_step(add) == SQLITE_DONE ? SQLITE_ROW : sqlite3_errcode(scratch_.get());
      (void)sqlite3_reset(add);
    }
    return rc == SQLITE_ROW ? SQLITE_OK : rc;
  }

  // The file's text is run where it can do nothing but create one table,
  // whose column names are kept; it is dropped again, so that each text
  // meets an empty schema, however many tables the file has.
  void CreateTable(const char* sql) {
    std::string refused;  // a table that cannot be taken over is skipped
    Recovery::Table table;
    sqlite3_set_authorizer(shape_.get(), &CreateTableOnly, static_cast<void*>(&table.name));
    const bool made = Exec(shape_.get(), sql, refused);
    sqlite3_set_authorizer(shape_.get(), nullptr, nullptr);
    if (!made || table.name.empty() ||
        !EachRow(
            shape_.get(),
            "SELECT name FROM pragma_table_xinfo(" + SqlQuoted(table.name, '\'') +
                ") WHERE hidden = 0",
            [&](sqlite3_stmt* row) {
              table.columns.emplace_back(
                  reinterpret_cast<const char*>(sqlite3_column_text(row, 0)));
            },
            refused)) {
      return;
    }
    (void)Exec(shape_.get(), "DROP TABLE " + Identifier(table.name), refused);
    if (table.columns.empty() || index_.count(table.name) != 0) {
      return;
    }
    table.own_table = IsStoreTable(table.name.c_str()) ||
                      sqlite3_stricmp(table.name.c_str(), "sqlite_sequence") == 0;
    std::string list;
    for (const std::string& column : table.columns) {
      list += (list.empty() ? "" : ", ") + Identifier(column);
    }
    if (table.own_table &&
        !Exec(scratch_.get(), "CREATE TABLE " + Identifier(table.name) + "(" + list + ")",
              refused)) {
      return;
    }
    if (IsLostAndFound(table.name, table.columns)) {
      lost_and_found_ = table.name;
    }
    index_[table.name] = tables_.size();
    tables_.push_back(std::move(table));
  }

  Connection scratch_;
  Connection shape_;
  Statement insert_other_;
  std::vector<Recovery::Table> tables_;
  std::map<std::string, size_t> index_;  // by name, as the extension names them
  std::string lost_and_found_;
  int64_t next_row_ = 0;
  int64_t unreadable_rows_ = 0;
  bool rows_begun_ = false;
  bool out_of_memory_ = false;
};

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

// Why the extension stopped. Until it hands over rows it runs the file's
// schema texts, and only one that loops makes it work that long; once it
// reads rows its work follows the pages, and only rows far more or far
// wider than such a file holds (a crafted one) use the budget up.
std::string RecoveryError(int rc, const char* message, const Capture& capture) {
  if (WorkBudgetSpent()) {
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
  const ExactQuote quote;
  Connection input = OpenBytes(bytes, error);
  Connection scratch = input ? OpenMemory(error) : nullptr;
  Connection shape = scratch ? OpenMemory(error) : nullptr;
  if (!shape) {
    return false;
  }
  Capture capture(std::move(scratch), std::move(shape));
  if (!capture.Ready(error)) {
    return false;
  }
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
  }
  sqlite3_recover_finish(recover);
  // What came before a stop is kept: each row stands on its own.
  if (rc != SQLITE_DONE && !capture.rows_begun()) {
    return false;
  }
  recovery.stopped = rc == SQLITE_DONE ? "" : error;
  capture.MoveInto(recovery);
  // What was handed over is read back by this code's own statements, in
  // proportion to the rows: no budget is needed, and after a stop none is
  // left.
  sqlite3_progress_handler(recovery.rows.get(), 0, nullptr, nullptr);
  return true;
}

bool ReadRecoveredTable(const Recovery& recovery, const Recovery::Table& table,
                        RecoveredTable& rows, std::string& error) {
  const Statement stmt =
      Prepare(recovery.rows.get(),
              table.own_table ? "SELECT * FROM " + Identifier(table.name) + " ORDER BY rowid"
                              : std::string("SELECT row, field, value FROM ") + kOtherRows +
                                    " WHERE tab = ? ORDER BY rowid",
              error);
  if (!stmt) {
    return false;
  }
  const auto tab = static_cast<size_t>(&table - recovery.tables.data());
  (void)sqlite3_bind_int64(stmt.get(), 1, static_cast<sqlite3_int64>(tab));
  rows.name = table.name;
  rows.columns = table.columns;
  int64_t last_row = -1;
  const int rc = EachRow(stmt.get(), [&](sqlite3_stmt* row) {
    if (table.own_table) {
      Values values;
      for (int i = 0; i < sqlite3_column_count(row); ++i) {
        values.push_back(ReadValue(row, i));
      }
      rows.rows.push_back(std::move(values));
      return;
    }
    if (sqlite3_column_int64(row, 0) != last_row) {
      last_row = sqlite3_column_int64(row, 0);
      rows.rows.emplace_back();
    }
    Values& values = rows.rows.back();
    const auto field = static_cast<size_t>(sqlite3_column_int64(row, 1));
    values.resize(std::max(values.size(), field + 1));
    values[field] = ReadValue(row, 2);
  });
  if (rc != SQLITE_DONE) {
    error = sqlite3_errmsg(recovery.rows.get());
    return false;
  }
  return true;
}

std::vector<std::string> IntegrityFindings(const std::string& bytes) {
  Integrity integrity;
  std::string error;
  const Connection db = OpenBytes(bytes, error);
  if (!db || !CheckIntegrity(db.get(), integrity, error)) {
    integrity.findings.push_back("cannot run PRAGMA integrity_check: " + error);
  }
  return integrity.findings;
}

}  // namespace dbi
