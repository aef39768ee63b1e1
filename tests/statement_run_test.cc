// The run protocol on a plain connection, for the paths that the store's own
// statements cannot be made to take on demand.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "store/sql_stmt.h"
#include "store/statement_run.h"
#include "support/log_capture.h"

// Beside the code it runs, whose helpers it calls by their own names.
namespace database_interface {
namespace {

using dbi_test::LogCapture;

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
    sqlite3_exec(db_, "CREATE TABLE t(x INTEGER); INSERT INTO t VALUES (1), (2), (3), (4), (5);",
                 nullptr, nullptr, nullptr);
  }
  void TearDown() override { sqlite3_close_v2(db_); }

  sqlite3* db_ = nullptr;
  LogCapture log_;
};

// A step that fails midway keeps the rows read before it; a bind that fails
// (here a text length beyond 32 bits, which must saturate rather than wrap
// to a length that would store a piece of the text as if whole) answers 0;
// a row whose copy runs out of memory leaves the caller's vector with the
// whole rows before it and no half-built one. The failures are logged, and
// each leaves the statement reset and unlocked for the next call.
TEST_F(StatementRunTest, FailuresKeepWholeRowsAndLeaveTheStatementReady) {
  for (const size_t length : {size_t{INT32_MAX} + 1, size_t{UINT32_MAX}, SIZE_MAX}) {
    EXPECT_EQ(TextLength(length), INT32_MAX) << length;
  }
  SqlStmt stmt(db_, kFailsAtThird.sql);
  WorkBudget budget;
  const StmtLease lease(&stmt, kFailsAtThird, budget, nullptr);
  std::vector<std::pair<int32_t, std::string>> rows;
  const auto read = [&](const Row& row) {
    AppendRow(rows, [&](std::pair<int32_t, std::string>& element) {
      element.first = row.Int(0);
      if (element.first == 5) {
        throw std::bad_alloc();
      }
      row.Text(0, element.second);
    });
  };
  EXPECT_EQ(RunAllRows(lease, {IntParam(":min", 1)}, read), -1);
  EXPECT_EQ(RunAllRows(lease, {TextParam(":min", "1", TextLength(SIZE_MAX))}, read), 0);
  EXPECT_THROW(RunAllRows(lease, {IntParam(":min", 4)}, read), std::bad_alloc);
  EXPECT_EQ(rows, (std::vector<std::pair<int32_t, std::string>>{{1, "1"}, {2, "2"}, {4, "4"}}));
  ASSERT_TRUE(stmt.lock.try_lock());
  stmt.lock.unlock();
  int32_t first = 0;
  EXPECT_EQ(
      RunAtMostOneRow(lease, {IntParam(":min", 2)}, [&](const Row& row) { first = row.Int(0); }),
      1);
  EXPECT_EQ(first, 2);
  const std::string with_sql = std::string(" with sql[") + kFailsAtThird.sql + "] ",
                    run = "[database]test::FailsAtThird";
  EXPECT_EQ(log_.Lines(),
            (std::vector<std::string>{
                run + " sqlite3_step" + with_sql + "failed:SQL logic error",
                run + " sqlite3_bind_text" + with_sql + "at[:min] failed:string or blob too big"}));
}

}  // namespace
}  // namespace database_interface
