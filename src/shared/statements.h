// The prepared statements of an open store, by set and index: the texts
// they are prepared from and the operations whose log lines name them.

#ifndef DATABASE_INTERFACE_SHARED_STATEMENTS_H_
#define DATABASE_INTERFACE_SHARED_STATEMENTS_H_

#include <cstddef>

#include "statement_run.h"

namespace database_interface {

// Run only while the instance opens, by the schema version check.
enum VersionStmt : size_t {
  kSelectDbVersion = 0,
  kInsertDbVersion,
  kUpdateDbVersion,
  kVersionStmtCount
};

// One statement for each record operation.
enum RecordStmt : size_t {
  kSelectMessageCollectKey = 0,
  kInsertMessageCollectKey,
  kInsertStartRecode,
  kDeleteStartRecode,
  kDeleteAllStartRecode,
  kSelectStartRecode,
  kInsertCoreRecode,
  kSelectAllCoreRecode,
  kDeleteCoreRecode,
  kInsertInstanceInfo,
  kSelectInstanceInfoWithStartRecodeId,
  kUpdataInstanceSessionId,
  kDeleteInstanceInfo,
  kDeleteSessionCache,
  kInsertSessionCache,
  kSelectSessionCache,
  kRecordStmtCount
};

extern const StmtInfo kVersionStmts[kVersionStmtCount];
extern const StmtInfo kRecordStmts[kRecordStmtCount];

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_SHARED_STATEMENTS_H_
