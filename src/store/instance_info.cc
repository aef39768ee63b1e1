// Instance records: the instances opened during a start, each with a session
// id that may be replaced later.

#include "store/database.h"

namespace database_interface {

int32_t CDatabase::InsertInstanceInfo(InstanceInfo& info) {
  return RunInsertReturningId(
      AdmitRecordCall(kInsertInstanceInfo),
      {TextParam(":instance_no", info.instance_no), TextParam(":session_id", info.session_id),
       IntParam(":business_type", info.business_type),
       TextParam(":protocol_type", info.protocol_type),
       IntParam(":start_recode_id", info.start_recode_id),
       Int64Param(":create_time", info.create_time)},
      info.id);
}

int32_t CDatabase::SelectInstanceInfoWithStartRecodeId(int32_t start_recode_id,
                                                       std::vector<InstanceInfo>& infos) {
  return RunAllRows(AdmitRecordCall(kSelectInstanceInfoWithStartRecodeId),
                    {IntParam(":start_recode_id", start_recode_id)}, [&](const Row& row) {
                      AppendRow(infos, [&](InstanceInfo& info) {
                        info.id = row.Int(0);
                        row.Text(1, info.instance_no);
                        row.Text(2, info.session_id);
                        info.business_type = row.Int(3);
                        row.Text(4, info.protocol_type);
                        info.start_recode_id = row.Int(5);
                        info.create_time = row.Int64(6);
                      });
                    });
}

int32_t CDatabase::UpdataInstanceSessionId(int32_t id, const char* session_id,
                                           int32_t session_id_len) {
  if (session_id == nullptr) {
    return -1;
  }
  return RunNoRow(AdmitRecordCall(kUpdataInstanceSessionId),
                  {TextParam(":session_id", session_id, session_id_len), IntParam(":id", id)});
}

int32_t CDatabase::DeleteInstanceInfo(int32_t id) {
  return RunNoRow(AdmitRecordCall(kDeleteInstanceInfo), {IntParam(":id", id)});
}

}  // namespace database_interface
