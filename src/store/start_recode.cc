// Start records: one row per start of the SDK. Deleting a start deletes its
// core and instance records through the schema's ON DELETE CASCADE.

#include "store/database.h"

namespace database_interface {

int32_t CDatabase::InsertStartRecode(int32_t& id, const char* sdk_version, int32_t sdk_version_len,
                                     const char* sdk_type, int32_t sdk_type_len,
                                     int64_t start_time) {
  if (sdk_version == nullptr || sdk_type == nullptr) {
    return -1;
  }
  return RunInsertReturningId(
      AdmitRecordCall(kInsertStartRecode),
      {TextParam(":sdk_version", sdk_version, sdk_version_len),
       TextParam(":sdk_type", sdk_type, sdk_type_len), Int64Param(":start_time", start_time)},
      id);
}

int32_t CDatabase::SelectStartRecode(int32_t id, std::string& sdk_version, std::string& sdk_type,
                                     int64_t& start_time) {
  return RunAtMostOneRow(AdmitRecordCall(kSelectStartRecode), {IntParam(":id", id)},
                         [&](const Row& row) {
                           row.Text(0, sdk_version);
                           row.Text(1, sdk_type);
                           start_time = row.Int64(2);
                         });
}

int32_t CDatabase::DeleteStartRecode(int32_t id) {
  return RunNoRow(AdmitRecordCall(kDeleteStartRecode), {IntParam(":id", id)});
}

int32_t CDatabase::DeleteAllStartRecode() {
  return RunNoRow(AdmitRecordCall(kDeleteAllStartRecode), {});
}

}  // namespace database_interface
