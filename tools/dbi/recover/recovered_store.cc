#include "recover/recovered_store.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <set>
#include <utility>

#include "files/sqlite_format.h"
#include "reading/new_store.h"
#include "reading/sqlite_statement.h"
#include "reading/store_tables.h"
#include "recover/first_page.h"

namespace dbi {

const char kOrphan[] = "orphan";
const char kDuplicate[] = "duplicate";
const char kWrongType[] = "wrong type";
const char kExtraColumns[] = "extra columns";
const char kNotStoreTable[] = "not a store table";
const char kUnplaced[] = "unplaced";

namespace {

namespace format = database_interface::sqlite_format;
using Kind = database_interface::ColumnType;

constexpr char kSequenceTable[] = "sqlite_sequence";

bool SameName(const std::string& a, const std::string& b) {
  return sqlite3_stricmp(a.c_str(), b.c_str()) == 0;
}

// The recovered table of `name`, if the extension found one.
const Recovery::Table* FindTable(const Recovery& recovery, const std::string& name) {
  const auto found =
      std::find_if(recovery.tables.begin(), recovery.tables.end(),
                   [&](const Recovery::Table& table) { return SameName(table.name, name); });
  return found != recovery.tables.end() ? &*found : nullptr;
}

std::shared_ptr<const LeftOutTable> ShapeOf(const database_interface::Table& table) {
  LeftOutTable shape{table.name, {}};
  for (size_t i = 0; i < table.column_count; ++i) {
    shape.columns.emplace_back(table.columns[i].name);
  }
  return std::make_shared<const LeftOutTable>(std::move(shape));
}

int Find(const database_interface::Table& table, const char* column) {
  for (size_t i = 0; i < table.column_count; ++i) {
    if (sqlite3_stricmp(table.columns[i].name, column) == 0) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool Fits(const Value& value, Kind kind) {
  switch (kind) {
    case Kind::kId:
    case Kind::kInt32:
      return value.type == Value::Type::kInteger &&
             value.integer >= std::numeric_limits<int32_t>::min() &&
             value.integer <= std::numeric_limits<int32_t>::max();
    case Kind::kInt64:
      return value.type == Value::Type::kInteger;
    case Kind::kText:
      return value.type == Value::Type::kText;
  }
  return false;
}

// A recovered row that fits its table, in the store's column order.
using Candidate = Values;

int64_t IdOf(const Candidate& row) {
  return row[0].integer;
}

// Sorts the recovered rows of one store table: those that fit go to
// `candidates`, the others to the report, each row moved, never copied.
class TableSorter {
 public:
  TableSorter(const database_interface::Table& store, RecoverReport& report, TableRecovered& counts)
      : store_(store), shape_(ShapeOf(store)), report_(report), counts_(counts) {}

  void Sort(RecoveredTable& table, std::vector<Candidate>& candidates) {
    std::vector<int> positions(store_.column_count, -1);
    bool extra = false;
    for (size_t i = 0; i < table.columns.size(); ++i) {
      const int position = Find(store_, table.columns[i].c_str());
      if (position < 0) {
        extra = true;
      } else {
        positions[static_cast<size_t>(position)] = static_cast<int>(i);
      }
    }
    const auto found =
        std::make_shared<const LeftOutTable>(LeftOutTable{store_.name, std::move(table.columns)});
    counts_.found += static_cast<int64_t>(table.rows.size());
    for (Values& row : table.rows) {
      bool fits = true;
      for (size_t c = 0; c < positions.size() && fits; ++c) {
        fits = positions[c] >= 0 &&
               Fits(row[static_cast<size_t>(positions[c])], store_.columns[c].type);
      }
      if (!fits || extra) {
        Leave(found, std::move(row), fits ? kExtraColumns : kWrongType);
        continue;
      }
      Candidate candidate(store_.column_count);
      for (size_t c = 0; c < positions.size(); ++c) {
        candidate[c] = std::move(row[static_cast<size_t>(positions[c])]);
      }
      candidates.push_back(std::move(candidate));
    }
    table.rows.clear();
  }

  // A candidate left out after all.
  void Leave(Candidate&& row, const char* reason) { Leave(shape_, std::move(row), reason); }

 private:
  void Leave(const std::shared_ptr<const LeftOutTable>& table, Values&& row, const char* reason) {
    ++counts_.left_out[reason];
    report_.left_out_rows.push_back({table, reason, std::move(row)});
  }

  const database_interface::Table& store_;
  std::shared_ptr<const LeftOutTable> shape_;
  RecoverReport& report_;
  TableRecovered& counts_;
};

// Keeps, of the candidates that share `key`, the one that `better` prefers,
// leaving the others out as duplicates; the kept ones in their first order.
template <typename Key, typename KeyOf, typename Better>
void KeepOnePer(std::vector<Candidate>& candidates, KeyOf key_of, Better better,
                TableSorter& sorter) {
  std::map<Key, size_t> chosen;
  std::vector<bool> kept(candidates.size(), true);
  for (size_t i = 0; i < candidates.size(); ++i) {
    const auto [at, inserted] = chosen.emplace(key_of(candidates[i]), i);
    if (inserted) {
      continue;
    }
    size_t loser = i;
    if (better(candidates[i], candidates[at->second])) {
      loser = at->second;
      at->second = i;
    }
    kept[loser] = false;
  }
  std::vector<Candidate> survivors;
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (kept[i]) {
      survivors.push_back(std::move(candidates[i]));
    } else {
      sorter.Leave(std::move(candidates[i]), kDuplicate);
    }
  }
  candidates = std::move(survivors);
}

// Rows of the recovered tables that a store's own tables would hold: what
// a new first page must bring back to be the right one.
int64_t RowsInStoreTables(const Recovery& recovery) {
  int64_t rows = 0;
  std::string ignored;  // a table that cannot be counted holds none
  for (const Recovery::Table& table : recovery.tables) {
    if (IsStoreTable(table.name.c_str()) && !SameName(table.name, VersionTable())) {
      (void)EachRow(
          recovery.rows.get(), "SELECT count(*) FROM \"" + table.name + "\"",
          [&](sqlite3_stmt* row) { rows += sqlite3_column_int64(row, 0); }, ignored);
    }
  }
  return rows;
}

// Writes `rows` into `table` of the store `out`: false, with the table and
// SQLite's message in `error`, on the first that does not go in.
bool InsertRows(sqlite3* out, const database_interface::Table& table,
                const std::vector<Candidate>& rows, std::string& error) {
  std::string names;
  std::string marks;
  for (size_t i = 0; i < table.column_count; ++i) {
    names += (names.empty() ? "" : ", ") + std::string(table.columns[i].name);
    marks += marks.empty() ? "?" : ", ?";
  }
  const Statement stmt = Prepare(
      out, std::string("INSERT INTO ") + table.name + " (" + names + ") VALUES (" + marks + ")",
      error);
  if (!stmt) {
    return false;
  }
  for (const Candidate& row : rows) {
    int rc = SQLITE_OK;
    for (size_t c = 0; c < row.size() && rc == SQLITE_OK; ++c) {
      const Value& value = row[c];
      const int at = static_cast<int>(c) + 1;
      // Every value fits its column (TableSorter): an integer or a text.
      rc = value.type == Value::Type::kText
               ? sqlite3_bind_text64(stmt.get(), at, value.bytes.data(), value.bytes.size(),
                                     SQLITE_STATIC, SQLITE_UTF8)
               : sqlite3_bind_int64(stmt.get(), at, value.integer);
    }
    if (rc == SQLITE_OK) {
      rc = sqlite3_step(stmt.get());
    }
    sqlite3_reset(stmt.get());
    if (rc != SQLITE_DONE) {
      error = std::string(table.name) + ": " + sqlite3_errmsg(out);
      return false;
    }
  }
  return true;
}

// Runs `sql` with `table` as ?1 and `seq` as ?2.
bool RunForSequence(sqlite3* out, const char* sql, const std::string& table, int64_t seq,
                    std::string& error) {
  const Statement stmt = Prepare(out, sql, error);
  if (!stmt) {
    return false;
  }
  sqlite3_bind_text(stmt.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int64(stmt.get(), 2, seq);
  if (sqlite3_step(stmt.get()) != SQLITE_DONE) {
    error = sqlite3_errmsg(out);
    return false;
  }
  return true;
}

// sqlite_sequence already holds each table's highest id; the file's own
// value may be higher (its highest rows deleted or lost).
bool KeepSequenceAtLeast(sqlite3* out, const std::string& table, int64_t seq, std::string& error) {
  return RunForSequence(out,
                        "INSERT INTO sqlite_sequence (name, seq) SELECT ?1, ?2 "
                        "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = ?1)",
                        table, seq, error) &&
         RunForSequence(out, "UPDATE sqlite_sequence SET seq = max(seq, ?2) WHERE name = ?1", table,
                        seq, error);
}

// The pages `file`'s header counts beside those it holds.
void ReportPages(const std::string& file, uint32_t page_size, RecoverReport& report) {
  if (page_size == 0) {
    return;
  }
  report.file_pages = file.size() / page_size;
  if (format::HasMagic(file) && file.size() >= format::kHeaderBytes) {
    report.header_pages = format::ReadBigEndian<4>(file, format::kPageCountOffset);
  }
}

// Reads the file through its own first page, or through a new store's.
bool Recover(const std::string& file, Recovery& recovery, RecoverReport& report,
             std::string& error) {
  std::string problem;
  const bool readable = RecoverBytes(file, recovery, problem);
  if (readable && !recovery.tables.empty()) {
    ReportPages(file, format::HeaderPageSize(file), report);
    return true;
  }
  report.first_page_problem = readable ? "no schema could be read from it" : problem;
  for (const uint32_t page_size : PageSizesToTry(file)) {
    const std::string patched = WithNewFirstPage(file, page_size);
    Recovery attempt;
    std::string ignored;
    if (!patched.empty() && RecoverBytes(patched, attempt, ignored) &&
        RowsInStoreTables(attempt) > 0) {
      recovery = std::move(attempt);
      report.new_first_page = true;
      report.page_size = page_size;
      ReportPages(file, page_size, report);
      return true;
    }
  }
  error = problem;
  return readable;
}

// The rows of `name` as recovered; none when the extension found no such
// table.
bool ReadTable(const Recovery& recovery, const std::string& name, RecoveredTable& table,
               std::string& error) {
  const Recovery::Table* found = FindTable(recovery, name);
  if (found != nullptr && !ReadRecoveredTable(recovery, *found, table, error)) {
    error.insert(0, "cannot read what was recovered: ");
    return false;
  }
  return true;
}

bool ReportVersion(const Recovery& recovery, RecoverReport& report, std::string& error) {
  RecoveredTable versions;
  if (!ReadTable(recovery, VersionTable(), versions, error)) {
    return false;
  }
  TableRecovered counts{VersionTable(), static_cast<int64_t>(versions.rows.size()), 0, {}};
  report.version_row_found = !versions.rows.empty();
  for (size_t i = 0; report.version_row_found && i < versions.columns.size(); ++i) {
    const Value& value = versions.rows.front()[i];
    if (SameName(versions.columns[i], "version") && value.type == Value::Type::kText) {
      report.version = value.bytes;
    }
  }
  report.tables.push_back(counts);
  return true;
}

// Leaves out every row of `recovered` for `reason`, counted under `shown`.
bool LeaveAll(const Recovery& recovery, const Recovery::Table& recovered, const std::string& shown,
              const char* reason, RecoverReport& report, std::string& error) {
  RecoveredTable table;
  if (!ReadRecoveredTable(recovery, recovered, table, error)) {
    return false;
  }
  TableRecovered counts{shown, static_cast<int64_t>(table.rows.size()), 0, {}};
  if (!table.rows.empty()) {
    counts.left_out[reason] = counts.found;
  }
  const auto shape =
      std::make_shared<const LeftOutTable>(LeftOutTable{shown, std::move(table.columns)});
  for (Values& row : table.rows) {
    report.left_out_rows.push_back({shape, reason, std::move(row)});
  }
  report.tables.push_back(counts);
  return true;
}

bool ReportOthers(const Recovery& recovery, RecoverReport& report, std::string& error) {
  for (const Recovery::Table& table : recovery.tables) {
    if (!IsStoreTable(table.name.c_str()) && !SameName(table.name, kSequenceTable) &&
        table.name != recovery.lost_and_found &&
        !LeaveAll(recovery, table, table.name, kNotStoreTable, report, error)) {
      return false;
    }
  }
  const Recovery::Table* lost = FindTable(recovery, recovery.lost_and_found);
  return lost == nullptr || LeaveAll(recovery, *lost, "lost_and_found", kUnplaced, report, error);
}

bool RaiseSequences(const Recovery& recovery, sqlite3* out, std::string& error) {
  RecoveredTable sequences;
  if (!ReadTable(recovery, kSequenceTable, sequences, error)) {
    return false;
  }
  if (sequences.columns.size() < 2) {
    return true;
  }
  for (const Values& row : sequences.rows) {
    const Value& name = row[0];
    const Value& seq = row[1];
    // Only what the store can use: a table of its own, an id that fits.
    if (name.type == Value::Type::kText && IsStoreTable(name.bytes.c_str()) &&
        Fits(seq, Kind::kId) && seq.integer > 0 &&
        !KeepSequenceAtLeast(out, name.bytes, seq.integer, error)) {
      return false;
    }
  }
  return true;
}

// The rows of one store table that can stand in a store, in id order: those
// that fit its columns, one per id and per session key, and only core and
// instance records whose start is kept (`start_ids`).
std::vector<Candidate> RowsToKeep(const database_interface::Table& table, RecoveredTable& recovered,
                                  const std::set<int64_t>& start_ids, TableSorter& sorter) {
  std::vector<Candidate> rows;
  sorter.Sort(recovered, rows);
  const bool has_id = table.columns[0].type == Kind::kId;
  if (has_id) {
    KeepOnePer<int64_t>(
        rows, IdOf, [](const Candidate& /*row*/, const Candidate& /*kept*/) { return false; },
        sorter);
  }
  const int key = Find(table, SessionKeyColumn());
  const int expiry = Find(table, ExpiryColumn());
  if (SameName(table.name, SessionTable()) && key >= 0 && expiry >= 0) {
    const auto later = [&](const Candidate& row) {
      return std::make_pair(row[static_cast<size_t>(expiry)].integer, IdOf(row));
    };
    KeepOnePer<std::string>(
        rows, [&](const Candidate& row) { return row[static_cast<size_t>(key)].bytes; },
        [&](const Candidate& row, const Candidate& kept) { return later(row) > later(kept); },
        sorter);
  }
  if (const int start = Find(table, StartIdColumn()); start >= 0) {
    std::vector<Candidate> tied;
    for (Candidate& row : rows) {
      if (start_ids.count(row[static_cast<size_t>(start)].integer) != 0) {
        tied.push_back(std::move(row));
      } else {
        sorter.Leave(std::move(row), kOrphan);
      }
    }
    rows = std::move(tied);
  }
  if (has_id) {
    std::sort(rows.begin(), rows.end(),
              [](const Candidate& a, const Candidate& b) { return IdOf(a) < IdOf(b); });
  }
  return rows;
}

// Writes the store tables' rows into the store `out`, one table at a time,
// counting per table.
bool WriteRows(const Recovery& recovery, sqlite3* out, RecoverReport& report, std::string& error) {
  // Starts first: whether a core or instance record has its start decides
  // whether it stays.
  std::vector<const database_interface::Table*> order;
  for (const database_interface::Table& table : database_interface::kTables) {
    if (SameName(table.name, StartTable())) {
      order.insert(order.begin(), &table);
    } else if (!SameName(table.name, VersionTable())) {
      order.push_back(&table);
    }
  }
  std::map<std::string, TableRecovered> counted;
  std::set<int64_t> start_ids;
  for (const database_interface::Table* table : order) {
    TableRecovered& counts = counted[table->name];
    counts.name = table->name;
    RecoveredTable recovered;
    if (!ReadTable(recovery, table->name, recovered, error)) {
      return false;
    }
    TableSorter sorter(*table, report, counts);
    const std::vector<Candidate> rows = RowsToKeep(*table, recovered, start_ids, sorter);
    if (!InsertRows(out, *table, rows, error)) {
      return false;
    }
    counts.written = static_cast<int64_t>(rows.size());
    if (SameName(table->name, StartTable())) {
      for (const Candidate& row : rows) {
        start_ids.insert(IdOf(row));
      }
    }
  }
  for (const database_interface::Table& table : database_interface::kTables) {
    if (SameName(table.name, VersionTable())) {
      if (!ReportVersion(recovery, report, error)) {
        return false;
      }
    } else {
      report.tables.push_back(counted[table.name]);
    }
  }
  return true;
}

}  // namespace

int64_t RecoverReport::Written() const {
  return std::accumulate(
      tables.begin(), tables.end(), int64_t{0},
      [](int64_t sum, const TableRecovered& table) { return sum + table.written; });
}

int64_t RecoverReport::LeftOut() const {
  return static_cast<int64_t>(left_out_rows.size());
}

bool RecoverReport::RowsMissing() const {
  // Through a new first page, the check finds the old one unreadable, not
  // a page of rows.
  return LeftOut() > 0 || !stopped.empty() || header_pages > file_pages ||
         (!integrity_findings.empty() && !new_first_page);
}

bool RecoverStore(std::string file, sqlite3* out, RecoverReport& report, std::string& error) {
  report.integrity_findings = IntegrityFindings(file);
  Recovery recovery;
  if (!Recover(file, recovery, report, error)) {
    return false;
  }
  std::string().swap(file);
  if (!MakeNewStore(out, error)) {
    return false;
  }
  // Writing what was found is this code's own work, in proportion to it.
  sqlite3_progress_handler(out, 0, nullptr, nullptr);
  report.unreadable_rows = recovery.unreadable_rows;
  report.stopped = recovery.stopped;
  return Exec(out, "BEGIN", error) && WriteRows(recovery, out, report, error) &&
         RaiseSequences(recovery, out, error) && Exec(out, "COMMIT", error) &&
         ReportOthers(recovery, report, error);
}

}  // namespace dbi
