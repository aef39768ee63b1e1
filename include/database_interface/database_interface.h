// A small local store for a client SDK in one SQLite file: start records with
// the core (crash) and instance records tied to each start, an expiring
// session cache and one message-collection key pair.
//
// Every operation may be called from any thread. Results are small integers:
// -1 means failure, and the failure itself goes to the SDK's log
// (base::IBaseLogInterface). The two reads that answer a row count answer 0
// for a failed bind, as for no rows; see them below. Nothing is thrown by the
// store; the standard library's own exceptions (allocation, mutex) pass
// through.
//
// Texts given as a pointer with a length are passed to SQLite unchanged: the
// length is a byte count, and a negative one means "up to the NUL". Texts are
// not copied; they need to stay valid only for the duration of the call.
// Texts read back end at their first NUL byte.

#ifndef DATABASE_INTERFACE_DATABASE_INTERFACE_H_
#define DATABASE_INTERFACE_DATABASE_INTERFACE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "database_interface/export.h"

namespace database_interface {

// A crash record: the dump file and log file left by one run of the SDK.
struct CoreRecode {
  int32_t id = 0;  // assigned by the store
  std::string dump_file_path;
  std::string log_file_path;
  int32_t start_recode_id = 0;  // the start during which it was written
  int64_t create_time = 0;      // stored and returned as given
};

// An instance opened during one start of the SDK.
struct InstanceInfo {
  int32_t id = 0;  // assigned by the store
  std::string instance_no;
  std::string session_id;
  int32_t business_type = 0;
  std::string protocol_type;
  int32_t start_recode_id = 0;  // the start during which it was opened
  int64_t create_time = 0;      // stored and returned as given
};

// The store. Clients call the operations by their position in this table, so
// the order and the signatures below never change within a major version.
//
// An instance is owned only by the shared pointers the factories return and
// is never destroyed through this class, which is why it has no virtual
// destructor.
class DATABASE_INTERFACE_EXPORT IDatabaseInterface {
 public:
  IDatabaseInterface();
  IDatabaseInterface(const IDatabaseInterface& other);
  IDatabaseInterface(IDatabaseInterface&& other) noexcept;
  IDatabaseInterface& operator=(const IDatabaseInterface& other);
  IDatabaseInterface& operator=(IDatabaseInterface&& other) noexcept;

  // Opens (creating if missing) the database file at `path`, creates the
  // tables, brings the file to the current schema version and prepares every
  // statement. 0 when the instance is ready; -1 for a null path, an instance
  // that is not closed, or any failure (logged), after which it is closed.
  // A file of an older schema is migrated with its rows kept; a file of a
  // newer schema has its start, core, instance and session tables emptied.
  virtual int32_t Init(const char* path) = 0;

  // Closes the file. Does nothing on an instance that is not open. Waits for
  // operations already running on other threads; later ones answer -1.
  virtual void Close() = 0;

  // The oldest stored key pair: 1 when found, 0 when none is stored (outputs
  // untouched), -1 on failure.
  virtual int32_t SelectMessageCollectKey(std::string& message_access_key,
                                          std::string& message_access_secret_key) = 0;
  // Stores a key pair beside any stored before: 0, or -1 (also for a null text).
  virtual int32_t InsertMessageCollectKey(const char* message_access_key,
                                          int32_t message_access_key_len,
                                          const char* message_access_secret_key,
                                          int32_t message_access_secret_key_len) = 0;

  // Records a start: 1 with its new id in `id`, 0 if no id came back (`id`
  // untouched), -1 on failure (also for a null text; `id` untouched).
  virtual int32_t InsertStartRecode(int32_t& id, const char* sdk_version, int32_t sdk_version_len,
                                    const char* sdk_type, int32_t sdk_type_len,
                                    int64_t start_time) = 0;
  // 1 when start `id` exists (outputs set), 0 when not (outputs untouched), -1.
  virtual int32_t SelectStartRecode(int32_t id, std::string& sdk_version, std::string& sdk_type,
                                    int64_t& start_time) = 0;
  // Deletes start `id` with its core and instance records: 0 (also when no
  // such start exists), or -1.
  virtual int32_t DeleteStartRecode(int32_t id) = 0;
  // Deletes every start with every core and instance record: 0, or -1.
  virtual int32_t DeleteAllStartRecode() = 0;

  // Stores a core record of an existing start: 1 with the new id written into
  // `record.id`, 0 if no id came back, -1 on failure (`record.id` untouched).
  virtual int32_t InsertCoreRecode(CoreRecode& record) = 0;
  // Appends every core record to `records` (never cleared): their count, or -1.
  virtual int32_t SelectAllCoreRecode(std::vector<CoreRecode>& records) = 0;
  // 0 (also when no such record exists), or -1.
  virtual int32_t DeleteCoreRecode(int32_t id) = 0;

  // Stores an instance record of an existing start: 1 with the new id written
  // into `info.id`, 0 if no id came back, -1 on failure (`info.id` untouched).
  virtual int32_t InsertInstanceInfo(InstanceInfo& info) = 0;
  // Appends the instance records of start `start_recode_id` to `infos` (never
  // cleared): their count, or -1. A failed bind answers 0 (logged): the
  // result is the number of rows read.
  virtual int32_t SelectInstanceInfoWithStartRecodeId(int32_t start_recode_id,
                                                      std::vector<InstanceInfo>& infos) = 0;
  // Sets the session id of instance record `id`: 0 (also when no such record
  // exists), or -1 (also for a null text).
  virtual int32_t UpdataInstanceSessionId(int32_t id, const char* session_id,
                                          int32_t session_id_len) = 0;
  // 0 (also when no such record exists), or -1.
  virtual int32_t DeleteInstanceInfo(int32_t id) = 0;

  // Session cache. Expiry times are milliseconds since the Unix epoch.
  // Deletes every entry whose expiry lies before `expire_time`: 0, or -1.
  virtual int32_t DeleteSessionCache(int64_t expire_time) = 0;
  // Stores `session_value` under `session_key`, replacing any entry with that
  // key; the entry expires at `expire_time`. NUL-terminated texts. 0, or -1.
  virtual int32_t InsertSessionCache(const char* session_key, const char* session_value,
                                     int64_t expire_time) = 0;
  // The value under `session_key` if its expiry lies after `expire_time`:
  // 1 with `session_value` replaced, 0 on a miss (untouched), -1 on failure.
  // A failed bind (such as a key too long for SQLite) answers 0 like a miss,
  // logged: the result is the number of rows read.
  virtual int32_t SelectSessionCache(const char* session_key, int64_t expire_time,
                                     std::string& session_value) = 0;

  // A new, closed instance of its own; open it with Init.
  static std::shared_ptr<IDatabaseInterface> CreateDatabaseInterface();

  // The process-wide instance. The first call opens "./qvdata", resolved
  // against the current directory at that moment, and deletes the session
  // entries already expired; every call returns the same instance, whether
  // or not that opening succeeded.
  static std::shared_ptr<IDatabaseInterface> GetDbInstance();

 protected:
  // Not virtual, and not for deleting through: see the class comment.
  ~IDatabaseInterface() = default;
};

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_DATABASE_INTERFACE_H_
