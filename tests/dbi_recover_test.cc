// Salvage on stores changed or damaged by hand: each row makes a store as
// the library does, gives it rows no store can hold or bytes no reader can
// trust, and states what salvage writes, what it leaves out and why.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "reading/new_store.h"
#include "reading/sqlite_statement.h"
#include "recover/first_page.h"
#include "recover/recovered_store.h"
#include "schema/schema.h"
#include "support/refusing_authorizer.h"

namespace dbi {
namespace {

constexpr size_t kPageSize = 4096;  // a new store's
constexpr int64_t kManyStarts = 400;

// The bytes of a new store with `sql` run on it.
std::string StoreFile(const std::string& sql) {
  std::string error;
  const Connection db = OpenMemory(error);
  EXPECT_TRUE(db && dbi::MakeNewStore(db.get(), error) && Exec(db.get(), sql, error)) << error;
  return db ? Serialized(db.get()) : std::string();
}

int64_t Count(sqlite3* db, const std::string& sql) {
  std::string error;
  const Statement stmt = Prepare(db, sql, error);
  EXPECT_TRUE(stmt) << sql << ": " << error;
  return stmt && sqlite3_step(stmt.get()) == SQLITE_ROW ? sqlite3_column_int64(stmt.get(), 0) : -1;
}

TableRecovered CountsOf(const RecoverReport& report, const std::string& table) {
  const auto found =
      std::find_if(report.tables.begin(), report.tables.end(),
                   [&](const TableRecovered& counts) { return counts.name == table; });
  return found != report.tables.end() ? *found : TableRecovered{table, 0, 0, {}};
}

// Salvages `file` into `out`, a new in-memory database.
RecoverReport Recovered(const std::string& file, Connection& out) {
  std::string error;
  out = OpenMemory(error);
  RecoverReport report;
  EXPECT_TRUE(out && RecoverStore(file, out.get(), report, error)) << error;
  return report;
}

constexpr char kTwoStarts[] =
    "INSERT INTO start_recode (sdk_version, sdk_type, start_time) "
    "VALUES ('2.0', 'ios', 1), ('2.1', 'ios', 2);";
constexpr char kNoForeignKeys[] = "PRAGMA foreign_keys = OFF;";
constexpr char kNoUniqueSessionKey[] =
    "PRAGMA writable_schema = ON;"
    "UPDATE sqlite_schema SET sql = replace(sql, 'NOT NULL UNIQUE', 'NOT NULL') "
    "WHERE name = 'session_cache';"
    "DELETE FROM sqlite_schema WHERE name = 'sqlite_autoindex_session_cache_1';"
    "PRAGMA writable_schema = RESET;";
std::string CoreOn(int start) {
  return "INSERT INTO core_recode (dump_file_path, log_file_path, start_recode_id, create_time) "
         "VALUES ('d', 'l', " +
         std::to_string(start) + ", 5);";
}

TEST(DbiRecoverTest, EachRowIsWrittenOrLeftOutWithItsReason) {
  struct Row {
    const char* name;
    std::string file;
    const char* table;
    int64_t found;
    int64_t written;
    const char* reason;  // why the others are left out; null when none is
    const char* query;   // asked of the salvaged store, or null
    int64_t answer;
  };
  const char* const kSequence = "SELECT seq FROM sqlite_sequence WHERE name = 'start_recode'";
  const Row rows[] = {
      {"a core on a kept start", StoreFile(kTwoStarts + CoreOn(1)), "core_recode", 1, 1, nullptr,
       "SELECT count(*) FROM core_recode WHERE start_recode_id = 1", 1},
      {"two key pairs, which have no id to keep one per",
       StoreFile("INSERT INTO message_collect_key VALUES ('a', 'b'), ('c', 'd');"),
       "message_collect_key", 2, 2, nullptr, nullptr, 0},
      {"a core whose start is gone",
       StoreFile(std::string(kNoForeignKeys) + kTwoStarts + CoreOn(9)), "core_recode", 1, 0,
       kOrphan, nullptr, 0},
      // The sequence an id beyond 32 bits left behind is no store's either.
      {"a start with a text for its time, one whose id needs more than 32 bits",
       StoreFile(std::string(kTwoStarts) +
                 "INSERT INTO start_recode VALUES (3, '2.2', 'ios', 'soon'), "
                 "(4294967296, '2.3', 'ios', 3);"),
       "start_recode", 4, 2, kWrongType, kSequence, 2},
      {"a start table with a column of its own",
       StoreFile(std::string("ALTER TABLE start_recode ADD COLUMN note TEXT;") + kTwoStarts),
       "start_recode", 2, 0, kExtraColumns, nullptr, 0},
      {"a session key twice, the later expiry kept",
       StoreFile(std::string(kNoUniqueSessionKey) +
                 "INSERT INTO session_cache (session_key, session_value, expire_time) "
                 "VALUES ('k', 'later', 9), ('k', 'earlier', 5), ('j', 'other', 1);"),
       "session_cache", 3, 2, kDuplicate,
       "SELECT count(*) FROM session_cache WHERE session_value IN ('later', 'other')", 2},
      {"rows on pages that no table owns",
       StoreFile("CREATE TABLE notes(x); INSERT INTO notes VALUES (1), (2);"
                 "PRAGMA writable_schema = ON; DELETE FROM sqlite_schema WHERE name = 'notes';"),
       "lost_and_found", 2, 0, kUnplaced, nullptr, 0},
      {"tables named like the lost and found but of other columns",
       StoreFile("CREATE TABLE dbi_lost_and_found_a(x, pgno, nfield, id, c0);"
                 "CREATE TABLE dbi_lost_and_found_e(rootpgno, pgno, nfield, id);"
                 "INSERT INTO dbi_lost_and_found_a VALUES (1, 2, 3, 4, 5);"
                 "INSERT INTO dbi_lost_and_found_e VALUES (1, 2, 3, 4);"),
       "lost_and_found", 0, 0, nullptr, "SELECT 0", 0},
      // A sequence of a table the store has not is left behind.
      {"ids handed out beyond the highest kept",
       StoreFile(std::string(kTwoStarts) +
                 "INSERT INTO start_recode VALUES (7, '2.7', 'ios', 7);"
                 "DELETE FROM start_recode WHERE id = 7; INSERT INTO sqlite_sequence VALUES "
                 "('notes', 3);"),
       "start_recode", 2, 2, nullptr,
       "SELECT sum(seq) FROM sqlite_sequence WHERE name != 'db_version'", 7},
      {"a sequence behind the kept ids",
       StoreFile(std::string(kTwoStarts) +
                 "UPDATE sqlite_sequence SET seq = 1 WHERE name = 'start_recode';"),
       "start_recode", 2, 2, nullptr, kSequence, 2},
  };
  for (const Row& row : rows) {
    Connection out;
    const RecoverReport report = Recovered(row.file, out);
    const TableRecovered counts = CountsOf(report, row.table);
    EXPECT_EQ(counts.found, row.found) << row.name;
    EXPECT_EQ(counts.written, row.written) << row.name;
    const int64_t left_out = row.found - row.written;
    std::map<std::string, int64_t> reasons;
    if (left_out > 0) {
      reasons[row.reason] = left_out;
    }
    EXPECT_EQ(counts.left_out, reasons) << row.name;
    const auto listed =
        std::count_if(report.left_out_rows.begin(), report.left_out_rows.end(),
                      [&](const LeftOutRow& left) { return left.table->name == row.table; });
    EXPECT_EQ(listed, left_out) << row.name;
    if (out && row.query != nullptr) {
      EXPECT_EQ(Count(out.get(), row.query), row.answer) << row.name;
    }
  }
}

// Without its sequence table in the schema, the extension hands the version
// row over as one of that table's: a row of no table is counted, not lost.
TEST(DbiRecoverTest, ARowOfNoTableIsCountedUnreadable) {
  Connection out;
  const RecoverReport report =
      Recovered(StoreFile(std::string(kTwoStarts) +
                          "PRAGMA writable_schema = ON;"
                          "DELETE FROM sqlite_schema WHERE name = 'sqlite_sequence';"),
                out);
  EXPECT_EQ(report.unreadable_rows, 1);
  EXPECT_EQ(CountsOf(report, "start_recode").written, 2);
}

TEST(DbiRecoverTest, TheVersionRowIsReportedNotCopied) {
  const struct {
    const char* sql;
    bool found;
    const char* version;
  } rows[] = {
      {"UPDATE db_version SET version = '1.9.0';", true, "1.9.0"},
      {"UPDATE db_version SET version = X'312E39';", true, "none"},  // bytes, no text
      {"DELETE FROM db_version;", false, "none"},
  };
  for (const auto& row : rows) {
    Connection out;
    const RecoverReport report = Recovered(StoreFile(row.sql), out);
    EXPECT_EQ(report.version_row_found, row.found) << row.sql;
    EXPECT_EQ(report.version.value_or("none"), row.version) << row.sql;
    EXPECT_EQ(Count(out.get(), "SELECT count(*) FROM db_version WHERE version = '1.9.0'"), 0)
        << row.sql;
  }
}

// The one maker of the stores recover writes to: every table and the
// version row in a sound connection, and where a step is refused, that
// step's reason and nothing after it.
std::string Version(sqlite3* db) {
  sqlite3_stmt* stmt = nullptr;
  std::string version;
  if (sqlite3_prepare_v2(db, "SELECT version FROM db_version", -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    version = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
  }
  sqlite3_finalize(stmt);
  return version;
}

TEST(DbiRecoverTest, ANewStoreIsMadeWholeOrItsFirstRefusedStepIsTold) {
  struct Row {
    const char* name;
    int refused;  // the authorizer's action refused on the store's objects, or 0
    bool made;
    const char* version;  // the version row afterwards
  };
  const Row rows[] = {
      {"sound", 0, true, database_interface::kSchemaVersion},
      {"foreign keys refused", SQLITE_PRAGMA, false, ""},
      {"a table refused", SQLITE_CREATE_TABLE, false, ""},
      {"the version row refused", SQLITE_INSERT, false, ""},
  };
  for (const Row& row : rows) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    const ::dbi_test::Refusal refusal{row.refused};
    ::dbi_test::RefuseOn(db, refusal);
    std::string error;
    EXPECT_EQ(MakeNewStore(db, error), row.made) << row.name;
    EXPECT_EQ(error, row.made ? "" : "not authorized") << row.name;
    sqlite3_set_authorizer(db, nullptr, nullptr);
    EXPECT_EQ(Version(db), row.version) << row.name;
    // A statement left unfinalized would keep the connection from closing.
    EXPECT_EQ(sqlite3_close(db), SQLITE_OK) << row.name;
  }
}

// A row the new store refuses, as a broken connection might: no salvage,
// and SQLite's reason for it, named by its table.
TEST(DbiRecoverTest, ARowTheNewStoreRefusesFailsTheSalvage) {
  std::string error;
  const Connection out = OpenMemory(error);
  ASSERT_TRUE(out && dbi::MakeNewStore(out.get(), error) &&
              Exec(out.get(),
                   "CREATE TEMP TRIGGER no_starts BEFORE INSERT ON start_recode "
                   "BEGIN SELECT RAISE(ABORT, 'no starts'); END",
                   error))
      << error;
  RecoverReport report;
  EXPECT_FALSE(RecoverStore(StoreFile(kTwoStarts), out.get(), report, error));
  EXPECT_EQ(error, "start_recode: no starts");
}

// A table of the file's own is left out whole, each value as it was stored:
// reals to their last digit, texts with their NUL bytes.
TEST(DbiRecoverTest, LeftOutValuesAreExact) {
  Connection out;
  const RecoverReport report = Recovered(
      StoreFile("CREATE TABLE notes(n INTEGER PRIMARY KEY, x); INSERT INTO notes (x) VALUES "
                "(0.1), (9e999), (CAST(X'610062' AS TEXT)), (X'00FF'), (NULL);"),
      out);
  using Kept = std::tuple<Value::Type, double, std::string>;
  std::vector<Kept> values;
  for (const LeftOutRow& left : report.left_out_rows) {
    if (left.table->name == "notes" && left.reason == kNotStoreTable && left.values.size() == 2) {
      values.emplace_back(left.values[1].type, left.values[1].real, left.values[1].bytes);
    }
  }
  const std::vector<Kept> stored = {
      {Value::Type::kReal, 0.1, ""},
      {Value::Type::kReal, std::numeric_limits<double>::infinity(), ""},
      {Value::Type::kText, 0, std::string("a\0b", 3)},
      {Value::Type::kBlob, 0, std::string("\0\xff", 2)},
      {Value::Type::kNull, 0, ""},
  };
  EXPECT_EQ(values, stored);
  EXPECT_EQ(CountsOf(report, "notes").left_out.at(kNotStoreTable), 5);
}

// The store's rows, on many pages, damaged the ways a disk or a copy
// damages a file: what comes back is unchanged, and only a lost page's rows
// are missing.
TEST(DbiRecoverTest, RowsOnUndamagedPagesComeBack) {
  const std::string many = StoreFile(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
      "INSERT INTO start_recode (sdk_version, sdk_type, start_time) "
      "SELECT printf('2.%d', i), printf('%0100d', i), i FROM n;");
  std::string last_zeroed = many;
  last_zeroed.replace(many.size() - kPageSize, kPageSize, kPageSize, '\0');
  std::string first_overwritten = many;
  first_overwritten.replace(0, kPageSize, kPageSize, '\xa5');
  struct Row {
    const char* name;
    std::string file;
    int64_t fewest;  // rows written, at least
    int64_t most;
    bool new_first_page;
    bool rows_missing;
  };
  const int64_t per_page = kPageSize / 120;
  const Row rows[] = {
      {"sound", many, kManyStarts, kManyStarts, false, false},
      {"the last page zeroed", last_zeroed, kManyStarts - per_page, kManyStarts - 1, false, true},
      {"the first page overwritten", first_overwritten, kManyStarts, kManyStarts, true, false},
  };
  for (const Row& row : rows) {
    Connection out;
    const RecoverReport report = Recovered(row.file, out);
    const TableRecovered starts = CountsOf(report, "start_recode");
    EXPECT_GE(starts.written, row.fewest) << row.name;
    EXPECT_LE(starts.written, row.most) << row.name;
    EXPECT_EQ(starts.written, starts.found) << row.name;
    EXPECT_EQ(report.new_first_page, row.new_first_page) << row.name;
    EXPECT_EQ(report.page_size, row.new_first_page ? kPageSize : 0U) << row.name;
    EXPECT_EQ(report.first_page_problem.empty(), !row.new_first_page) << row.name;
    EXPECT_EQ(report.RowsMissing(), row.rows_missing) << row.name;
    // Findings on a damaged page, or why the check could not run at all.
    EXPECT_EQ(report.integrity_findings.empty(), !row.rows_missing && !row.new_first_page)
        << row.name;
    // The header's count, none from a header overwritten.
    EXPECT_EQ(report.header_pages, row.new_first_page ? 0 : many.size() / kPageSize) << row.name;
    EXPECT_EQ(report.file_pages, row.file.size() / kPageSize) << row.name;
    ASSERT_TRUE(out) << row.name;
    // As many rows as reported, each as it was stored (-1 when one is not).
    EXPECT_EQ(Count(out.get(),
                    "SELECT iif(min(sdk_version = printf('2.%d', id) AND start_time = id), "
                    "count(*), -1) FROM start_recode"),
              starts.written)
        << row.name;
  }
}

// Without a readable header, every page size SQLite allows that divides the
// file is tried, its default first.
TEST(DbiRecoverTest, AHeaderGivesItsPageSizeOrTheSizesToTry) {
  std::string header = StoreFile("").substr(0, 100);
  const struct {
    std::string file;
    std::vector<uint32_t> sizes;
  } rows[] = {
      {std::string(header).replace(16, 2, std::string("\x00\x01", 2)), {65536}},
      {std::string(3072, 'x'), {4096, 512, 1024}},
      {"", {4096}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(PageSizesToTry(row.file), row.sizes) << row.file.size();
  }
}

}  // namespace
}  // namespace dbi
