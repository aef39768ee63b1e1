// The run protocol on a plain connection, for the paths that the store's own
// statements cannot be made to take on demand.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "sql_stmt.h"
#include "statement_run.h"
#include "support/log_capture.h"

namespace dbi_test {
namespace {

using database_interface::AppendRow;
using database_interface::IntParam;
using database_interface::Row;
using database_interface::RunAllRows;
using database_interface::RunAtMostOneRow;
using database_interface::SqlStmt;
using database_interface::StmtInfo;
using database_interface::StmtLease;
using database_interface::TextLength;
using database_interface::TextParam;

// Fails (an integer overflow, reported as SQL logic error) on reaching x = 3.
const StmtInfo kFailsAtThird = {
    0,
    "SELECT CASE WHEN x = 3 THEN abs(x - 3 - 9223372036854775807 - 1) ELSE x END FROM t WHERE "
    "x >= :min",
    "test::FailsAtThird"};

class StatementRunTest : public ::testing::Test {
 protected:
  StatementRunTest() {
    sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db_, "CREATE TABLE t(x INTEGER); INSERT INTO t VALUES (1), (2), (3), (4);",
                 nullptr, nullptr, nullptr);
  }
  void TearDown() override { sqlite3_close_v2(db_); }

  sqlite3* db_ = nullptr;
  LogCapture log_;
};

TEST_F(StatementRunTest, AllRowsShapeKeepsRowsBeforeAFailedStepAndAnswersZeroOnAFailedBind) {
  SqlStmt stmt(db_, kFailsAtThird.sql);
  const StmtLease target(&stmt, kFailsAtThird, nullptr);
  std::vector<int32_t> rows;
  const auto read = [&](const Row& row) { rows.push_back(row.Int(0)); };
  EXPECT_EQ(RunAllRows(target, {IntParam(":min", 1)}, read), -1);
  EXPECT_EQ(rows, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(RunAllRows(target, {IntParam(":max", 1)}, read), 0);  // no such parameter
  EXPECT_EQ(RunAllRows(target, {IntParam(":min", 4)}, read), 1);  // reset after both failures
  EXPECT_EQ(rows, (std::vector<int32_t>{1, 2, 4}));
  const std::string sql = kFailsAtThird.sql;
  EXPECT_EQ(log_.Lines(),
            (std::vector<std::string>{"[database]test::FailsAtThird sqlite3_step with sql[" + sql +
                                          "] failed:SQL logic error",
                                      "[database]test::FailsAtThird sqlite3_bind_int with sql[" +
                                          sql + "] at[:max] failed:column index out of range"}));
}

// Copying a row's text may run out of memory: the caller's vector keeps the
// whole rows before it and no half-built one, and the statement stays usable.
TEST_F(StatementRunTest, AnExceptionWhileReadingLeavesWholeRowsAndTheStatementResetAndUnlocked) {
  SqlStmt stmt(db_, kFailsAtThird.sql);
  const StmtLease target(&stmt, kFailsAtThird, nullptr);
  std::vector<std::pair<int32_t, std::string>> rows;
  const auto read = [&](const Row& row) {
    AppendRow(rows, [&](std::pair<int32_t, std::string>& element) {
      element.first = row.Int(0);
      if (element.first == 2) {
        throw std::bad_alloc();
      }
      row.Text(0, element.second);
    });
  };
  EXPECT_THROW(RunAllRows(target, {IntParam(":min", 1)}, read), std::bad_alloc);
  EXPECT_EQ(rows, (std::vector<std::pair<int32_t, std::string>>{{1, "1"}}));
  ASSERT_TRUE(stmt.lock.try_lock());
  stmt.lock.unlock();
  int32_t first = 0;
  EXPECT_EQ(
      RunAtMostOneRow(target, {IntParam(":min", 2)}, [&](const Row& row) { first = row.Int(0); }),
      1);
  EXPECT_EQ(first, 2);
}

// A length beyond 32 bits must not wrap to a small or negative one, which
// would store a piece of the text (or the text up to a NUL) as if whole.
TEST_F(StatementRunTest, TextLengthsBeyondInt32MaxSaturateAndSqliteRefusesThemAsTooBig) {
  const size_t lengths[] = {size_t{INT32_MAX} + 1, size_t{UINT32_MAX}, SIZE_MAX};
  for (const size_t length : lengths) {
    EXPECT_EQ(TextLength(length), INT32_MAX) << length;
  }
  EXPECT_EQ(TextLength(size_t{INT32_MAX}), INT32_MAX);
  EXPECT_EQ(TextLength(5), 5);

  SqlStmt stmt(db_, kFailsAtThird.sql);
  const StmtLease target(&stmt, kFailsAtThird, nullptr);
  EXPECT_EQ(RunAllRows(target, {TextParam(":min", "1", TextLength(SIZE_MAX))}, [](const Row&) {}),
            0);
  EXPECT_EQ(log_.Lines(),
            (std::vector<std::string>{"[database]test::FailsAtThird sqlite3_bind_text with sql[" +
                                      std::string(kFailsAtThird.sql) +
                                      "] at[:min] failed:string or blob too big"}));
}

}  // namespace
}  // namespace dbi_test
