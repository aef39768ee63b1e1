// The message-collection key pair. Rows are only ever added; the read takes
// the first row of the table, which is the oldest pair stored.

#include "store/database.h"

namespace database_interface {

int32_t CDatabase::SelectMessageCollectKey(std::string& message_access_key,
                                           std::string& message_access_secret_key) {
  return RunAtMostOneRow(AdmitRecordCall(kSelectMessageCollectKey), {}, [&](const Row& row) {
    row.Text(0, message_access_key);
    row.Text(1, message_access_secret_key);
  });
}

int32_t CDatabase::InsertMessageCollectKey(const char* message_access_key,
                                           int32_t message_access_key_len,
                                           const char* message_access_secret_key,
                                           int32_t message_access_secret_key_len) {
  if (message_access_key == nullptr || message_access_secret_key == nullptr) {
    return -1;
  }
  return RunNoRow(AdmitRecordCall(kInsertMessageCollectKey),
                  {TextParam(":message_access_key", message_access_key, message_access_key_len),
                   TextParam(":message_access_secret_key", message_access_secret_key,
                             message_access_secret_key_len)});
}

}  // namespace database_interface
