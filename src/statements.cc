#include "statements.h"

namespace database_interface {

// The texts are compiled as they stand and quoted by the log lines as they
// stand, odd blanks included.
const StmtInfo kVersionStmts[kVersionStmtCount] = {
    {"SELECT id, version from db_version LIMIT 1",
     "database_interface::CDatabase::SelectDbVersion"},
    {"INSERT INTO db_version (version) VALUES (:version)",
     "database_interface::CDatabase::InsertDbVersion"},
    {"UPDATE db_version SET version = :version WHERE id = :id",
     "database_interface::CDatabase::UpdateDbVersion"},
};

const StmtInfo kRecordStmts[kRecordStmtCount] = {
    {"SELECT message_access_key, message_access_secret_key FROM message_collect_key LIMIT 1",
     "database_interface::CDatabase::SelectMessageCollectKey"},
    {"INSERT INTO message_collect_key(message_access_key, message_access_secret_key) "
     "VALUES(:message_access_key, :message_access_secret_key)",
     "database_interface::CDatabase::InsertMessageCollectKey"},
    {"INSERT INTO start_recode (sdk_version, sdk_type, start_time) VALUES(:sdk_version, "
     ":sdk_type, :start_time) RETURNING id",
     "database_interface::CDatabase::InsertStartRecode"},
    {"DELETE FROM start_recode WHERE id = :id", "database_interface::CDatabase::DeleteStartRecode"},
    {"DELETE FROM start_recode", "database_interface::CDatabase::DeleteAllStartRecode"},
    {"SELECT sdk_version, sdk_type, start_time FROM start_recode WHERE id = :id LIMIT 1",
     "database_interface::CDatabase::SelectStartRecode"},
    {"INSERT INTO core_recode (dump_file_path, log_file_path, start_recode_id, create_time) "
     "VALUES(:dump_file_path, :log_file_path, :start_recode_id, :create_time) RETURNING id",
     "database_interface::CDatabase::InsertCoreRecode"},
    {"SELECT id, dump_file_path, log_file_path, start_recode_id, create_time FROM core_recode",
     "database_interface::CDatabase::SelectAllCoreRecode"},
    {"DELETE FROM core_recode WHERE id = :id", "database_interface::CDatabase::DeleteCoreRecode"},
    {"INSERT OR REPLACE INTO instance_info  (instance_no, session_id, business_type, "
     "protocol_type, start_recode_id, create_time) VALUES (:instance_no, :session_id, "
     ":business_type, :protocol_type, :start_recode_id, :create_time) RETURNING id",
     "database_interface::CDatabase::InsertInstanceInfo"},
    {"SELECT id, instance_no, session_id, business_type, protocol_type, "
     "start_recode_id,create_time  FROM instance_info WHERE start_recode_id = :start_recode_id",
     "database_interface::CDatabase::SelectInstanceInfoWithStartRecodeId"},
    {"UPDATE instance_info SET session_id = :session_id WHERE id = :id",
     "database_interface::CDatabase::UpdataInstanceSessionId"},
    {"DELETE FROM instance_info WHERE id = :id",
     "database_interface::CDatabase::DeleteInstanceInfo"},
    {"DELETE FROM session_cache WHERE expire_time < :expire_time",
     "database_interface::CDatabase::DeleteSessionCache"},
    {"INSERT OR REPLACE INTO session_cache(session_key, session_value, expire_time) VALUES "
     "(:session_key, :session_value, :expire_time);",
     "database_interface::CDatabase::InsertSessionCache"},
    {"SELECT session_value FROM session_cache WHERE session_key = :session_key AND expire_time > "
     ":expire_time;",
     "database_interface::CDatabase::SelectSessionCache"},
};

}  // namespace database_interface
