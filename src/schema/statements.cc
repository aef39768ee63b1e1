#include "schema/statements.h"

namespace database_interface {

// Each row: the statement's text, and the operation whose log lines name
// it, in the order of its enum. The texts are compiled as they stand and quoted by the log
// lines as they stand, odd blanks included.
#define STMT(name, sql) \
  { sql, "database_interface::CDatabase::" #name }

constexpr StmtInfo kVersionStmts[kVersionStmtCount] = {
    STMT(SelectDbVersion, "SELECT id, version from db_version LIMIT 1"),
    STMT(InsertDbVersion, "INSERT INTO db_version (version) VALUES (:version)"),
    STMT(UpdateDbVersion, "UPDATE db_version SET version = :version WHERE id = :id"),
};

constexpr StmtInfo kRecordStmts[kRecordStmtCount] = {
    STMT(SelectMessageCollectKey,
         "SELECT message_access_key, message_access_secret_key FROM message_collect_key LIMIT 1"),
    STMT(InsertMessageCollectKey,
         "INSERT INTO message_collect_key(message_access_key, message_access_secret_key) "
         "VALUES(:message_access_key, :message_access_secret_key)"),
    STMT(InsertStartRecode,
         "INSERT INTO start_recode (sdk_version, sdk_type, start_time) VALUES(:sdk_version, "
         ":sdk_type, :start_time) RETURNING id"),
    STMT(DeleteStartRecode, "DELETE FROM start_recode WHERE id = :id"),
    STMT(DeleteAllStartRecode, "DELETE FROM start_recode"),
    STMT(SelectStartRecode,
         "SELECT sdk_version, sdk_type, start_time FROM start_recode WHERE id = :id LIMIT 1"),
    STMT(InsertCoreRecode,
         "INSERT INTO core_recode (dump_file_path, log_file_path, start_recode_id, create_time) "
         "VALUES(:dump_file_path, :log_file_path, :start_recode_id, :create_time) RETURNING id"),
    STMT(SelectAllCoreRecode,
         "SELECT id, dump_file_path, log_file_path, start_recode_id, create_time FROM core_recode"),
    STMT(DeleteCoreRecode, "DELETE FROM core_recode WHERE id = :id"),
    STMT(InsertInstanceInfo,
         "INSERT OR REPLACE INTO instance_info  (instance_no, session_id, business_type, "
         "protocol_type, start_recode_id, create_time) VALUES (:instance_no, :session_id, "
         ":business_type, :protocol_type, :start_recode_id, :create_time) RETURNING id"),
    STMT(
        SelectInstanceInfoWithStartRecodeId,
        "SELECT id, instance_no, session_id, business_type, protocol_type, "
        "start_recode_id,create_time  FROM instance_info WHERE start_recode_id = :start_recode_id"),
    STMT(UpdataInstanceSessionId,
         "UPDATE instance_info SET session_id = :session_id WHERE id = :id"),
    STMT(DeleteInstanceInfo, "DELETE FROM instance_info WHERE id = :id"),
    STMT(DeleteSessionCache, "DELETE FROM session_cache WHERE expire_time < :expire_time"),
    STMT(InsertSessionCache,
         "INSERT OR REPLACE INTO session_cache(session_key, session_value, expire_time) VALUES "
         "(:session_key, :session_value, :expire_time);"),
    STMT(SelectSessionCache,
         "SELECT session_value FROM session_cache WHERE session_key = :session_key AND expire_time "
         "> "
         ":expire_time;"),
};

#undef STMT

}  // namespace database_interface
