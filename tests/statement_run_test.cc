// The run protocol on a plain connection, for the paths the store's own
// statements cannot reach on demand.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "sql_stmt.h"
#include "statement_run.h"
#include "support/log_capture.h"

namespace dbi_test {
namespace {

using namespace database_interface;

class StatementRunTest : public ::testing::Test {
 protected:
  StatementRunTest() {
    sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
    sqlite3_exec(db_, "CREATE TABLE t(x INTEGER); INSERT INTO t VALUES (1), (2), (3), (4);",
                 nullptr, nullptr, nullptr);
  }
  ~StatementRunTest() override { sqlite3_close_v2(db_); }

  sqlite3* db_ = nullptr;
  LogCapture log_;
};

// Fails (an integer overflow, reported as SQL logic error) on reaching x = 3.
const StmtInfo kFailsAtThird = {
    "SELECT CASE WHEN x = 3 THEN abs(x - 3 - 9223372036854775807 - 1) ELSE x END FROM t "
    "WHERE x >= :min",
    "test::FailsAtThird"};

TEST_F(StatementRunTest, AllRowsShapeKeepsRowsReadBeforeAFailedStep) {
  SqlStmt stmt(db_, kFailsAtThird.sql);
  std::vector<int32_t> rows;
  const auto read = [&](const Row& row) { rows.push_back(row.Int(0)); };
  EXPECT_EQ(RunAllRows(Target(&stmt, kFailsAtThird, nullptr), {IntParam(":min", 1)}, read), -1);
  EXPECT_EQ(rows, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(log_.Lines(), std::vector<std::string>{
                              std::string("[database]test::FailsAtThird sqlite3_step with sql[") +
                              kFailsAtThird.sql + "] failed:SQL logic error"});
  // Reset after the failure: a run that skips the bad row works.
  rows.clear();
  EXPECT_EQ(RunAllRows(Target(&stmt, kFailsAtThird, nullptr), {IntParam(":min", 4)}, read), 1);
  EXPECT_EQ(rows, std::vector<int32_t>{4});
}

TEST_F(StatementRunTest, FailedBindAnswersZeroInTheAllRowsShapeAndMinusOneElsewhere) {
  SqlStmt stmt(db_, kFailsAtThird.sql);
  const Target target(&stmt, kFailsAtThird, nullptr);
  int rows = 0;
  EXPECT_EQ(RunAllRows(target, {IntParam(":max", 1)}, [&](const Row&) { ++rows; }), 0);
  EXPECT_EQ(RunAtMostOneRow(target, {Int64Param(":max", 1)}, [&](const Row&) { ++rows; }), -1);
  EXPECT_EQ(RunNoRow(target, {TextParam(":max", "x", 1)}), -1);
  EXPECT_EQ(rows, 0);
  const std::string tail =
      std::string(" with sql[") + kFailsAtThird.sql + "] at[:max] failed:column index out of range";
  EXPECT_EQ(log_.Lines(),
            (std::vector<std::string>{"[database]test::FailsAtThird sqlite3_bind_int" + tail,
                                      "[database]test::FailsAtThird sqlite3_bind_int64" + tail,
                                      "[database]test::FailsAtThird sqlite3_bind_text" + tail}));
}

TEST_F(StatementRunTest, AnExceptionWhileReadingLeavesTheStatementResetAndUnlocked) {
  SqlStmt stmt(db_, kFailsAtThird.sql);
  const Target target(&stmt, kFailsAtThird, nullptr);
  EXPECT_THROW(
      RunAllRows(target, {IntParam(":min", 1)}, [](const Row&) { throw std::bad_alloc(); }),
      std::bad_alloc);
  ASSERT_TRUE(stmt.lock.try_lock());
  stmt.lock.unlock();
  int32_t first = 0;
  EXPECT_EQ(
      RunAtMostOneRow(target, {IntParam(":min", 2)}, [&](const Row& row) { first = row.Int(0); }),
      1);
  EXPECT_EQ(first, 2);
}

TEST_F(StatementRunTest, RefusedTargetTouchesNothing) {
  const Target refused(nullptr, kFailsAtThird, nullptr);
  int32_t id = 5;
  EXPECT_EQ(RunNoRow(refused, {}), -1);
  EXPECT_EQ(RunAllRows(refused, {}, [](const Row&) {}), -1);
  EXPECT_EQ(RunInsertReturningId(refused, {}, id), -1);
  EXPECT_EQ(id, 5);
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(StatementRunTest, PreparationFailureIsLoggedOnlyWhenTried) {
  SqlStmt bad(db_, "SELECT nothing FROM nowhere");
  EXPECT_EQ(bad.stmt, nullptr);
  SqlStmt untried(nullptr, "SELECT 1");
  EXPECT_EQ(untried.stmt, nullptr);
  EXPECT_EQ(log_.Lines(), std::vector<std::string>{
                              "[database]prepare sql[SELECT nothing FROM nowhere] failed:SQL "
                              "logic error"});
}

}  // namespace
}  // namespace dbi_test
