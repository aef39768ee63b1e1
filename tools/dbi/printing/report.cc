#include "printing/report.h"

#include <algorithm>
#include <cstdio>

#include "printing/json_writer.h"
#include "printing/utc_time.h"
#include "reading/store_tables.h"
#include "schema/schema.h"

namespace dbi {

namespace {

using database_interface::CoreRecode;
using database_interface::InstanceInfo;

// Whether SelectSessionCache would no longer return the entry: it reads an
// entry only while its expiry lies after the reference time.
bool Expired(const SessionEntry& entry, int64_t now_ms) {
  return entry.expire_time <= now_ms;
}

std::string VersionText(const std::optional<std::string>& version) {
  return version ? Quoted(*version) : "none";
}

// Each list below ends at its last row, at a failed read, or once `out` has
// failed: a reader who closed the pipe does not wait for the rest of the
// file to be read. The next list is begun only when neither failed.
bool PrintStarts(std::ostream& out, const StoreView& view, StoreRows& rows) {
  out << "\nStart records: " << view.start_count << '\n';
  StartRecord start;
  CoreRecode core;
  InstanceInfo info;
  while (out && rows.NextStart(start)) {
    out << "  start " << start.id << ": sdk_version " << Quoted(start.sdk_version) << ", sdk_type "
        << Quoted(start.sdk_type) << ", start_time " << TimeText(start.start_time) << '\n';
    while (out && rows.NextCore(core)) {
      out << "    core record " << core.id << ": dump " << Quoted(core.dump_file_path) << ", log "
          << Quoted(core.log_file_path) << ", create_time " << TimeText(core.create_time) << '\n';
    }
    while (out && rows.NextInstance(info)) {
      out << "    instance " << info.id << ": instance_no " << Quoted(info.instance_no)
          << ", session_id " << Quoted(info.session_id) << ", business_type " << info.business_type
          << ", protocol_type " << Quoted(info.protocol_type) << ", create_time "
          << TimeText(info.create_time) << '\n';
    }
  }
  return out && !rows.failed();
}

bool PrintSessions(std::ostream& out, const StoreView& view, StoreRows& rows,
                   const ShowSettings& settings) {
  out << "\nSession cache: " << view.session_count << " entries, judged at "
      << TimeText(settings.now_ms);
  if (view.session_count != 0 && !settings.reveal_secrets) {
    out << " (values masked; --reveal-secrets shows them)";
  }
  out << '\n';
  SessionEntry entry;
  while (out && rows.NextSession(entry)) {
    out << "  " << Quoted(entry.key) << " = "
        << (settings.reveal_secrets ? Quoted(entry.value)
                                    : std::to_string(entry.value_bytes) + " bytes")
        << ", expires " << FormatUtc(entry.expire_time) << " (" << entry.expire_time << " ms, "
        << (Expired(entry, settings.now_ms) ? "expired" : "valid") << ")\n";
  }
  return out && !rows.failed();
}

void PrintKeyPairs(std::ostream& out, const StoreView& view, StoreRows& rows, bool reveal) {
  out << "\nKey pairs: " << view.key_pair_count << " stored";
  if (view.key_pair_count != 0 && !reveal) {
    out << " (masked; --reveal-secrets shows them)";
  }
  out << '\n';
  KeyPair pair;
  while (out && rows.NextKeyPair(pair)) {
    if (reveal) {
      out << "  access key " << Quoted(pair.access_key) << ", secret key "
          << Quoted(pair.secret_key) << '\n';
    } else {
      out << "  access key: " << pair.access_key_bytes
          << " bytes, secret key: " << pair.secret_key_bytes << " bytes\n";
    }
  }
}

// As in the text, but a list cut short is left open: a document that ends
// early is no valid JSON, and cannot pass for the whole store.
bool WriteStartsJson(JsonWriter& json, const std::ostream& out, StoreRows& rows) {
  json.Key("start_records");
  json.BeginArray();
  StartRecord start;
  CoreRecode core;
  InstanceInfo info;
  while (out && rows.NextStart(start)) {
    json.BeginObject();
    json.NumberField("id", start.id);
    json.StringField("sdk_version", start.sdk_version);
    json.StringField("sdk_type", start.sdk_type);
    json.NumberField("start_time", start.start_time);
    json.StringField("start_time_utc", FormatUtc(start.start_time));
    json.Key("core_records");
    json.BeginArray();
    while (out && rows.NextCore(core)) {
      json.BeginObject();
      json.NumberField("id", core.id);
      json.StringField("dump_file_path", core.dump_file_path);
      json.StringField("log_file_path", core.log_file_path);
      json.NumberField("create_time", core.create_time);
      json.StringField("create_time_utc", FormatUtc(core.create_time));
      json.EndObject();
    }
    json.EndArray();
    json.Key("instances");
    json.BeginArray();
    while (out && rows.NextInstance(info)) {
      json.BeginObject();
      json.NumberField("id", info.id);
      json.StringField("instance_no", info.instance_no);
      json.StringField("session_id", info.session_id);
      json.NumberField("business_type", info.business_type);
      json.StringField("protocol_type", info.protocol_type);
      json.NumberField("create_time", info.create_time);
      json.StringField("create_time_utc", FormatUtc(info.create_time));
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
  }
  if (!out || rows.failed()) {
    return false;
  }
  json.EndArray();
  return true;
}

bool WriteSessionsJson(JsonWriter& json, const std::ostream& out, StoreRows& rows,
                       const ShowSettings& settings) {
  const int64_t now_ms = settings.now_ms;
  json.Key(SessionTable());
  json.BeginObject();
  json.NumberField("now", now_ms);
  json.StringField("now_utc", FormatUtc(now_ms));
  json.BoolField("revealed", settings.reveal_secrets);
  json.Key("entries");
  json.BeginArray();
  SessionEntry entry;
  while (out && rows.NextSession(entry)) {
    json.BeginObject();
    json.StringField("key", entry.key);
    json.NumberField("value_bytes", entry.value_bytes);
    if (settings.reveal_secrets) {
      json.StringField("value", entry.value);
    }
    json.NumberField("expire_time", entry.expire_time);
    json.StringField("expire_utc", FormatUtc(entry.expire_time));
    json.BoolField("expired", Expired(entry, now_ms));
    json.EndObject();
  }
  if (!out || rows.failed()) {
    return false;
  }
  json.EndArray();
  json.EndObject();
  return true;
}

bool WriteKeyPairsJson(JsonWriter& json, const std::ostream& out, StoreRows& rows, bool reveal) {
  json.Key("key_pairs");
  json.BeginObject();
  json.BoolField("revealed", reveal);
  json.Key("pairs");
  json.BeginArray();
  KeyPair pair;
  while (out && rows.NextKeyPair(pair)) {
    json.BeginObject();
    json.NumberField("access_key_bytes", pair.access_key_bytes);
    json.NumberField("secret_key_bytes", pair.secret_key_bytes);
    if (reveal) {
      json.StringField("access_key", pair.access_key);
      json.StringField("secret_key", pair.secret_key);
    }
    json.EndObject();
  }
  if (!out || rows.failed()) {
    return false;
  }
  json.EndArray();
  json.EndObject();
  return true;
}

void WriteVersionJson(JsonWriter& json, const std::optional<std::string>& version,
                      database_interface::Opening opening) {
  json.Key("schema_version");
  if (version) {
    json.String(*version);
  } else {
    json.Null();
  }
  json.StringField("library_schema_version", database_interface::kSchemaVersion);
  json.StringField("opening", OpeningName(opening));
  json.StringField("opening_effect", OpeningEffect(opening));
}

// Whether the check found damage to the pages, which recover reads past.
bool Damaged(const CheckReport& report) {
  return std::any_of(report.findings.begin(), report.findings.end(),
                     [](const Finding& finding) { return finding.area == "integrity"; });
}

std::string RecoverCommand(const std::string& file) {
  return "dbi recover " + Quoted(file) + " OUT";
}

}  // namespace

void PrintShowText(std::ostream& out, const StoreView& view, StoreRows& rows,
                   const ShowSettings& settings) {
  out << "File: " << Quoted(settings.file) << '\n';
  out << "Schema version: " << VersionText(view.version) << " (this library writes "
      << database_interface::kSchemaVersion << ")\n";
  out << "Opening it with this library would " << OpeningEffect(view.opening) << '\n';
  for (const StoredCode& code : view.stored_code) {
    out << "Warning: " << Escaped(DescribeStoredCode(code)) << '\n';
  }
  out << "Rows:";
  const char* separator = " ";
  for (const TableRows& table : view.tables) {
    out << separator << table.name << ' ';
    if (table.present) {
      out << table.rows;
    } else {
      out << "(no table)";
    }
    separator = ", ";
  }
  out << '\n';
  if (PrintStarts(out, view, rows) && PrintSessions(out, view, rows, settings)) {
    PrintKeyPairs(out, view, rows, settings.reveal_secrets);
  }
}

void PrintShowJson(std::ostream& out, const StoreView& view, StoreRows& rows,
                   const ShowSettings& settings) {
  JsonWriter json(out);
  json.BeginObject();
  json.StringField("file", settings.file);
  WriteVersionJson(json, view.version, view.opening);
  json.Key("rows");
  json.BeginObject();
  for (const TableRows& table : view.tables) {
    json.Key(table.name);
    if (table.present) {
      json.Number(table.rows);
    } else {
      json.Null();
    }
  }
  json.EndObject();
  json.ObjectArrayField("triggers_and_views", view.stored_code, [&](const StoredCode& code) {
    json.StringField("type", code.type);
    json.StringField("name", code.name);
    json.StringField("table", code.table);
  });
  if (WriteStartsJson(json, out, rows) && WriteSessionsJson(json, out, rows, settings) &&
      WriteKeyPairsJson(json, out, rows, settings.reveal_secrets)) {
    json.EndObject();
  }
}

void PrintCheckText(std::ostream& out, const std::string& file, const CheckReport& report) {
  for (const Finding& finding : report.findings) {
    out << finding.area << ": " << Escaped(finding.message) << '\n';
  }
  if (report.findings.empty()) {
    out << Quoted(file) << ": healthy, schema version " << VersionText(report.version)
        << "; opening would " << OpeningEffect(report.opening) << '\n';
    return;
  }
  out << Quoted(file) << ": " << Counted(report.findings.size(), "finding", "findings") << '\n';
  if (Damaged(report)) {
    out << "Its rows can be salvaged into a new store: " << RecoverCommand(file) << '\n';
  }
}

void PrintCheckJson(std::ostream& out, const std::string& file, const CheckReport& report) {
  JsonWriter json(out);
  json.BeginObject();
  json.StringField("file", file);
  json.BoolField("healthy", report.findings.empty());
  WriteVersionJson(json, report.version, report.opening);
  json.ObjectArrayField("findings", report.findings, [&](const Finding& finding) {
    json.StringField("area", finding.area);
    json.StringField("message", finding.message);
  });
  json.Key("recover");
  Damaged(report) ? json.String(RecoverCommand(file)) : json.Null();
  json.EndObject();
}

}  // namespace dbi
