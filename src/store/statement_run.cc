#include "store/statement_run.h"

#include "log/log.h"

namespace database_interface {

namespace {

// By Param::Kind.
constexpr const char* kBindFailures[] = {
    "[database]%s sqlite3_bind_text with sql[%s] at[%s] failed:%s",
    "[database]%s sqlite3_bind_int with sql[%s] at[%s] failed:%s",
    "[database]%s sqlite3_bind_int64 with sql[%s] at[%s] failed:%s"};

// The index is not tested: a name the statement lacks gives index 0, which
// SQLite rejects with its range error like any other failed bind.
int BindOne(sqlite3_stmt* stmt, const Param& param) {
  const int index = sqlite3_bind_parameter_index(stmt, param.name);
  switch (param.kind) {
    case Param::Kind::kText:
      return sqlite3_bind_text(stmt, index, param.text, param.text_len, SQLITE_STATIC);
    case Param::Kind::kInt:
      return sqlite3_bind_int(stmt, index, static_cast<int32_t>(param.number));
    case Param::Kind::kInt64:
      return sqlite3_bind_int64(stmt, index, param.number);
  }
  return SQLITE_MISUSE;
}

}  // namespace

void RunFailure::Bind(const Param& param, int code) {
  format_ = kBindFailures[static_cast<size_t>(param.kind)];
  param_ = param.name;
  code_ = code;
}

void RunFailure::Step(int code) {
  format_ = "[database]%s sqlite3_step with sql[%s] failed:%s";
  code_ = code;
}

void RunFailure::Log(const StmtInfo& info) const {
  if (format_ == nullptr) {
    return;
  }
  if (param_ != nullptr) {
    LogError(format_, info.op_name, info.sql, param_, sqlite3_errstr(code_));
  } else {
    LogError(format_, info.op_name, info.sql, sqlite3_errstr(code_));
  }
}

StatementRun::StatementRun(const StmtLease& lease, RunFailure& failure)
    : guard_(lease.stmt->lock),
      stmt_(lease.stmt->stmt),
      connection_(sqlite3_stmt_readonly(stmt_) != 0 ? nullptr
                                                    : sqlite3_db_mutex(sqlite3_db_handle(stmt_))),
      work_(lease.budget),
      failure_(failure) {
  sqlite3_mutex_enter(connection_);  // nothing on nullptr
}

StatementRun::~StatementRun() {
  sqlite3_reset(stmt_);
  sqlite3_mutex_leave(connection_);
}

bool StatementRun::Bind(Params params) {
  for (const Param& param : params) {
    const int code = BindOne(stmt_, param);
    if (code != SQLITE_OK) {
      failure_.Bind(param, code);
      return false;
    }
  }
  return true;
}

int32_t RunNoRow(const StmtLease& lease, Params params) {
  return Run(lease, [&](StatementRun& run) -> int32_t {
    if (!run.Bind(params)) {
      return -1;
    }
    const int code = run.Step();
    return code == SQLITE_ROW || code == SQLITE_DONE ? 0 : run.StepFailed(code);
  });
}

int32_t RunInsertReturningId(const StmtLease& lease, Params params, int32_t& id) {
  return Run(lease, [&](StatementRun& run) -> int32_t {
    if (!run.Bind(params)) {
      return -1;
    }
    int code = run.Step();
    if (code == SQLITE_DONE) {
      return 0;
    }
    if (code == SQLITE_ROW) {
      const int32_t new_id = run.row().Int(0);
      code = run.Step();
      if (code == SQLITE_DONE) {
        id = new_id;
        return 1;
      }
    }
    return run.StepFailed(code);
  });
}

}  // namespace database_interface
