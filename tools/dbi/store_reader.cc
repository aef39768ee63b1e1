#include "store_reader.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <utility>

#include "read_only_vfs.h"
#include "schema.h"

namespace dbi {

namespace {

using database_interface::CoreRecode;
using database_interface::InstanceInfo;

// A table of the store as the library creates it, and the CREATE text that
// SQLite keeps for it: the library's text without "IF NOT EXISTS" and
// without its final ";".
struct StoreTable {
  std::string name;
  std::string stored_sql;
};

std::vector<StoreTable> StoreTables() {
  constexpr const char* kPrefix = "CREATE TABLE IF NOT EXISTS ";
  std::vector<StoreTable> tables;
  for (size_t i = database_interface::kFirstCreateTable; i < database_interface::kDdlCount; ++i) {
    std::string rest = database_interface::kDdl[i] + std::strlen(kPrefix);
    rest.erase(0, rest.find_first_not_of(' '));
    if (!rest.empty() && rest.back() == ';') {
      rest.pop_back();
    }
    tables.push_back({rest.substr(0, rest.find_first_of(" (")), "CREATE TABLE " + rest});
  }
  return tables;
}

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

// `starts` is in id order, as read.
StartRecord* FindStart(std::vector<StartRecord>& starts, int32_t id) {
  const auto found =
      std::lower_bound(starts.begin(), starts.end(), id,
                       [](const StartRecord& start, int32_t wanted) { return start.id < wanted; });
  return found != starts.end() && found->id == id ? &*found : nullptr;
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
  const int rc = sqlite3_open_v2(Uri(set.path, parameters).c_str(), &db_,
                                 SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, ReadOnlyVfs());
  if (rc != SQLITE_OK) {
    error = std::string("cannot open: ") + sqlite3_errstr(rc);
    Close();
    return false;
  }
  // A value is read whole: a planted one of gigabytes (a generated column
  // costs a file nothing) fails on this instead of filling the memory.
  sqlite3_limit(db_, SQLITE_LIMIT_LENGTH, kLongestValue);
  return true;
}

void StoreReader::Close() {
  if (db_ != nullptr) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
}

bool StoreReader::Query(const std::string& sql, const RowReader& on_row, std::string& error) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
  while (rc == SQLITE_OK || rc == SQLITE_ROW) {
    rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
      on_row(stmt);
    }
  }
  if (rc != SQLITE_DONE) {
    // A read-only connection cannot roll back what a cut-off write left in
    // the journal; the library's Init does, before anything else.
    hot_journal_ = hot_journal_ || sqlite3_extended_errcode(db_) == SQLITE_READONLY_ROLLBACK;
    if (hot_journal_) {
      error =
          "it has a hot journal (a write that was cut off), which only opening it read-write "
          "rolls back";
    } else if (rc == SQLITE_TOOBIG) {
      error = "it holds a value longer than the " + std::to_string(kLongestValue >> 20) +
              " MiB that dbi reads";
    } else {
      error = sqlite3_errmsg(db_);
    }
  }
  sqlite3_finalize(stmt);
  return rc == SQLITE_DONE;
}

bool StoreReader::ReadTables(std::map<std::string, std::string>& tables, std::string& error) {
  return Query(
      "SELECT name, sql FROM sqlite_master WHERE type = 'table'",
      [&](sqlite3_stmt* row) { tables[Text(row, 0)] = Text(row, 1); }, error);
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

bool StoreReader::Read(StoreView& view, bool read_secrets, std::string& error) {
  std::map<std::string, std::string> tables;
  if (!ReadTables(tables, error) || !ReadStoredCode(view.stored_code, error) ||
      !ReadVersion(tables.count("db_version") != 0, view.version, error)) {
    return false;
  }
  view.opening = OpeningFor(view.version);
  for (const StoreTable& table : StoreTables()) {
    TableRows counted{table.name, tables.count(table.name) != 0, 0};
    if (counted.present) {
      counted.rows = CountRows(table.name);
    }
    view.tables.push_back(counted);
  }
  return ReadRecords(view, read_secrets, error);
}

bool StoreReader::ReadRecords(StoreView& view, bool read_secrets, std::string& error) {
  auto present = [&](const char* name) {
    const auto table =
        std::find_if(view.tables.begin(), view.tables.end(),
                     [&](const TableRows& candidate) { return candidate.name == name; });
    return table != view.tables.end() && table->present;
  };
  // Each query names its table, so a failure message says where it failed.
  auto read = [&](const char* table, const std::string& sql, const RowReader& on_row) {
    if (!present(table) || Query(sql, on_row, error)) {
      return true;
    }
    error = std::string(table) + ": " + error;
    return false;
  };
  return read("start_recode",
              "SELECT id, sdk_version, sdk_type, start_time FROM start_recode ORDER BY id",
              [&](sqlite3_stmt* row) {
                view.starts.push_back(
                    {Int(row, 0), Text(row, 1), Text(row, 2), Int64(row, 3), {}, {}});
              }) &&
         read(
             "core_recode",
             "SELECT id, dump_file_path, log_file_path, start_recode_id, create_time "
             "FROM core_recode ORDER BY id",
             [&](sqlite3_stmt* row) {
               CoreRecode core{Int(row, 0), Text(row, 1), Text(row, 2), Int(row, 3), Int64(row, 4)};
               if (StartRecord* start = FindStart(view.starts, core.start_recode_id)) {
                 start->cores.push_back(core);
               }
             }) &&
         read("instance_info",
              "SELECT id, instance_no, session_id, business_type, protocol_type, start_recode_id, "
              "create_time FROM instance_info ORDER BY id",
              [&](sqlite3_stmt* row) {
                InstanceInfo info{Int(row, 0),  Text(row, 1), Text(row, 2), Int(row, 3),
                                  Text(row, 4), Int(row, 5),  Int64(row, 6)};
                if (StartRecord* start = FindStart(view.starts, info.start_recode_id)) {
                  start->instances.push_back(info);
                }
              }) &&
         read("session_cache",
              "SELECT session_key, session_value, expire_time FROM session_cache ORDER BY id",
              [&](sqlite3_stmt* row) {
                view.sessions.push_back({Text(row, 0), Text(row, 1), Int64(row, 2)});
              }) &&
         read("message_collect_key",
              read_secrets ? "SELECT message_access_key, message_access_secret_key, 0, 0 FROM "
                             "message_collect_key ORDER BY rowid"
                           // Only the lengths: the secret never enters this process.
                           : "SELECT '', '', length(CAST(message_access_key AS BLOB)), "
                             "length(CAST(message_access_secret_key AS BLOB)) FROM "
                             "message_collect_key ORDER BY rowid",
              [&](sqlite3_stmt* row) {
                KeyPair pair{Text(row, 0), Text(row, 1), Int64(row, 2), Int64(row, 3)};
                if (read_secrets) {
                  pair.access_key_bytes = static_cast<int64_t>(pair.access_key.size());
                  pair.secret_key_bytes = static_cast<int64_t>(pair.secret_key.size());
                }
                view.key_pairs.push_back(std::move(pair));
              });
}

CheckReport StoreReader::Check() {
  CheckReport report;
  auto add_finding = [&](const char* area, const std::string& message) {
    report.findings.push_back({area, message});
  };
  std::string error;
  // A file SQLite cannot read at all fails here, and nothing else can run.
  if (!Query(
          "PRAGMA integrity_check",
          [&](sqlite3_stmt* row) {
            // A row may hold several lines under a "*** in database" heading.
            std::istringstream lines(Text(row, 0));
            for (std::string line; std::getline(lines, line);) {
              if (line != "ok" && !line.empty() && line.rfind("*** ", 0) != 0) {
                add_finding("integrity", line);
              }
            }
          },
          error)) {
    if (hot_journal_) {
      add_finding("journal", error);
    } else {
      add_finding("integrity", "cannot run PRAGMA integrity_check: " + error);
    }
    return report;
  }
  if (!Query(
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
  for (const StoreTable& table : StoreTables()) {
    const auto stored = tables.find(table.name);
    if (stored == tables.end()) {
      add_finding("schema", "table " + table.name + " is missing");
    } else if (stored->second != table.stored_sql) {
      add_finding("schema",
                  "table " + table.name + " differs from this library's: " + stored->second);
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
