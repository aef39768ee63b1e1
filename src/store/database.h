// CDatabase: the store behind IDatabaseInterface, one SQLite connection with
// its two sets of prepared statements.

#ifndef DATABASE_INTERFACE_STORE_DATABASE_H_
#define DATABASE_INTERFACE_STORE_DATABASE_H_

#include <sqlite3.h>

#include <atomic>
#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "database_interface/database_interface.h"
#include "schema/statements.h"
#include "store/sql_stmt.h"
#include "store/statement_run.h"
#include "store/work_budget.h"

namespace database_interface {

struct StoreFile;

// Connection states, 0 to 3 in this order. Init and Close move between them
// by compare-and-swap, which makes them exclusive; operations run only when
// kReady.
enum ConnectionState : int32_t { kUninitialized, kInitializing, kReady, kClosing };

// NOLINTNEXTLINE(cppcoreguidelines-virtual-class-destructor): final, never deleted as the interface
class CDatabase final : public IDatabaseInterface, public std::enable_shared_from_this<CDatabase> {
 public:
  // Made closed: nothing opened, prepared or logged. Destruction finalizes
  // the statements but does not close a connection still open (call Close).

  int32_t Init(const char* path) override;
  void Close() override;

  int32_t SelectMessageCollectKey(std::string& message_access_key,
                                  std::string& message_access_secret_key) override;
  int32_t InsertMessageCollectKey(const char* message_access_key, int32_t message_access_key_len,
                                  const char* message_access_secret_key,
                                  int32_t message_access_secret_key_len) override;

  int32_t InsertStartRecode(int32_t& id, const char* sdk_version, int32_t sdk_version_len,
                            const char* sdk_type, int32_t sdk_type_len,
                            int64_t start_time) override;
  int32_t SelectStartRecode(int32_t id, std::string& sdk_version, std::string& sdk_type,
                            int64_t& start_time) override;
  int32_t DeleteStartRecode(int32_t id) override;
  int32_t DeleteAllStartRecode() override;

  int32_t InsertCoreRecode(CoreRecode& record) override;
  int32_t SelectAllCoreRecode(std::vector<CoreRecode>& records) override;
  int32_t DeleteCoreRecode(int32_t id) override;

  int32_t InsertInstanceInfo(InstanceInfo& info) override;
  int32_t SelectInstanceInfoWithStartRecodeId(int32_t start_recode_id,
                                              std::vector<InstanceInfo>& infos) override;
  int32_t UpdataInstanceSessionId(int32_t id, const char* session_id,
                                  int32_t session_id_len) override;
  int32_t DeleteInstanceInfo(int32_t id) override;

  int32_t DeleteSessionCache(int64_t expire_time) override;
  int32_t InsertSessionCache(const char* session_key, const char* session_value,
                             int64_t expire_time) override;
  int32_t SelectSessionCache(const char* session_key, int64_t expire_time,
                             std::string& session_value) override;

  // Version texts are three decimal numbers joined by ".", compared number by
  // number. 0: equal; 1: `oldDbVersion` is lower; 2: it is higher; -1 (logged)
  // when either text is not three numbers.
  static int32_t VersionCompare(const char* oldDbVersion, const char* newDbVersion);
  // Reads the "."-separated pieces of `stream` into the three numbers: 0 when
  // there were exactly three, each starting with a decimal number that fits
  // 32 bits (leading blanks and a sign allowed, trailing characters ignored).
  static int32_t VersionSplit(std::istream& stream, int32_t& major, int32_t& minor, int32_t& patch);

 private:
  // Init's sequence from opening the file to preparing the record
  // statements: true on success, otherwise false with an error logged.
  // `file` is what was readied for the open, for the failure path.
  bool OpenAndPrepare(const char* path, StoreFile& file);
  // Runs the table texts on the connection: true on success, otherwise
  // false with the first that failed logged.
  bool CreateTable();
  // Prepares `count` statements into the empty `set`: true on success,
  // otherwise false with `set` left empty and the statement that did not
  // compile logged.
  bool InitStmt(StmtSet& set, const StmtInfo* infos, size_t count);
  // Runs `sql` on the connection with sqlite3_exec: true on success,
  // otherwise false with an error logged under the operation name `op_name`.
  bool Exec(const char* op_name, const char* sql);
  // The line of a failed sqlite3_exec of `sql` under `op_name`.
  static void LogExecFailure(const char* op_name, const char* sql, int rc);
  // The failure path of Init: closes, removes the file readied for it while
  // still empty, back to kUninitialized, then logs.
  void EndFailedInit(const StoreFile& file);
  // Closes the connection and releases both statement sets, the version set
  // first; logs nothing and answers sqlite3_close_v2's result (SQLITE_OK
  // when there was no connection).
  int CloseConnection();

  // The schema version check (version_check.cc). Those that answer bool
  // answer true on success, otherwise false with an error logged.

  // Brings the file to the current schema version.
  bool CheckAndUpdateDb();
  // Reads the version row: 1 with `id` and `version` set, 0 when there is
  // none (outputs untouched), -1 with an error logged.
  int32_t SelectDbVersion(int32_t& id, std::string& version);
  // Stamps a file that has no version row with the current version.
  bool InsertDbVersion();
  // Rewrites the version row `id` to the current version.
  bool UpdateDbVersion(int32_t id);
  // Applies every migration newer than `oldDbVersion`, in list order.
  bool VersionChangeDb(const std::string& oldDbVersion);
  // Runs kDropScript and creates the dropped tables again.
  bool ReCreateTable();

  // Admits a call of a record operation: a lease on its statement, counted
  // in flight while the lease lives, or on none when the instance is not
  // ready. Each operation hands it straight to its run, so that the lease
  // lives for the whole run and nothing touches the store outside it.
  StmtLease AdmitRecordCall(RecordStmt which);
  // A lease on the statement of a version operation, never refused and not
  // counted: these run inside Init only, while no Close can start.
  StmtLease AdmitVersionCall(VersionStmt which);

  StmtSet version_stmts_;
  StmtSet record_stmts_;
  std::atomic<int32_t> state_{kUninitialized};
  sqlite3* db_ = nullptr;
  WorkBudget budget_;
  // Record operations admitted while kReady and not yet ended; Close waits
  // for it to drain before it releases anything they use.
  std::atomic<int32_t> in_flight_{0};
};

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_STORE_DATABASE_H_
