#include "schema/statements.h"

namespace database_interface {

namespace {

// True when every row of `table` stands at the index its enum value names.
template <size_t N>
constexpr bool FollowsItsEnum(const StmtInfo (&table)[N]) {
  for (size_t i = 0; i < N; ++i) {
    if (table[i].index != i) {
      return false;
    }
  }
  return true;
}

}  // namespace

// The texts are compiled as they stand and quoted by the log lines as they
// stand, odd blanks included.
constexpr StmtInfo kVersionStmts[kVersionStmtCount] = {
    {kSelectDbVersion, "SELECT id, version from db_version LIMIT 1",
     "database_interface::CDatabase::SelectDbVersion"},
    {kInsertDbVersion, "INSERT INTO db_version (version) VALUES (:version)",
     "database_interface::CDatabase::InsertDbVersion"},
    {kUpdateDbVersion, "UPDATE db_version SET version = :version WHERE id = :id",
     "database_interface::CDatabase::UpdateDbVersion"},
};

constexpr StmtInfo kRecordStmts[kRecordStmtCount] = {
    {kSelectMessageCollectKey,
     "SELECT message_access_key, message_access_secret_key FROM message_collect_key LIMIT 1",
     "database_interface::CDatabase::SelectMessageCollectKey"},
    {kInsertMessageCollectKey,
     "INSERT INTO message_collect_key(message_access_key, message_access_secret_key) "
     "VALUES(:message_access_key, :message_access_secret_key)",
     "database_interface::CDatabase::InsertMessageCollectKey"},
    {kInsertStartRecode,
     "INSERT INTO start_recode (sdk_version, sdk_type, start_time) VALUES(:sdk_version, "
     ":sdk_type, :start_time) RETURNING id",
     "database_interface::CDatabase::InsertStartRecode"},
    {kDeleteStartRecode, "DELETE FROM start_recode WHERE id = :id",
     "database_interface::CDatabase::DeleteStartRecode"},
    {kDeleteAllStartRecode, "DELETE FROM start_recode",
     "database_interface::CDatabase::DeleteAllStartRecode"},
    {kSelectStartRecode,
     "SELECT sdk_version, sdk_type, start_time FROM start_recode WHERE id = :id LIMIT 1",
     "database_interface::CDatabase::SelectStartRecode"},
    {kInsertCoreRecode,
     "INSERT INTO core_recode (dump_file_path, log_file_path, start_recode_id, create_time) "
     "VALUES(:dump_file_path, :log_file_path, :start_recode_id, :create_time) RETURNING id",
     "database_interface::CDatabase::InsertCoreRecode"},
    {kSelectAllCoreRecode,
     "SELECT id, dump_file_path, log_file_path, start_recode_id, create_time FROM core_recode",
     "database_interface::CDatabase::SelectAllCoreRecode"},
    {kDeleteCoreRecode, "DELETE FROM core_recode WHERE id = :id",
     "database_interface::CDatabase::DeleteCoreRecode"},
    {kInsertInstanceInfo,
     "INSERT OR REPLACE INTO instance_info  (instance_no, session_id, business_type, "
     "protocol_type, start_recode_id, create_time) VALUES (:instance_no, :session_id, "
     ":business_type, :protocol_type, :start_recode_id, :create_time) RETURNING id",
     "database_interface::CDatabase::InsertInstanceInfo"},
    {kSelectInstanceInfoWithStartRecodeId,
     "SELECT id, instance_no, session_id, business_type, protocol_type, "
     "start_recode_id,create_time  FROM instance_info WHERE start_recode_id = :start_recode_id",
     "database_interface::CDatabase::SelectInstanceInfoWithStartRecodeId"},
    {kUpdataInstanceSessionId, "UPDATE instance_info SET session_id = :session_id WHERE id = :id",
     "database_interface::CDatabase::UpdataInstanceSessionId"},
    {kDeleteInstanceInfo, "DELETE FROM instance_info WHERE id = :id",
     "database_interface::CDatabase::DeleteInstanceInfo"},
    {kDeleteSessionCache, "DELETE FROM session_cache WHERE expire_time < :expire_time",
     "database_interface::CDatabase::DeleteSessionCache"},
    {kInsertSessionCache,
     "INSERT OR REPLACE INTO session_cache(session_key, session_value, expire_time) VALUES "
     "(:session_key, :session_value, :expire_time);",
     "database_interface::CDatabase::InsertSessionCache"},
    {kSelectSessionCache,
     "SELECT session_value FROM session_cache WHERE session_key = :session_key AND expire_time > "
     ":expire_time;",
     "database_interface::CDatabase::SelectSessionCache"},
};

static_assert(FollowsItsEnum(kVersionStmts), "kVersionStmts rows follow VersionStmt");
static_assert(FollowsItsEnum(kRecordStmts), "kRecordStmts rows follow RecordStmt");

}  // namespace database_interface
