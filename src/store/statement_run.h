// The one way every operation runs its prepared statement:
//
//   1. the instance decides whether the call may run at all (StmtLease);
//   2. the statement's lock is taken and, for a statement that writes, the
//      connection's own mutex too, held to the end so that no other
//      statement of the connection steps in between: SQLite commits an
//      autocommit write at its last step only while no other write on the
//      connection is under way, and would otherwise answer a row as stored
//      that a later failure rolls back. A read needs no such hold: its
//      steps never defer another statement's commit;
//   3. the parameters are bound by name, in order, stopping at the first
//      failure, which skips the step;
//   4. the statement is stepped in one of four shapes, rows are read;
//   5. on every way out, exceptions included, the statement is reset and
//      its locks released, so the next call finds it ready to bind;
//   6. only then is a failure's line written, so that a slow log sink, or
//      one that takes a lock of its host's, holds up no other call.
//
// Texts are bound without a copy (SQLITE_STATIC): the statement is always
// reset before the call returns, while the caller's bytes are still valid.

#ifndef DATABASE_INTERFACE_STORE_STATEMENT_RUN_H_
#define DATABASE_INTERFACE_STORE_STATEMENT_RUN_H_

#include <sqlite3.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "schema/statements.h"
#include "store/sql_stmt.h"
#include "store/work_budget.h"

namespace database_interface {

// One named parameter with the value to bind to it.
struct Param {
  enum class Kind { kText, kInt, kInt64 };

  const char* name;  // with its leading colon, as in ":id"
  Kind kind;
  const char* text;  // kText: the bytes, not copied
  int32_t text_len;  // kText: the byte count; negative means up to the NUL
  int64_t number;    // kInt, kInt64
};

// A byte count as SQLite's 32-bit length. Beyond INT32_MAX it stays at
// INT32_MAX instead of wrapping, which could make it small or negative and
// bind a piece of the text as if it were all of it: SQLite refuses a text of
// INT32_MAX bytes as too big, and the bind fails as it should.
inline int32_t TextLength(size_t bytes) {
  return bytes > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(bytes);
}

// The caller's own 32-bit length is passed on unchanged.
inline Param TextParam(const char* name, const char* text, int32_t len) {
  return Param{name, Param::Kind::kText, text, len, 0};
}
// A NUL-terminated text or a string, bound whole.
inline Param TextParam(const char* name, std::string_view text) {
  return TextParam(name, text.data(), TextLength(text.size()));
}
inline Param IntParam(const char* name, int32_t value) {
  return Param{name, Param::Kind::kInt, nullptr, 0, value};
}
inline Param Int64Param(const char* name, int64_t value) {
  return Param{name, Param::Kind::kInt64, nullptr, 0, value};
}

using Params = std::initializer_list<Param>;

// The current result row of a stepped statement.
class Row {
 public:
  Row(sqlite3_stmt* stmt, uint64_t& handed) : stmt_(stmt), handed_(handed) {}

  int32_t Int(int column) const { return sqlite3_column_int(stmt_, column); }
  int64_t Int64(int column) const { return sqlite3_column_int64(stmt_, column); }
  // Replaces `out` with the column's text up to its first NUL byte, counted
  // as handed out. A text SQLite cannot deliver (it ran out of memory) reads
  // as empty. Inline: it runs for every text of every row read.
  void Text(int column, std::string& out) const {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    out.assign(text == nullptr ? "" : reinterpret_cast<const char*>(text));
    handed_ += out.size();
  }

 private:
  sqlite3_stmt* stmt_;
  uint64_t& handed_;
};

// Appends to `rows` one element that `fill` builds where it stays, so that
// its strings are neither moved nor copied twice. Should `fill` throw
// (copying a text can run out of memory), the half-built element is taken
// off again before the exception goes on: `rows` only ever gains whole rows.
template <typename Element, typename Fill>
void AppendRow(std::vector<Element>& rows, Fill&& fill) {
  Element& element = rows.emplace_back();
  try {
    fill(element);
  } catch (...) {
    rows.pop_back();
    throw;
  }
}

// An admitted call's hold on the statement it is about to run, or on none
// (`stmt == nullptr`) when the instance refused the call; a run on none
// answers -1 and touches nothing. While it lives it keeps the call counted
// in `in_flight`, so that closing the instance waits for the call to end.
struct StmtLease {
  StmtLease(const StmtLease&) = delete;
  StmtLease& operator=(const StmtLease&) = delete;
  ~StmtLease() {
    if (in_flight != nullptr) {
      in_flight->fetch_sub(1);
    }
  }

  SqlStmt* const stmt;
  const StmtInfo& info;
  WorkBudget& budget;
  std::atomic<int32_t>* const in_flight;
};

// A failed bind or step of a run, kept until the run has ended.
class RunFailure {
 public:
  void Bind(const Param& param, int code);
  void Step(int code);
  // Writes the line, if the run failed, naming `info`'s operation and SQL.
  void Log(const StmtInfo& info) const;

 private:
  const char* format_ = nullptr;  // null while nothing failed
  const char* param_ = nullptr;   // a failed bind's parameter
  int code_ = SQLITE_OK;
};

// One run of a statement: holds its locks from construction and, on
// destruction, resets the statement and then releases them. A statement that
// writes holds the connection's own mutex too (the connection is opened
// full-mutex, so SQLite's calls inside take it again, recursively); one
// that only reads, none. Failures go to `failure`, to be written once the
// run has ended.
class StatementRun {
 public:
  StatementRun(const StmtLease& lease, RunFailure& failure);
  ~StatementRun();
  StatementRun(const StatementRun&) = delete;
  StatementRun& operator=(const StatementRun&) = delete;

  // Binds `params` in order; false after the first failure.
  bool Bind(Params params);
  int Step() { return sqlite3_step(stmt_); }
  Row row() { return Row(stmt_, work_.handed()); }
  // The row just read was handed out: false once the run's rows go past
  // what its file could hold.
  bool RowHanded() { return work_.RowHanded(); }
  // A step answered `code`, which is neither a row nor done: -1.
  int32_t StepFailed(int code) {
    failure_.Step(code);
    return -1;
  }

 private:
  std::lock_guard<std::mutex> guard_;  // released after the destructor's reset
  sqlite3_stmt* const stmt_;
  sqlite3_mutex* const connection_;  // left by the destructor, after the reset
  WorkBudget::Call work_;
  RunFailure& failure_;
};

// Runs `body(run)` on the lease's statement and answers what it answers,
// writing the run's failure line after the run has ended; -1 at once for a
// refused call (a lease on no statement).
template <typename Body>
int32_t Run(const StmtLease& lease, Body&& body) {
  if (lease.stmt == nullptr) {
    return -1;
  }
  RunFailure failure;
  int32_t result = -1;
  {
    StatementRun run(lease, failure);
    result = body(run);
  }
  failure.Log(lease.info);
  return result;
}

// The step shapes, each a Run.

// One step; a row or done is success: 0.
int32_t RunNoRow(const StmtLease& lease, Params params);

// One step: 1 after `read(row)`, 0 when done (outputs untouched).
template <typename ReadRow>
int32_t RunAtMostOneRow(const StmtLease& lease, Params params, ReadRow&& read) {
  return Run(lease, [&](StatementRun& run) -> int32_t {
    if (!run.Bind(params)) {
      return -1;
    }
    const int code = run.Step();
    if (code == SQLITE_ROW) {
      read(run.row());
      return 1;
    }
    return code == SQLITE_DONE ? 0 : run.StepFailed(code);
  });
}

// Steps to the end, `read(row)` for each row: the row count. A failed bind
// answers 0 (no rows were read); a failed step -1, with rows read so far
// kept. Rows past what the file could hold fail as an interrupted step.
template <typename ReadRow>
int32_t RunAllRows(const StmtLease& lease, Params params, ReadRow&& read) {
  return Run(lease, [&](StatementRun& run) -> int32_t {
    int32_t count = 0;
    if (!run.Bind(params)) {
      return count;
    }
    int code = run.Step();
    for (; code == SQLITE_ROW; code = run.Step()) {
      read(run.row());
      ++count;
      if (!run.RowHanded()) {
        code = SQLITE_INTERRUPT;
        break;
      }
    }
    return code == SQLITE_DONE ? count : run.StepFailed(code);
  });
}

// An insert returning its new id in column 0: 1 with the id in `id`, 0 when
// no row came back. The statement is stepped to its end, because its
// automatic commit happens there: a commit that fails (a reader holds the
// file, the disk is full) is a failure with `id` untouched, not a row
// reported as stored and then rolled back.
int32_t RunInsertReturningId(const StmtLease& lease, Params params, int32_t& id);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_STORE_STATEMENT_RUN_H_
