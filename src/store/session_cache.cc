// Session cache: text values under unique keys, each with an absolute expiry
// in milliseconds since the Unix epoch. An entry is readable while its expiry
// is after the reference time and purged once it is before it.

#include "store/database.h"

namespace database_interface {

int32_t CDatabase::DeleteSessionCache(int64_t expire_time) {
  return RunNoRow(AdmitRecordCall(kDeleteSessionCache), {Int64Param(":expire_time", expire_time)});
}

int32_t CDatabase::InsertSessionCache(const char* session_key, const char* session_value,
                                      int64_t expire_time) {
  if (session_key == nullptr || session_value == nullptr) {
    return -1;
  }
  // The statement yields no row; the one-row shape makes its end a 0.
  return RunAtMostOneRow(
      AdmitRecordCall(kInsertSessionCache),
      {TextParam(":session_key", session_key), TextParam(":session_value", session_value),
       Int64Param(":expire_time", expire_time)},
      [](const Row&) {});
}

int32_t CDatabase::SelectSessionCache(const char* session_key, int64_t expire_time,
                                      std::string& session_value) {
  if (session_key == nullptr) {
    return -1;
  }
  return RunAllRows(
      AdmitRecordCall(kSelectSessionCache),
      {TextParam(":session_key", session_key), Int64Param(":expire_time", expire_time)},
      [&](const Row& row) { row.Text(0, session_value); });
}

}  // namespace database_interface
