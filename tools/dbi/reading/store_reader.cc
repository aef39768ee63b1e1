#include "reading/store_reader.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <tuple>
#include <utility>

#include "reading/new_store.h"
#include "reading/read_only_vfs.h"
#include "reading/store_tables.h"
#include "reading/tree_walk.h"
#include "schema/schema.h"

namespace dbi {

namespace {

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
  return library.db_ && MakeNewStore(library.db_.get(), error) && library.ReadTables(tables, error);
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
      "SELECT " + std::string(StoreTable(database_interface::kCreateDbVersion).columns[1].name) +
          " FROM " + VersionTable() + " LIMIT 1",
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
      !ReadVersion(tables.count(VersionTable()) != 0, view.version, error)) {
    return false;
  }
  view.opening = OpeningOf(view.version);
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
  database_interface::CoreRecode core;
  database_interface::InstanceInfo info;
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
  const database_interface::Table& starts = StoreTable(database_interface::kCreateStartRecode);
  const database_interface::Table& cores = StoreTable(database_interface::kCreateCoreRecode);
  const database_interface::Table& instances = StoreTable(database_interface::kCreateInstanceInfo);
  const database_interface::Table& sessions = StoreTable(database_interface::kCreateSessionCache);
  const database_interface::Table& pairs = StoreTable(database_interface::kCreateMessageCollectKey);
  // A secret never enters this process unless it is to be shown: only its
  // length is read.
  const auto secret = [&](const database_interface::Table& table, size_t column) {
    return rows.read_secrets_
               ? std::string("0")
               : "length(CAST(" + std::string(table.columns[column].name) + " AS BLOB))";
  };
  const auto shown = [&](const database_interface::Table& table, size_t column) {
    return rows.read_secrets_ ? std::string(table.columns[column].name) : "''";
  };
  return ready(starts.name,
               [&] {
                 return Prepare("SELECT " + ColumnList(starts) + " FROM " + starts.name +
                                    " ORDER BY id",
                                rows.starts_, error) &&
                        count(starts.name, view.start_count);
               }) &&
         ready(cores.name,
               [&] {
                 return ReadyChildren(rows.cores_, ColumnList(cores), present(cores.name)->rows,
                                      error);
               }) &&
         ready(instances.name,
               [&] {
                 return ReadyChildren(rows.instances_, ColumnList(instances),
                                      present(instances.name)->rows, error);
               }) &&
         ready(sessions.name,
               [&] {
                 return Prepare("SELECT " + std::string(SessionKeyColumn()) + ", " +
                                    shown(sessions, 2) + ", " + ExpiryColumn() + ", " +
                                    secret(sessions, 2) + " FROM " + sessions.name + " ORDER BY id",
                                rows.sessions_, error) &&
                        count(sessions.name, view.session_count);
               }) &&
         ready(pairs.name, [&] {
           return Prepare("SELECT " + shown(pairs, 0) + ", " + shown(pairs, 1) + ", " +
                              secret(pairs, 0) + ", " + secret(pairs, 1) + " FROM " + pairs.name +
                              " ORDER BY rowid",
                          rows.key_pairs_, error) &&
                  count(pairs.name, view.key_pair_count);
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
          "SELECT " + std::string(StartIdColumn()) + ", " + rowid + " FROM " + table +
              " ORDER BY id",
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

}  // namespace dbi
