// The prepared statements of an open store, by set and index: the texts
// they are prepared from and the operations whose log lines name them.

#ifndef DATABASE_INTERFACE_SCHEMA_STATEMENTS_H_
#define DATABASE_INTERFACE_SCHEMA_STATEMENTS_H_

#include <cstddef>

namespace database_interface {

// What the log lines of a statement name: its SQL text exactly as prepared
// and the qualified name of the operation that runs it. A set's table has a
// row for each value of its enum, in the enum's order.
struct StmtInfo {
  const char* sql;
  const char* op_name;
};

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

#endif  // DATABASE_INTERFACE_SCHEMA_STATEMENTS_H_
