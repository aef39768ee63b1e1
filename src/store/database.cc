#include "store/database.h"

#include <thread>

#include "files/open_flags.h"
#include "files/sqlite_guard.h"
#include "files/store_file.h"
#include "log/log.h"
#include "schema/schema.h"

namespace database_interface {

namespace {

// Written once the state is settled, so that a sink that throws cannot leave
// the instance half closed.
void LogCloseFailure(int rc) {
  if (rc != SQLITE_OK) {
    LogError("[database]Close sqlite3 failed:%s", sqlite3_errstr(rc));
  }
}

}  // namespace

int32_t CDatabase::Init(const char* path) {
  if (path == nullptr) {
    return -1;
  }
  int32_t expected = kUninitialized;
  if (!state_.compare_exchange_strong(expected, kInitializing)) {
    return -1;
  }

  bool opened = false;
  StoreFile file;
  try {
    opened = OpenAndPrepare(path, file);
  } catch (...) {
    // Running out of memory or a log sink that throws must not leave the
    // instance Initializing, refusing every Init and Close for good.
    EndFailedInit(file);
    throw;
  }
  if (!opened) {
    EndFailedInit(file);
    return -1;
  }
  state_.store(kReady);
  return 0;
}

void CDatabase::EndFailedInit(const StoreFile& file) {
  const int rc = CloseConnection();
  // Whether the open failed or a later step did, a file made for the store
  // that SQLite never wrote to would be left behind by nothing SQLite does.
  RemoveMadeFile(file);
  state_.store(kUninitialized);
  LogCloseFailure(rc);
}

bool CDatabase::OpenAndPrepare(const char* path, StoreFile& file) {
#if defined(DATABASE_INTERFACE_OWN_SQLITE)
  (void)GuardSqliteFiles();
#endif
  file = ReadyStoreFile(path);
  // A refused file gets the line SQLite gives a path it cannot open.
  const int rc = file.refused ? SQLITE_CANTOPEN : sqlite3_open_v2(path, &db_, kOpenFlags, nullptr);
  if (rc != SQLITE_OK) {
    LogError("[database]Open sqlite3 file[%s] failed:%s", path, sqlite3_errstr(rc));
    return false;
  }
  budget_.Watch(db_);
  WorkBudget::Call opening(budget_);
  // The order is fixed: foreign keys before anything else, the tables before
  // any statement is prepared, the version statements before the check that
  // runs them, and the record statements only once the schema is current.
  return Exec("database_interface::CDatabase::Init", kDdl[kForeignKeysOn]) &&
         (CreateTable() || Failed("[database]CreateTable failed")) &&
         (InitStmt(version_stmts_, kVersionStmts, kVersionStmtCount) ||
          Failed("[database]InitStmt failed")) &&
         (CheckAndUpdateDb() || Failed("[database]CheckAndUpdateDb failed")) &&
         (InitStmt(record_stmts_, kRecordStmts, kRecordStmtCount) ||
          Failed("[database]InitStmt failed"));
}

void CDatabase::Close() {
  int32_t expected = kReady;
  if (!state_.compare_exchange_strong(expected, kClosing)) {
    return;
  }
  // Calls that were admitted before the switch may still be using the
  // statements; calls from now on see kClosing and answer -1.
  while (in_flight_.load() != 0) {
    std::this_thread::yield();
  }
  const int rc = CloseConnection();
  state_.store(kUninitialized);
  LogCloseFailure(rc);
}

int CDatabase::CloseConnection() {
  int rc = SQLITE_OK;
  if (db_ != nullptr) {
    // With statements still prepared, sqlite3_close_v2 defers the release of
    // the connection to the last finalize, just below.
    rc = sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  version_stmts_.clear();
  record_stmts_.clear();
  return rc;
}

bool CDatabase::Exec(const char* op_name, const char* sql) {
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    LogExecFailure(op_name, sql, rc);
    return false;
  }
  return true;
}

void CDatabase::LogExecFailure(const char* op_name, const char* sql, int rc) {
  LogError("[database]%s sqlite3_exec with sql[%s] failed:%s", op_name, sql, sqlite3_errstr(rc));
}

bool CDatabase::CreateTable() {
  int rc = SQLITE_OK;
  const Ddl failed = CreateMissingTables(db_, rc);
  if (failed != kDdlCount) {
    LogExecFailure("database_interface::CDatabase::CreateTable", kDdl[failed], rc);
    return false;
  }
  return true;
}

bool CDatabase::InitStmt(StmtSet& set, const StmtInfo* infos, size_t count) {
  set.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    set.push_back(std::make_shared<SqlStmt>(db_, infos[i].sql));
    if (set.back()->stmt == nullptr) {
      set.clear();
      return false;
    }
  }
  return true;
}

StmtLease CDatabase::AdmitRecordCall(RecordStmt which) {
  // A refused call leaves the count alone, so that a stream of them cannot
  // keep Close waiting. An admitted one is counted and then tested again:
  // Close switches the state before it waits for the count, so either it
  // sees this call or this call sees the switch.
  if (state_.load() == kReady) {
    in_flight_.fetch_add(1);
    if (state_.load() == kReady) {
      return StmtLease{record_stmts_[which].get(), kRecordStmts[which], budget_, &in_flight_};
    }
    in_flight_.fetch_sub(1);
  }
  return StmtLease{nullptr, kRecordStmts[which], budget_, nullptr};
}

StmtLease CDatabase::AdmitVersionCall(VersionStmt which) {
  return StmtLease{version_stmts_[which].get(), kVersionStmts[which], budget_, nullptr};
}

}  // namespace database_interface
