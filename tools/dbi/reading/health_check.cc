#include "reading/health_check.h"

#include <map>

#include "reading/integrity.h"
#include "reading/store_tables.h"
#include "schema/schema.h"

namespace dbi {

CheckReport CheckHealth(StoreReader& reader) {
  CheckReport report;
  auto add_finding = [&](const char* area, const std::string& message) {
    report.findings.push_back({area, message});
  };
  std::string error;
  // A file SQLite cannot read at all fails here, and nothing else can run.
  Integrity integrity;
  if (!CheckIntegrity(reader.db(), integrity, error)) {
    error = reader.Failure();
    if (reader.hot_journal()) {
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
      !reader.Query(
          "PRAGMA foreign_key_check",
          [&](sqlite3_stmt* row) {
            add_finding("foreign key", Text(row, 0) + " row " + Text(row, 1) + " names a " +
                                           Text(row, 2) + " row that does not exist");
          },
          error)) {
    add_finding("foreign key", "cannot run PRAGMA foreign_key_check: " + error);
  }

  std::map<std::string, std::string> tables;
  if (!reader.ReadTables(tables, error)) {
    add_finding("schema", "cannot read the table list: " + error);
  }
  std::map<std::string, std::string> library;
  if (!StoreReader::ReadLibraryTables(library, error)) {
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
  if (!reader.ReadStoredCode(stored_code, error)) {
    add_finding("schema", "cannot read the trigger and view list: " + error);
  }
  for (const StoredCode& code : stored_code) {
    add_finding("schema", DescribeStoredCode(code));
  }

  if (!reader.ReadVersion(tables.count(VersionTable()) != 0, report.version, error)) {
    add_finding("version", "cannot read the schema version: " + error);
    return report;
  }
  // An older file is healthy: opening it migrates it and keeps every row.
  report.opening = OpeningOf(report.version);
  const std::string shown = "'" + report.version.value_or("") + "'";
  std::string problem;
  if (report.opening == database_interface::Opening::kStamp) {
    problem = "no schema version is stored";
  } else if (report.opening == database_interface::Opening::kRefuse) {
    problem = shown + " is not three numbers";
  } else if (report.opening == database_interface::Opening::kRebuild) {
    problem = shown + " is newer than " + database_interface::kSchemaVersion;
  }
  if (!problem.empty()) {
    add_finding("version", problem + "; opening would " + OpeningEffect(report.opening));
  }
  return report;
}

}  // namespace dbi
