#include "salvage/salvage.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <set>
#include <utility>

#include "reading/sqlite_statement.h"
#include "salvage/first_page.h"
#include "schema/new_store.h"
#include "schema/schema.h"

namespace dbi {

const char kOrphan[] = "orphan";
const char kDuplicate[] = "duplicate";
const char kWrongType[] = "wrong type";
const char kExtraColumns[] = "extra columns";
const char kNotStoreTable[] = "not a store table";
const char kUnplaced[] = "unplaced";

namespace {

constexpr char kVersionTable[] = "db_version";
constexpr char kStartTable[] = "start_recode";
constexpr char kSessionTable[] = "session_cache";
constexpr char kSequenceTable[] = "sqlite_sequence";

using Kind = database_interface::ColumnType;

struct StoreColumn {
  std::string name;
  Kind kind;
};

struct StoreTable {
  std::string name;
  std::vector<StoreColumn> columns;

  int Find(const std::string& column) const {
    for (size_t i = 0; i < columns.size(); ++i) {
      if (sqlite3_stricmp(columns[i].name.c_str(), column.c_str()) == 0) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }
};

// A recovered row that fits its table, in the store's column order.
struct Candidate {
  Row values;
  const Row* source;
};

// The store's tables, in creation order, as the schema describes them.
std::vector<StoreTable> StoreTables() {
  std::vector<StoreTable> tables;
  for (const database_interface::Table& table : database_interface::kTables) {
    StoreTable& store = tables.emplace_back(StoreTable{table.name, {}});
    for (size_t i = 0; i < table.column_count; ++i) {
      store.columns.push_back({table.columns[i].name, table.columns[i].type});
    }
  }
  return tables;
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

// Sorts the recovered rows of one store table: those that fit go to
// `candidates`, the others to the report.
class TableSorter {
 public:
  TableSorter(const StoreTable& store, SalvageReport& report, TableSalvage& counts)
      : store_(store), report_(report), counts_(counts) {}

  void Sort(const RecoveredTable& table, std::vector<Candidate>& candidates) {
    std::vector<int> positions(store_.columns.size(), -1);
    bool extra = false;
    for (size_t i = 0; i < table.columns.size(); ++i) {
      const int position = store_.Find(table.columns[i]);
      if (position < 0) {
        extra = true;
      } else {
        positions[static_cast<size_t>(position)] = static_cast<int>(i);
      }
    }
    counts_.found += static_cast<int64_t>(table.rows.size());
    for (const Row& row : table.rows) {
      Candidate candidate{Row(store_.columns.size()), &row};
      bool fits = true;
      for (size_t c = 0; c < positions.size(); ++c) {
        if (positions[c] >= 0) {
          candidate.values[c] = row[static_cast<size_t>(positions[c])];
        }
        fits = fits && Fits(candidate.values[c], store_.columns[c].kind);
      }
      if (!fits || extra) {
        Leave(*candidate.source, table.columns, fits ? kExtraColumns : kWrongType);
      } else {
        candidates.push_back(std::move(candidate));
      }
    }
  }

  void Leave(const Row& row, const std::vector<std::string>& columns, const char* reason) {
    ++counts_.left_out[reason];
    report_.left_out_rows.push_back({store_.name, reason, columns, row});
  }

 private:
  const StoreTable& store_;
  SalvageReport& report_;
  TableSalvage& counts_;
};

// Keeps, of the candidates that share `key`, the one that `better` prefers,
// leaving the others out as duplicates; the kept ones in their first order.
template <typename Key, typename KeyOf, typename Better>
void KeepOnePer(std::vector<Candidate>& candidates, KeyOf key_of, Better better,
                const std::vector<std::string>& columns, TableSorter& sorter) {
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
    sorter.Leave(*candidates[loser].source, columns, kDuplicate);
  }
  std::vector<Candidate> survivors;
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (kept[i]) {
      survivors.push_back(std::move(candidates[i]));
    }
  }
  candidates = std::move(survivors);
}

const RecoveredTable* FindTable(const Recovery& recovery, const std::string& name) {
  for (const RecoveredTable& table : recovery.tables) {
    if (sqlite3_stricmp(table.name.c_str(), name.c_str()) == 0) {
      return &table;
    }
  }
  return nullptr;
}

bool IsStoreTable(const std::vector<StoreTable>& store, const std::string& name) {
  return std::any_of(store.begin(), store.end(), [&](const StoreTable& table) {
    return sqlite3_stricmp(table.name.c_str(), name.c_str()) == 0;
  });
}

int64_t RowsInStoreTables(const Recovery& recovery) {
  int64_t rows = 0;
  for (const RecoveredTable& table : recovery.tables) {
    if (sqlite3_stricmp(table.name.c_str(), kSequenceTable) != 0 &&
        sqlite3_stricmp(table.name.c_str(), kVersionTable) != 0) {
      rows += static_cast<int64_t>(table.rows.size());
    }
  }
  return rows;
}

// Writes `rows` into `table` of the store `out`: false, with the table and
// SQLite's message in `error`, on the first that does not go in.
bool InsertRows(sqlite3* out, const StoreTable& table, const std::vector<Candidate>& rows,
                std::string& error) {
  std::string names;
  std::string marks;
  for (const StoreColumn& column : table.columns) {
    names += (names.empty() ? "" : ", ") + column.name;
    marks += marks.empty() ? "?" : ", ?";
  }
  const Statement stmt =
      Prepare(out, "INSERT INTO " + table.name + " (" + names + ") VALUES (" + marks + ")", error);
  if (!stmt) {
    return false;
  }
  for (const Candidate& row : rows) {
    int rc = SQLITE_OK;
    for (size_t c = 0; c < row.values.size() && rc == SQLITE_OK; ++c) {
      const Value& value = row.values[c];
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
      error = table.name + ": " + sqlite3_errmsg(out);
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

int64_t IdOf(const Candidate& row) {
  return row.values[0].integer;
}

// Reads the file through its own first page, or through a new store's.
bool Recover(const std::string& file, Recovery& recovery, SalvageReport& report,
             std::string& error) {
  std::string problem;
  const bool readable = RecoverBytes(file, recovery, problem);
  if (readable && !recovery.tables.empty()) {
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
      return true;
    }
  }
  error = problem;
  return readable;
}

void ReportVersion(const RecoveredTable* versions, const StoreTable& store, SalvageReport& report) {
  TableSalvage counts{store.name, 0, 0, {}};
  if (versions != nullptr && !versions->rows.empty()) {
    counts.found = static_cast<int64_t>(versions->rows.size());
    report.version_row_found = true;
    for (size_t i = 0; i < versions->columns.size(); ++i) {
      const Value& value = versions->rows.front()[i];
      if (sqlite3_stricmp(versions->columns[i].c_str(), "version") == 0 &&
          value.type == Value::Type::kText) {
        report.version = value.bytes;
      }
    }
  }
  report.tables.push_back(counts);
}

void ReportOthers(const Recovery& recovery, const std::vector<StoreTable>& store,
                  SalvageReport& report) {
  auto leave_all = [&](const RecoveredTable& table, const std::string& name, const char* reason) {
    TableSalvage counts{name, static_cast<int64_t>(table.rows.size()), 0, {}};
    if (!table.rows.empty()) {
      counts.left_out[reason] = counts.found;
    }
    for (const Row& row : table.rows) {
      // A lost-and-found row holds its own fields only (RecoverBytes).
      const auto named = table.columns.begin() +
                         static_cast<std::ptrdiff_t>(std::min(row.size(), table.columns.size()));
      report.left_out_rows.push_back({name, reason, {table.columns.begin(), named}, row});
    }
    report.tables.push_back(counts);
  };
  for (const RecoveredTable& table : recovery.tables) {
    if (!IsStoreTable(store, table.name) &&
        sqlite3_stricmp(table.name.c_str(), kSequenceTable) != 0) {
      leave_all(table, table.name, kNotStoreTable);
    }
  }
  if (!recovery.lost_and_found.rows.empty()) {
    leave_all(recovery.lost_and_found, "lost_and_found", kUnplaced);
  }
}

bool RaiseSequences(const Recovery& recovery, const std::vector<StoreTable>& store, sqlite3* out,
                    std::string& error) {
  const RecoveredTable* sequences = FindTable(recovery, kSequenceTable);
  if (sequences == nullptr || sequences->columns.size() < 2) {
    return true;
  }
  for (const Row& row : sequences->rows) {
    const Value& name = row[0];
    const Value& seq = row[1];
    // Only what the store can use: a table of its own, an id that fits.
    if (name.type == Value::Type::kText && IsStoreTable(store, name.bytes) &&
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
std::vector<Candidate> RowsToKeep(const StoreTable& table, const RecoveredTable* recovered,
                                  const std::set<int64_t>& start_ids, TableSorter& sorter) {
  std::vector<Candidate> rows;
  if (recovered == nullptr) {
    return rows;
  }
  sorter.Sort(*recovered, rows);
  const std::vector<std::string>& columns = recovered->columns;
  const bool has_id = table.columns.front().kind == Kind::kId;
  if (has_id) {
    KeepOnePer<int64_t>(
        rows, IdOf, [](const Candidate& /*row*/, const Candidate& /*kept*/) { return false; },
        columns, sorter);
  }
  const int key = table.Find("session_key");
  const int expiry = table.Find("expire_time");
  if (table.name == kSessionTable && key >= 0 && expiry >= 0) {
    const auto later = [&](const Candidate& row) {
      return std::make_pair(row.values[static_cast<size_t>(expiry)].integer, IdOf(row));
    };
    KeepOnePer<std::string>(
        rows, [&](const Candidate& row) { return row.values[static_cast<size_t>(key)].bytes; },
        [&](const Candidate& row, const Candidate& kept) { return later(row) > later(kept); },
        columns, sorter);
  }
  if (const int start = table.Find("start_recode_id"); start >= 0) {
    std::vector<Candidate> tied;
    for (Candidate& row : rows) {
      if (start_ids.count(row.values[static_cast<size_t>(start)].integer) != 0) {
        tied.push_back(std::move(row));
      } else {
        sorter.Leave(*row.source, columns, kOrphan);
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

// Writes the store tables' rows into the store `out`, counting per table.
bool WriteRows(const Recovery& recovery, const std::vector<StoreTable>& store, sqlite3* out,
               SalvageReport& report, std::string& error) {
  // Starts first: whether a core or instance record has its start decides
  // whether it stays.
  std::vector<const StoreTable*> order;
  for (const StoreTable& table : store) {
    if (table.name == kStartTable) {
      order.insert(order.begin(), &table);
    } else if (table.name != kVersionTable) {
      order.push_back(&table);
    }
  }
  std::map<std::string, TableSalvage> counted;
  std::set<int64_t> start_ids;
  for (const StoreTable* table : order) {
    TableSalvage& counts = counted[table->name];
    counts.name = table->name;
    TableSorter sorter(*table, report, counts);
    const std::vector<Candidate> rows =
        RowsToKeep(*table, FindTable(recovery, table->name), start_ids, sorter);
    if (!InsertRows(out, *table, rows, error)) {
      return false;
    }
    counts.written = static_cast<int64_t>(rows.size());
    if (table->name == kStartTable) {
      for (const Candidate& row : rows) {
        start_ids.insert(IdOf(row));
      }
    }
  }
  for (const StoreTable& table : store) {
    if (table.name == kVersionTable) {
      ReportVersion(FindTable(recovery, table.name), table, report);
    } else {
      report.tables.push_back(counted[table.name]);
    }
  }
  return true;
}

}  // namespace

int64_t SalvageReport::Written() const {
  return std::accumulate(
      tables.begin(), tables.end(), int64_t{0},
      [](int64_t sum, const TableSalvage& table) { return sum + table.written; });
}

bool Salvage(const std::string& file, sqlite3* out, SalvageReport& report, std::string& error) {
  report.integrity_findings = IntegrityFindings(file);
  Recovery recovery;
  const std::vector<StoreTable> store = StoreTables();
  if (!Recover(file, recovery, report, error) || !database_interface::MakeNewStore(out, error)) {
    return false;
  }
  report.unreadable_rows = recovery.unreadable_rows;
  report.stopped = recovery.stopped;
  if (!Exec(out, "BEGIN", error) || !WriteRows(recovery, store, out, report, error) ||
      !RaiseSequences(recovery, store, out, error) || !Exec(out, "COMMIT", error)) {
    return false;
  }
  ReportOthers(recovery, store, report);
  return true;
}

}  // namespace dbi
