#include "reading/store_reader.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <tuple>
#include <utility>

#include "limits/work_budget.h"
#include "reading/integrity.h"
#include "reading/read_only_vfs.h"
#include "reading/tree_walk.h"
#include "schema/new_store.h"
#include "schema/schema.h"

namespace dbi {

namespace {

using database_interface::CoreRecode;
using database_interface::InstanceInfo;

// The whole text of a column, NUL bytes included, so that nothing stored is
// hidden from view.
std::string Text(sqlite3_stmt* stmt, int column) {
  const auto* text = static_cast<const char*>(sqlite3_column_blob(stmt, column));
  const int bytes = sqlite3_column_bytes(stmt, column);
  return text == nullptr ? std::string() : std::string(text, static_cast<size_t>(bytes));
}

int32_t Int(sqlite3_stmt* stmt, int column) {
  return sqlite3_column_int(stmt, column);
}

int64_t Int64(sqlite3_stmt* stmt, int column) {
  return sqlite3_column_int64(stmt, column);
}

// Why a read on `db` failed with `rc`, in the words dbi prints.
std::string ReadFailure(sqlite3* db, int rc) {
  if (rc == SQLITE_INTERRUPT && WorkBudgetSpent()) {
    return kWorkBudgetSpent;
  }
  if (rc == SQLITE_TOOBIG) {
    return "it holds a value longer than the " + std::to_string(kLongestValue >> 20) +
           " MiB that dbi reads";
  }
  return sqlite3_errmsg(db);
}

// `path` as a URI with `parameters`. Always a URI, since SQLite may be built
// to read a plain name that starts "file:" as one: the path stays a path.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the path, then what follows its "?"
std::string Uri(const std::string& path, const std::string& parameters) {
  // A leading "//" would otherwise be read as an authority.
  std::string uri = path.rfind('/', 0) == 0 ? "file://" : "file:";
  for (const char c : path) {
    if (std::isalnum(static_cast<unsigned char>(c)) != 0 || std::strchr("/-._~", c) != nullptr) {
      uri += c;
    } else {
      char escaped[4];
      (void)std::snprintf(escaped, sizeof(escaped), "%%%02X", static_cast<unsigned char>(c));
      uri += escaped;
    }
  }
  return uri + "?" + parameters;
}

}  // namespace

// Everything the library never creates runs inside a program that uses
// the file: a trigger when its table changes, a view when it is read.
std::string DescribeStoredCode(const StoredCode& code) {
  if (code.type == "trigger") {
    return "trigger '" + code.name + "' on '" + code.table +
           "': this library creates none, and it runs inside any program that changes that table";
  }
  return "view '" + code.name +
         "': this library creates none, and it runs inside any program that reads it";
}

bool StoreReader::Open(const FileSet& set, std::string& error) {
  Close();
  hot_journal_ = false;
  const std::string parameters = ReadOnlyParameters(set, error);
  if (parameters.empty()) {
    return false;
  }
  // Read-only and without SQLITE_OPEN_CREATE, through a layer that opens
  // nothing for writing: SQLite neither writes to the file nor creates or
  // deletes one, whatever happens below.
  sqlite3* opened = nullptr;
  const int rc = sqlite3_open_v2(Uri(set.path, parameters).c_str(), &opened,
                                 SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, ReadOnlyVfs());
  db_.reset(opened);
  if (rc != SQLITE_OK) {
    error = std::string("cannot open: ") + sqlite3_errstr(rc);
    Close();
    return false;
  }
  // A value is read whole: a planted one of gigabytes (a generated column
  // costs a file nothing) fails on this instead of filling the memory.
  sqlite3_limit(db_.get(), SQLITE_LIMIT_LENGTH, kLongestValue);
  return true;
}

void StoreReader::Close() {
  db_.reset();
}

std::string StoreReader::Failure() {
  // A read-only connection cannot roll back what a cut-off write left in
  // the journal; the library's Init does, before anything else.
  hot_journal_ = hot_journal_ || sqlite3_extended_errcode(db_.get()) == SQLITE_READONLY_ROLLBACK;
  if (hot_journal_) {
    return "it has a hot journal (a write that was cut off), which only opening it read-write "
           "rolls back";
  }
  return ReadFailure(db_.get(), sqlite3_errcode(db_.get()));
}

bool StoreReader::Query(const std::string& sql, const RowReader& on_row, std::string& error) {
  if (!EachRow(db_.get(), sql, on_row, error)) {
    error = Failure();
    return false;
  }
  return true;
}

bool StoreReader::ReadTables(std::map<std::string, std::string>& tables, std::string& error) {
  return Query(
      "SELECT name, sql FROM sqlite_master WHERE type = 'table'",
      [&](sqlite3_stmt* row) { tables[Text(row, 0)] = Text(row, 1); }, error);
}

bool StoreReader::ReadLibraryTables(std::map<std::string, std::string>& tables,
                                    std::string& error) {
  StoreReader library;
  library.db_ = OpenMemory(error);
  return library.db_ && database_interface::MakeNewStore(library.db_.get(), error) &&
         library.ReadTables(tables, error);
}

bool StoreReader::ReadStoredCode(std::vector<StoredCode>& code, std::string& error) {
  return Query(
      "SELECT type, name, tbl_name FROM sqlite_master WHERE type IN ('trigger', 'view') "
      "ORDER BY type, name",
      [&](sqlite3_stmt* row) {
        code.push_back({Text(row, 0), Text(row, 1), Text(row, 2)});
      },
      error);
}

bool StoreReader::ReadVersion(bool has_table, std::optional<std::string>& version,
                              std::string& error) {
  version.reset();
  if (!has_table) {
    return true;
  }
  // The first row of the table scan, the one the library's check reads.
  return Query(
      "SELECT version FROM db_version LIMIT 1",
      [&](sqlite3_stmt* row) {
        const unsigned char* text = sqlite3_column_text(row, 0);
        version = text == nullptr ? "" : reinterpret_cast<const char*>(text);
      },
      error);
}

int64_t StoreReader::CountRows(const std::string& table) {
  int64_t rows = -1;
  std::string ignored;
  Query(
      "SELECT count(*) FROM \"" + table + "\"", [&](sqlite3_stmt* row) { rows = Int64(row, 0); },
      ignored);
  return rows;
}

bool StoreReader::Read(StoreView& view, StoreRows& rows, bool read_secrets, std::string& error) {
  // One read transaction for all of it: the counts are printed before the
  // rows they count, and the records' keys are read long before the records.
  if (sqlite3_get_autocommit(db_.get()) != 0 && !Exec(db_.get(), "BEGIN", error)) {
    return false;
  }
  // Nothing is scanned on a file whose trees are not trees: a scan could
  // read the same rows without end.
  const std::optional<std::string> problem = TreeProblem(db_.get(), error);
  if (!problem) {
    error = Failure();
    return false;
  }
  if (!problem->empty()) {
    error = *problem + " (see dbi check)";
    return false;
  }
  std::map<std::string, std::string> tables;
  if (!ReadTables(tables, error) || !ReadStoredCode(view.stored_code, error) ||
      !ReadVersion(tables.count("db_version") != 0, view.version, error)) {
    return false;
  }
  view.opening = OpeningFor(view.version);
  for (const database_interface::Table& table : database_interface::kTables) {
    TableRows counted{table.name, tables.count(table.name) != 0, 0};
    if (counted.present) {
      counted.rows = CountRows(table.name);
    }
    view.tables.push_back(counted);
  }
  rows.read_secrets_ = read_secrets;
  return ReadyRows(view, rows, error);
}

bool StoreReader::Read(StoreView& view, bool read_secrets, std::string& error) {
  StoreRows rows;
  if (!Read(view, rows, read_secrets, error)) {
    return false;
  }
  StartRecord start;
  CoreRecode core;
  InstanceInfo info;
  SessionEntry entry;
  KeyPair pair;
  while (rows.NextStart(start)) {
    while (rows.NextCore(core)) {
    }
    while (rows.NextInstance(info)) {
    }
  }
  while (rows.NextSession(entry)) {
  }
  while (rows.NextKeyPair(pair)) {
  }
  error = rows.error();
  return !rows.failed();
}

// A table of another layout fails here, before anything is printed, and so
// does a damaged page on any path these reads take; what can still fail
// later lies only on the pages that the rows alone reach.
bool StoreReader::ReadyRows(StoreView& view, StoreRows& rows, std::string& error) {
  auto present = [&](const char* name) -> const TableRows* {
    const auto table =
        std::find_if(view.tables.begin(), view.tables.end(),
                     [&](const TableRows& candidate) { return candidate.name == name; });
    return table != view.tables.end() && table->present ? &*table : nullptr;
  };
  // Each step names its table, so a failure message says where it failed.
  auto ready = [&](const char* table, const std::function<bool()>& step) {
    if (present(table) == nullptr || step()) {
      return true;
    }
    error = std::string(table) + ": " + error;
    return false;
  };
  // Along the table, as its rows are read: the count printed above a list
  // must be that of the rows in it, whatever an index of the table holds.
  auto count = [&](const char* table, int64_t& rows_in_table) {
    return Query(
        std::string("SELECT count(*) FROM ") + table + " NOT INDEXED",
        [&](sqlite3_stmt* row) { rows_in_table = Int64(row, 0); }, error);
  };
  return ready("start_recode",
               [&] {
                 return Prepare(
                            "SELECT id, sdk_version, sdk_type, start_time FROM start_recode "
                            "ORDER BY id",
                            rows.starts_, error) &&
                        count("start_recode", view.start_count);
               }) &&
         ready("core_recode",
               [&] {
                 return ReadyChildren(rows.cores_,
                                      "id, dump_file_path, log_file_path, start_recode_id, "
                                      "create_time",
                                      present("core_recode")->rows, error);
               }) &&
         ready("instance_info",
               [&] {
                 return ReadyChildren(rows.instances_,
                                      "id, instance_no, session_id, business_type, "
                                      "protocol_type, start_recode_id, create_time",
                                      present("instance_info")->rows, error);
               }) &&
         ready("session_cache",
               [&] {
                 return Prepare(rows.read_secrets_
                                    ? "SELECT session_key, session_value, expire_time, 0 FROM "
                                      "session_cache ORDER BY id"
                                    // Only the length: the token never enters this process.
                                    : "SELECT session_key, '', expire_time, "
                                      "length(CAST(session_value AS BLOB)) FROM session_cache "
                                      "ORDER BY id",
                                rows.sessions_, error) &&
                        count("session_cache", view.session_count);
               }) &&
         ready("message_collect_key", [&] {
           return Prepare(rows.read_secrets_
                              ? "SELECT message_access_key, message_access_secret_key, 0, 0 "
                                "FROM message_collect_key ORDER BY rowid"
                              // Only the lengths: the secret never enters this process.
                              : "SELECT '', '', length(CAST(message_access_key AS BLOB)), "
                                "length(CAST(message_access_secret_key AS BLOB)) FROM "
                                "message_collect_key ORDER BY rowid",
                          rows.key_pairs_, error) &&
                  count("message_collect_key", view.key_pair_count);
         });
}

// Only the records' keys are read here; each record is read when its start
// is.
bool StoreReader::ReadyChildren(StoreRows::Children& children, const std::string& columns,
                                int64_t expected, std::string& error) {
  const std::string table = children.table;
  const std::string rowid = RowidName(table, error);
  if (rowid.empty() || !Prepare("SELECT " + columns + " FROM " + table + " WHERE " + rowid + " = ?",
                                children.read, error)) {
    return false;
  }
  if (expected > 0) {
    children.keys.reserve(static_cast<size_t>(expected));
  }
  uint32_t place = 0;
  if (!Query(
          "SELECT start_recode_id, " + rowid + " FROM " + table + " ORDER BY id",
          [&](sqlite3_stmt* row) {
            children.keys.push_back({Int(row, 0), place++, Int64(row, 1)});
          },
          error)) {
    return false;
  }
  std::sort(children.keys.begin(), children.keys.end(),
            [](const StoreRows::ChildKey& a, const StoreRows::ChildKey& b) {
              return std::tie(a.start_id, a.place) < std::tie(b.start_id, b.place);
            });
  return true;
}

// A column may take the name "rowid", and SQLite then reads that column
// under it: a lookup by it would scan the whole table for each record, and
// find the wrong ones.
std::string StoreReader::RowidName(const std::string& table, std::string& error) {
  std::set<std::string> taken;
  if (!Query(
          "SELECT lower(name) FROM pragma_table_xinfo('" + table + "')",
          [&](sqlite3_stmt* row) { taken.insert(Text(row, 0)); }, error)) {
    return "";
  }
  for (const char* name : {"rowid", "_rowid_", "oid"}) {
    if (taken.count(name) == 0) {
      return name;
    }
  }
  error = "its columns take every name of its rowid";
  return "";
}

bool StoreReader::Prepare(const std::string& sql, Statement& stmt, std::string& error) {
  stmt = dbi::Prepare(db_.get(), sql, error);
  return stmt != nullptr;
}

void StoreRows::Children::Select(int32_t start_id) {
  const auto range = std::equal_range(
      keys.begin(), keys.end(), ChildKey{start_id, 0, 0},
      [](const ChildKey& a, const ChildKey& b) { return a.start_id < b.start_id; });
  next = static_cast<size_t>(range.first - keys.begin());
  end = static_cast<size_t>(range.second - keys.begin());
}

bool StoreRows::Step(Statement& list, const char* table) {
  if (list == nullptr || failed()) {
    return false;
  }
  const int rc = sqlite3_step(list.get());
  if (rc == SQLITE_ROW) {
    return true;
  }
  if (rc != SQLITE_DONE) {
    error_ = std::string(table) + ": " + ReadFailure(sqlite3_db_handle(list.get()), rc);
  }
  list.reset();
  return false;
}

sqlite3_stmt* StoreRows::NextChild(Children& children) {
  if (failed() || children.next == children.end) {
    return nullptr;
  }
  sqlite3_stmt* read = children.read.get();
  (void)sqlite3_reset(read);
  (void)sqlite3_bind_int64(read, 1, children.keys[children.next++].rowid);
  const int rc = sqlite3_step(read);
  if (rc == SQLITE_ROW) {
    return read;
  }
  // Within one read transaction, only a damaged table loses a record
  // between its key's read and its own.
  error_ = std::string(children.table) + ": " +
           (rc == SQLITE_DONE ? "a record found in the table cannot be read by its rowid"
                              : ReadFailure(sqlite3_db_handle(read), rc));
  return nullptr;
}

bool StoreRows::NextStart(StartRecord& start) {
  cores_.next = cores_.end;
  instances_.next = instances_.end;
  if (!Step(starts_, "start_recode")) {
    return false;
  }
  sqlite3_stmt* row = starts_.get();
  start = {Int(row, 0), Text(row, 1), Text(row, 2), Int64(row, 3)};
  // An id not above all those before it is one seen again (an id beyond 32
  // bits cut to them, or a table of another layout with ids that repeat):
  // the records of that id went to the first start that had it.
  if (!highest_start_id_ || start.id > *highest_start_id_) {
    highest_start_id_ = start.id;
    cores_.Select(start.id);
    instances_.Select(start.id);
  }
  return true;
}

bool StoreRows::NextCore(CoreRecode& core) {
  sqlite3_stmt* row = NextChild(cores_);
  if (row == nullptr) {
    return false;
  }
  core = {Int(row, 0), Text(row, 1), Text(row, 2), Int(row, 3), Int64(row, 4)};
  return true;
}

bool StoreRows::NextInstance(InstanceInfo& info) {
  sqlite3_stmt* row = NextChild(instances_);
  if (row == nullptr) {
    return false;
  }
  info = {Int(row, 0),  Text(row, 1), Text(row, 2), Int(row, 3),
          Text(row, 4), Int(row, 5),  Int64(row, 6)};
  return true;
}

bool StoreRows::NextSession(SessionEntry& entry) {
  if (!Step(sessions_, "session_cache")) {
    return false;
  }
  sqlite3_stmt* row = sessions_.get();
  entry = {Text(row, 0), Text(row, 1), Int64(row, 2), Int64(row, 3)};
  if (read_secrets_) {
    entry.value_bytes = static_cast<int64_t>(entry.value.size());
  }
  return true;
}

bool StoreRows::NextKeyPair(KeyPair& pair) {
  if (!Step(key_pairs_, "message_collect_key")) {
    return false;
  }
  sqlite3_stmt* row = key_pairs_.get();
  pair = {Text(row, 0), Text(row, 1), Int64(row, 2), Int64(row, 3)};
  if (read_secrets_) {
    pair.access_key_bytes = static_cast<int64_t>(pair.access_key.size());
    pair.secret_key_bytes = static_cast<int64_t>(pair.secret_key.size());
  }
  return true;
}

CheckReport StoreReader::Check() {
  CheckReport report;
  auto add_finding = [&](const char* area, const std::string& message) {
    report.findings.push_back({area, message});
  };
  std::string error;
  // A file SQLite cannot read at all fails here, and nothing else can run.
  Integrity integrity;
  if (!CheckIntegrity(db_.get(), integrity, error)) {
    error = Failure();
    if (hot_journal_) {
      add_finding("journal", error);
    } else {
      add_finding("integrity", "cannot run PRAGMA integrity_check: " + error);
    }
    return report;
  }
  for (const std::string& line : integrity.findings) {
    add_finding("integrity", line);
  }
  if (integrity.trees_sound &&
      !Query(
          "PRAGMA foreign_key_check",
          [&](sqlite3_stmt* row) {
            add_finding("foreign key", Text(row, 0) + " row " + Text(row, 1) + " names a " +
                                           Text(row, 2) + " row that does not exist");
          },
          error)) {
    add_finding("foreign key", "cannot run PRAGMA foreign_key_check: " + error);
  }

  std::map<std::string, std::string> tables;
  if (!ReadTables(tables, error)) {
    add_finding("schema", "cannot read the table list: " + error);
  }
  std::map<std::string, std::string> library;
  if (!ReadLibraryTables(library, error)) {
    add_finding("schema", "cannot make this library's tables to compare: " + error);
  }
  for (const database_interface::Table& table : database_interface::kTables) {
    const auto stored = tables.find(table.name);
    if (stored == tables.end()) {
      add_finding("schema", std::string("table ") + table.name + " is missing");
    } else if (!library.empty() && stored->second != library[table.name]) {
      add_finding("schema", std::string("table ") + table.name +
                                " differs from this library's: " + stored->second);
    }
  }

  std::vector<StoredCode> stored_code;
  if (!ReadStoredCode(stored_code, error)) {
    add_finding("schema", "cannot read the trigger and view list: " + error);
  }
  for (const StoredCode& code : stored_code) {
    add_finding("schema", DescribeStoredCode(code));
  }

  if (!ReadVersion(tables.count("db_version") != 0, report.version, error)) {
    add_finding("version", "cannot read the schema version: " + error);
    return report;
  }
  // An older file is healthy: opening it migrates it and keeps every row.
  report.opening = OpeningFor(report.version);
  const std::string shown = "'" + report.version.value_or("") + "'";
  std::string problem;
  if (report.opening == Opening::kStamp) {
    problem = "no schema version is stored";
  } else if (report.opening == Opening::kRefuse) {
    problem = shown + " is not three numbers";
  } else if (report.opening == Opening::kRebuild) {
    problem = shown + " is newer than " + database_interface::kSchemaVersion;
  }
  if (!problem.empty()) {
    add_finding("version", problem + "; opening would " + OpeningEffect(report.opening));
  }
  return report;
}

}  // namespace dbi
