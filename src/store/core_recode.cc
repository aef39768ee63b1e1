// Core records: the dump and log file paths left by a crash, tied to the
// start during which they were written.

#include "store/database.h"

namespace database_interface {

int32_t CDatabase::InsertCoreRecode(CoreRecode& record) {
  return RunInsertReturningId(AdmitRecordCall(kInsertCoreRecode),
                              {TextParam(":dump_file_path", record.dump_file_path),
                               TextParam(":log_file_path", record.log_file_path),
                               IntParam(":start_recode_id", record.start_recode_id),
                               Int64Param(":create_time", record.create_time)},
                              record.id);
}

int32_t CDatabase::SelectAllCoreRecode(std::vector<CoreRecode>& records) {
  return RunAllRows(AdmitRecordCall(kSelectAllCoreRecode), {}, [&](const Row& row) {
    AppendRow(records, [&](CoreRecode& record) {
      record.id = row.Int(0);
      row.Text(1, record.dump_file_path);
      row.Text(2, record.log_file_path);
      record.start_recode_id = row.Int(3);
      record.create_time = row.Int64(4);
    });
  });
}

int32_t CDatabase::DeleteCoreRecode(int32_t id) {
  return RunNoRow(AdmitRecordCall(kDeleteCoreRecode), {IntParam(":id", id)});
}

}  // namespace database_interface
