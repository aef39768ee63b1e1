#include "printing/recover_report.h"

#include <cstdio>
#include <numeric>

#include "printing/json_writer.h"
#include "printing/text.h"
#include "reading/store_tables.h"

namespace dbi {

namespace {

int64_t LeftOut(const TableRecovered& table) {
  return std::accumulate(table.left_out.begin(), table.left_out.end(), int64_t{0},
                         [](int64_t sum, const auto& reason) { return sum + reason.second; });
}

std::string Reasons(const TableRecovered& table) {
  std::string text;
  for (const auto& [reason, count] : table.left_out) {
    text += (text.empty() ? "" : ", ") + std::to_string(count) + " " + reason;
  }
  return text;
}

std::string Hex(const std::string& bytes) {
  std::string hex;
  char digits[3];
  for (const char c : bytes) {
    (void)std::snprintf(digits, sizeof(digits), "%02x", static_cast<unsigned char>(c));
    hex += digits;
  }
  return hex;
}

void WriteValue(JsonWriter& json, const Value& value) {
  switch (value.type) {
    case Value::Type::kInteger:
      json.Number(value.integer);
      return;
    case Value::Type::kText:
      json.String(value.bytes);
      return;
    case Value::Type::kReal: {
      char text[32];
      (void)std::snprintf(text, sizeof(text), "%.17g", value.real);
      json.BeginObject();
      json.StringField("real", text);
      json.EndObject();
      return;
    }
    case Value::Type::kBlob:
      json.BeginObject();
      json.StringField("blob", Hex(value.bytes));
      json.EndObject();
      return;
    case Value::Type::kNull:
      json.Null();
      return;
  }
}

// The store's tables of which no row came back, by name.
std::string EmptyTables(const RecoverReport& report) {
  std::string names;
  for (const TableRecovered& table : report.tables) {
    if (table.found == 0 && IsStoreTable(table.name.c_str())) {
      names += (names.empty() ? "" : ", ") + table.name;
    }
  }
  return names;
}

}  // namespace

void PrintRecoverText(std::ostream& out, const RecoverReport& report,
                      const RecoverSettings& settings) {
  const auto written = static_cast<size_t>(report.Written());
  if (settings.written) {
    out << "Salvaged " << Quoted(settings.file) << " into " << Quoted(settings.output) << ": "
        << Counted(written, "row", "rows") << " written, "
        << Counted(static_cast<size_t>(report.LeftOut()), "row", "rows") << " left out\n";
  } else {
    out << "Nothing salvaged from " << Quoted(settings.file) << "; " << Quoted(settings.output)
        << " not written\n";
  }
  if (report.file_pages != 0) {
    out << "Pages: the header counts " << report.header_pages << ", the file holds "
        << report.file_pages;
    if (report.header_pages > report.file_pages) {
      out << ": the file is cut short, and the rows of the "
          << report.header_pages - report.file_pages << " pages it lacks are lost";
    }
    out << '\n';
  }
  if (report.RowsMissing() && !EmptyTables(report).empty()) {
    out << "Came back empty: " << EmptyTables(report) << '\n';
  }
  if (report.first_page_problem.empty()) {
    out << "First page: read\n";
  } else {
    out << "First page: unusable (" << Escaped(report.first_page_problem) << ")";
    if (report.new_first_page) {
      out << "; read through a new store's first page (page size " << report.page_size
          << "), which the " << Counted(written, "row", "rows") << " written came back through";
    }
    out << '\n';
  }
  if (!report.stopped.empty()) {
    out << "Stopped early: " << Escaped(report.stopped)
        << "; rows it would have found after that are not in the salvage\n";
  }
  out << "Version row: "
      << (!report.version_row_found ? "lost"
          : report.version          ? Quoted(*report.version)
                                    : "found, but its version is not a text")
      << '\n';
  out << "Integrity check of the file: "
      << (report.integrity_findings.empty()
              ? std::string("ok")
              : Counted(report.integrity_findings.size(), "finding", "findings"))
      << '\n';
  for (const std::string& finding : report.integrity_findings) {
    out << "  " << Escaped(finding) << '\n';
  }
  out << "Tables:\n";
  for (const TableRecovered& table : report.tables) {
    out << "  " << Escaped(table.name) << ": " << table.found << " found";
    if (table.name == VersionTable()) {
      out << " (reported, not copied: the new store has its own version row)\n";
      continue;
    }
    out << ", " << table.written << " written";
    if (!table.left_out.empty()) {
      out << ", " << LeftOut(table) << " left out (" << Reasons(table) << ")";
    }
    out << '\n';
  }
  if (report.unreadable_rows > 0) {
    out << "Rows the recovery found in a table whose definition could not be taken over: "
        << report.unreadable_rows << '\n';
  }
  if (!report.left_out_rows.empty()) {
    out << "The rows left out are listed by --json.\n";
  }
}

void PrintRecoverJson(std::ostream& out, const RecoverReport& report,
                      const RecoverSettings& settings) {
  JsonWriter json(out);
  json.BeginObject();
  json.StringField("file", settings.file);
  json.StringField("output", settings.output);
  json.BoolField("written", settings.written);
  json.NumberField("rows_written", report.Written());
  json.NumberField("rows_left_out", report.LeftOut());
  json.Key("pages");
  json.BeginObject();
  json.NumberField("header", report.header_pages);
  json.NumberField("file", static_cast<int64_t>(report.file_pages));
  json.EndObject();
  json.BoolField("rows_missing", report.RowsMissing());
  json.Key("first_page");
  json.BeginObject();
  json.BoolField("read", report.first_page_problem.empty());
  json.Key("problem");
  report.first_page_problem.empty() ? json.Null() : json.String(report.first_page_problem);
  json.BoolField("new_first_page", report.new_first_page);
  json.NumberField("page_size", report.page_size);
  json.NumberField("rows_through_new_first_page", report.new_first_page ? report.Written() : 0);
  json.EndObject();
  json.Key("stopped");
  report.stopped.empty() ? json.Null() : json.String(report.stopped);
  json.Key("version_row");
  json.BeginObject();
  json.BoolField("found", report.version_row_found);
  json.Key("version");
  report.version ? json.String(*report.version) : json.Null();
  json.EndObject();
  json.Key("integrity_check");
  json.BeginArray();
  for (const std::string& finding : report.integrity_findings) {
    json.String(finding);
  }
  json.EndArray();
  json.ObjectArrayField("tables", report.tables, [&](const TableRecovered& table) {
    json.StringField("name", table.name);
    json.NumberField("found", table.found);
    json.NumberField("written", table.written);
    json.Key("left_out");
    json.BeginObject();
    for (const auto& [reason, count] : table.left_out) {
      json.NumberField(reason, count);
    }
    json.EndObject();
  });
  json.NumberField("unreadable_rows", report.unreadable_rows);
  json.ObjectArrayField("left_out_rows", report.left_out_rows, [&](const LeftOutRow& row) {
    json.StringField("table", row.table->name);
    json.StringField("reason", row.reason);
    json.Key("values");
    json.BeginObject();
    for (size_t i = 0; i < row.table->columns.size() && i < row.values.size(); ++i) {
      json.Key(row.table->columns[i]);
      WriteValue(json, row.values[i]);
    }
    json.EndObject();
  });
  json.EndObject();
}

}  // namespace dbi
