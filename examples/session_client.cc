// An example client that uses the store the way an SDK does: the process-wide
// instance on "./qvdata" in the folder it runs in. Run it twice in the same
// folder to see what persists between runs.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "database_interface/database_interface.h"

namespace {

using database_interface::CoreRecode;
using database_interface::IDatabaseInterface;
using database_interface::InstanceInfo;

// Where this client remembers, between runs, the id of the start it recorded.
constexpr const char* kLastStartKey = "example.last_start_id";
constexpr int64_t kOneHourMs = int64_t{60} * 60 * 1000;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int32_t Length(const std::string& text) {
  return static_cast<int32_t>(text.size());
}

void ShowStart(IDatabaseInterface& db, int32_t start_id) {
  std::string version, type;
  int64_t start_time = 0;
  if (db.SelectStartRecode(start_id, version, type, start_time) != 1) {
    std::printf("  start %d is not in the store\n", start_id);
    return;
  }
  std::printf("  start %d: SDK %s (%s), started at %lld ms\n", start_id, version.c_str(),
              type.c_str(), static_cast<long long>(start_time));
  std::vector<InstanceInfo> instances;
  db.SelectInstanceInfoWithStartRecodeId(start_id, instances);
  for (const InstanceInfo& info : instances) {
    std::printf("    instance %d: no %s, session %s, business type %d, protocol %s\n", info.id,
                info.instance_no.c_str(), info.session_id.c_str(), info.business_type,
                info.protocol_type.c_str());
  }
  std::vector<CoreRecode> cores;
  db.SelectAllCoreRecode(cores);
  for (const CoreRecode& core : cores) {
    if (core.start_recode_id == start_id) {
      std::printf("    crash record %d: dump %s, log %s\n", core.id, core.dump_file_path.c_str(),
                  core.log_file_path.c_str());
    }
  }
}

// What an earlier run left: its session value, its key pair and its start,
// which is then deleted together with everything tied to it.
void ShowEarlierRun(IDatabaseInterface& db, int64_t now) {
  std::string last_start;
  if (db.SelectSessionCache(kLastStartKey, now, last_start) != 1) {
    std::printf("No earlier run found: this is the first run in this folder.\n\n");
    return;
  }
  std::printf("An earlier run left things behind:\n");
  std::string token;
  if (db.SelectSessionCache("user.token", now, token) == 1) {
    std::printf("  session value user.token = %s (still valid)\n", token.c_str());
  } else {
    std::printf("  session value user.token has expired since (it is valid for an hour)\n");
  }

  std::string access_key, secret_key;
  if (db.SelectMessageCollectKey(access_key, secret_key) == 1) {
    std::printf("  message-collection key pair: %s / %zu secret bytes\n", access_key.c_str(),
                secret_key.size());
  }

  const int32_t start_id = std::stoi(last_start);
  ShowStart(db, start_id);
  db.DeleteStartRecode(start_id);
  std::vector<InstanceInfo> left;
  std::printf("  deleted start %d; instances left for it: %d\n\n", start_id,
              db.SelectInstanceInfoWithStartRecodeId(start_id, left));
}

int32_t RecordThisStart(IDatabaseInterface& db, int64_t now) {
  const std::string version = "1.4.2", type = "android";
  int32_t start_id = 0;
  if (db.InsertStartRecode(start_id, version.data(), Length(version), type.data(), Length(type),
                           now) != 1) {
    std::printf("Could not record this start.\n");
    return 0;
  }
  InstanceInfo instance;
  instance.instance_no = "player-1";
  instance.session_id = "session-" + std::to_string(now);
  instance.business_type = 1;
  instance.protocol_type = "rtmp";
  instance.start_recode_id = start_id;
  instance.create_time = now;
  db.InsertInstanceInfo(instance);
  const std::string renewed = instance.session_id + "-renewed";
  db.UpdataInstanceSessionId(instance.id, renewed.data(), Length(renewed));

  CoreRecode crash;
  crash.dump_file_path = "crash/" + std::to_string(now) + ".dmp";
  crash.log_file_path = "crash/" + std::to_string(now) + ".log";
  crash.start_recode_id = start_id;
  crash.create_time = now;
  db.InsertCoreRecode(crash);

  std::printf("Recorded this start with an instance and a crash record:\n");
  ShowStart(db, start_id);
  return start_id;
}

void UseTheSessionCache(IDatabaseInterface& db, int64_t now) {
  db.InsertSessionCache("user.token", "tok-8f2a", now + kOneHourMs);
  db.InsertSessionCache("otp.code", "493817", now - 1);  // already past its expiry
  std::string value;
  std::printf("\nSession cache:\n");
  std::printf("  stored user.token (valid for an hour) and otp.code (already expired)\n");
  if (db.SelectSessionCache("user.token", now, value) == 1) {
    std::printf("  user.token reads back as %s\n", value.c_str());
  }
  value = "(untouched)";
  const int32_t found = db.SelectSessionCache("otp.code", now, value);
  std::printf("  otp.code reads back: %s (result %d, value %s)\n", found == 0 ? "a miss" : "a hit",
              found, value.c_str());
  db.DeleteSessionCache(now);
  std::printf("  purged expired entries; otp.code is gone from the file\n");
}

}  // namespace

int main() {
  std::printf("Store file: %s\n\n", (std::filesystem::current_path() / "qvdata").string().c_str());
  const auto db = IDatabaseInterface::GetDbInstance();
  const int64_t now = NowMs();

  ShowEarlierRun(*db, now);
  const int32_t start_id = RecordThisStart(*db, now);
  if (start_id == 0) {
    db->Close();
    return 1;
  }
  const std::string start_text = std::to_string(start_id);
  db->InsertSessionCache(kLastStartKey, start_text.c_str(), now + kOneHourMs * 24 * 30);

  std::string access_key, secret_key;
  if (db->SelectMessageCollectKey(access_key, secret_key) == 0) {
    db->InsertMessageCollectKey("AK-example", -1, "SK-example-secret", -1);
    std::printf("\nStored a message-collection key pair.\n");
  }
  UseTheSessionCache(*db, now);

  std::printf("\nRun me again in this folder: the next run finds this start and user.token.\n");
  // The process-wide instance keeps its file open until it is closed.
  db->Close();
  return 0;
}
