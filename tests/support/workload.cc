#include "support/workload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "support/test_db.h"

namespace dbi_test {
namespace {

// The reference time of the session cache calls. Stored entries expire just
// before, at, or just after it, so that purges and reads both have work.
constexpr int64_t kNow = 1000;

int32_t Len(const std::string& text) {
  return static_cast<int32_t>(text.size());
}

// The newest of `ids`, or 0 (no row has it) when there is none.
int32_t Newest(const std::vector<int32_t>& ids) {
  return ids.empty() ? 0 : ids.back();
}

// The oldest of `ids` while a newer one is left to work on, or else 0.
int32_t Surplus(const std::vector<int32_t>& ids) {
  return ids.size() < 2 ? 0 : ids.front();
}

// True for `success`, false for -1; any other answer fails the test.
bool Answered(int32_t result, int32_t success) {
  if (result == success) {
    return true;
  }
  EXPECT_EQ(result, -1) << "neither success (" << success << ") nor failure";
  return false;
}

template <typename... Fields>
std::string Joined(const Fields&... fields) {
  std::ostringstream out;
  ((out << fields << '|'), ...);
  return out.str();
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

const std::vector<std::string> kInitChainLines = {
    "[database]CreateTable failed",     "[database]InitStmt failed",
    "[database]SelectDbVersion failed", "[database]InsertDbVersion failed",
    "[database]VersionChangeDb failed", "[database]ReCreateTable failed",
    "[database]UpdateDbVersion failed", "[database]CheckAndUpdateDb failed",
};

// A failed call's lines: one step failure of its statement, or for Init a
// chain that starts with the failing SQLite call and ends with Init's own.
void ExpectFailureLines(Op op, const std::vector<std::string>& lines, const std::string& error) {
  if (op == Op::kInit) {
    ASSERT_FALSE(lines.empty()) << "Init failed without a line";
    EXPECT_TRUE(EndsWith(lines[0], "failed:" + error)) << lines[0];
    for (size_t i = 1; i < lines.size(); ++i) {
      EXPECT_NE(std::find(kInitChainLines.begin(), kInitChainLines.end(), lines[i]),
                kInitChainLines.end())
          << lines[i];
    }
    return;
  }
  ASSERT_EQ(lines.size(), 1u) << Workload::Name(op);
  const std::string start =
      "[database]database_interface::CDatabase::" + Workload::Name(op) + " sqlite3_step with sql[";
  EXPECT_EQ(lines[0].rfind(start, 0), 0u) << lines[0];
  EXPECT_TRUE(EndsWith(lines[0], "] failed:" + error)) << lines[0];
}

}  // namespace

Workload::Workload(IDatabaseInterface& db, std::string path, Model& model, std::string tag,
                   bool owns_store)
    : db_(db),
      path_(std::move(path)),
      model_(model),
      tag_(std::move(tag)),
      owns_store_(owns_store) {}

const std::vector<Op>& Workload::Round() {
  // Starts A and B each get a core and an instance record (B a second core);
  // then A's instance goes, A goes with its core, and B's first core goes.
  static const std::vector<Op> round = {
      Op::kInit,
      Op::kDeleteAllStartRecode,  // the starts of earlier rounds
      Op::kInsertMessageCollectKey,
      Op::kSelectMessageCollectKey,
      Op::kInsertStartRecode,
      Op::kInsertCoreRecode,
      Op::kInsertInstanceInfo,
      Op::kInsertStartRecode,
      Op::kSelectStartRecode,
      Op::kInsertCoreRecode,
      Op::kInsertCoreRecode,
      Op::kInsertInstanceInfo,
      Op::kSelectAllCoreRecode,
      Op::kSelectInstanceInfoWithStartRecodeId,
      Op::kUpdataInstanceSessionId,
      Op::kDeleteInstanceInfo,
      Op::kDeleteStartRecode,
      Op::kDeleteCoreRecode,
      Op::kInsertSessionCache,
      Op::kInsertSessionCache,
      Op::kSelectSessionCache,
      Op::kDeleteSessionCache,
      Op::kClose,
  };
  return round;
}

std::string Workload::Name(Op op) {
  static const char* const names[] = {"Init",
                                      "Close",
                                      "SelectMessageCollectKey",
                                      "InsertMessageCollectKey",
                                      "InsertStartRecode",
                                      "SelectStartRecode",
                                      "DeleteStartRecode",
                                      "DeleteAllStartRecode",
                                      "InsertCoreRecode",
                                      "SelectAllCoreRecode",
                                      "DeleteCoreRecode",
                                      "InsertInstanceInfo",
                                      "SelectInstanceInfoWithStartRecodeId",
                                      "UpdataInstanceSessionId",
                                      "DeleteInstanceInfo",
                                      "DeleteSessionCache",
                                      "InsertSessionCache",
                                      "SelectSessionCache"};
  return names[static_cast<int>(op)];
}

bool Workload::Run(Op op) {
  if (op == Op::kDeleteAllStartRecode || op == Op::kDeleteSessionCache) {
    std::unique_lock<std::shared_mutex> alone(model_.whole_store);
    return Call(op);
  }
  std::shared_lock<std::shared_mutex> beside_others(model_.whole_store);
  return Call(op);
}

bool Workload::Call(Op op) {
  SCOPED_TRACE(tag_ + " " + Name(op));
  switch (op) {
    case Op::kInit:
      if (owns_store_) {
        return Answered(db_.Init(path_.c_str()), 0);
      }
      EXPECT_EQ(db_.Init(path_.c_str()), -1);
      return true;
    case Op::kClose:
      if (owns_store_) {
        db_.Close();
      }
      return true;
    case Op::kSelectMessageCollectKey:
      return SelectKey();
    case Op::kInsertMessageCollectKey:
      return InsertKey();
    case Op::kInsertStartRecode:
      return InsertStart();
    case Op::kSelectStartRecode:
      return SelectStart();
    case Op::kDeleteStartRecode:
      return DeleteStart();
    case Op::kDeleteAllStartRecode:
      return DeleteAllStarts();
    case Op::kInsertCoreRecode:
      return InsertCore();
    case Op::kSelectAllCoreRecode:
      return SelectAllCores();
    case Op::kDeleteCoreRecode:
      return DeleteCore();
    case Op::kInsertInstanceInfo:
      return InsertInstance();
    case Op::kSelectInstanceInfoWithStartRecodeId:
      return SelectInstances();
    case Op::kUpdataInstanceSessionId:
      return UpdateSessionId();
    case Op::kDeleteInstanceInfo:
      return DeleteInstance();
    case Op::kDeleteSessionCache:
      return PurgeSessions();
    case Op::kInsertSessionCache:
      return InsertSession();
    case Op::kSelectSessionCache:
      return SelectSession();
  }
  return false;
}

bool Workload::InsertKey() {
  const std::string key = Fresh("key");
  const std::string secret = "secret-" + key;
  if (!Answered(db_.InsertMessageCollectKey(key.data(), Len(key), secret.data(), Len(secret)), 0)) {
    return false;
  }
  std::lock_guard<std::mutex> lock(model_.rows);
  model_.keys.emplace_back(key, secret);
  return true;
}

bool Workload::SelectKey() {
  std::string key = "untouched", secret = "untouched";
  const int32_t result = db_.SelectMessageCollectKey(key, secret);
  if (result == -1) {
    return false;
  }
  std::lock_guard<std::mutex> lock(model_.rows);
  if (model_.keys.empty()) {
    EXPECT_EQ(Joined(result, key, secret), "0|untouched|untouched|");
  } else if (model_.shared) {
    EXPECT_EQ(Joined(result, "secret-" + key), Joined(1, secret));  // a pair, not mixed up
  } else {
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(SameText(key, model_.keys.front().first)) << key;
    EXPECT_TRUE(SameText(secret, model_.keys.front().second)) << secret;
  }
  return true;
}

bool Workload::InsertStart() {
  const std::string version = Fresh("version");
  int32_t id = -7;
  const int32_t result =
      db_.InsertStartRecode(id, version.data(), Len(version), tag_.data(), Len(tag_), calls_);
  if (!Answered(result, 1)) {
    EXPECT_EQ(id, -7);
    return false;
  }
  std::lock_guard<std::mutex> lock(model_.rows);
  EXPECT_TRUE(model_.start_ids.insert(id).second) << "id handed out twice: " << id;
  model_.starts[id] = Model::Start{version, tag_, calls_, tag_};
  return true;
}

bool Workload::SelectStart() {
  int32_t id = 0;
  {
    std::lock_guard<std::mutex> lock(model_.rows);
    id = Newest(OwnStarts());
  }
  std::string version = "untouched", type = "untouched";
  int64_t time = -7;
  const int32_t result = db_.SelectStartRecode(id, version, type, time);
  if (result == -1) {
    return false;
  }
  std::lock_guard<std::mutex> lock(model_.rows);
  const auto stored = model_.starts.find(id);
  if (stored == model_.starts.end()) {
    EXPECT_EQ(Joined(result, version, type, time), "0|untouched|untouched|-7|");
  } else {
    EXPECT_EQ(Joined(result, time), Joined(1, stored->second.time));
    EXPECT_TRUE(SameText(version, stored->second.version)) << version;
    EXPECT_TRUE(SameText(type, stored->second.type)) << type;
  }
  return true;
}

bool Workload::DeleteStart() {
  int32_t id = 0;
  {
    std::lock_guard<std::mutex> lock(model_.rows);
    id = Surplus(OwnStarts());
  }
  if (!Answered(db_.DeleteStartRecode(id), 0)) {
    return false;
  }
  std::lock_guard<std::mutex> lock(model_.rows);
  model_.starts.erase(id);
  const auto of_start = [id](const auto& entry) { return entry.second.start_recode_id == id; };
  for (auto it = model_.cores.begin(); it != model_.cores.end();) {
    it = of_start(*it) ? model_.cores.erase(it) : std::next(it);
  }
  for (auto it = model_.instances.begin(); it != model_.instances.end();) {
    it = of_start(*it) ? model_.instances.erase(it) : std::next(it);
  }
  return true;
}

bool Workload::DeleteAllStarts() {
  if (!Answered(db_.DeleteAllStartRecode(), 0)) {
    return false;
  }
  std::lock_guard<std::mutex> lock(model_.rows);
  model_.starts.clear();
  model_.cores.clear();
  model_.instances.clear();
  return true;
}

bool Workload::InsertCore() {
  CoreRecode record;
  {
    std::lock_guard<std::mutex> lock(model_.rows);
    record.start_recode_id = Newest(OwnStarts());
  }
  if (record.start_recode_id == 0) {
    return true;  // another workload's DeleteAllStartRecode left nothing to attach it to
  }
  record.id = -7;
  record.dump_file_path = Fresh("dump");
  record.log_file_path = record.dump_file_path + ".log";
  record.create_time = calls_;
  if (!Answered(db_.InsertCoreRecode(record), 1)) {
    EXPECT_EQ(record.id, -7);
    return false;
  }
  std::lock_guard<std::mutex> lock(model_.rows);
  EXPECT_TRUE(model_.core_ids.insert(record.id).second) << "id handed out twice: " << record.id;
  model_.cores[record.id] = record;
  return true;
}

bool Workload::SelectAllCores() {
  std::vector<CoreRecode> records(1);  // what the caller had stays in front
  records[0].id = -7;
  const int32_t result = db_.SelectAllCoreRecode(records);
  if (result == -1) {
    return false;
  }
  std::lock_guard<std::mutex> lock(model_.rows);
  EXPECT_EQ(Joined(records.size(), records[0].id), Joined(result + 1, -7));
  if (!model_.shared) {
    EXPECT_EQ(static_cast<size_t>(result), model_.cores.size());
  }
  for (int32_t id : OwnRecords(model_.cores)) {
    const auto read = std::find_if(records.begin(), records.end(),
                                   [id](const CoreRecode& record) { return record.id == id; });
    EXPECT_TRUE(read != records.end() && SameCore(*read, model_.cores.at(id))) << id;
  }
  return true;
}

bool Workload::DeleteCore() {
  int32_t id = 0;
  {
    std::lock_guard<std::mutex> lock(model_.rows);
    id = Surplus(OwnRecords(model_.cores));
  }
  if (!Answered(db_.DeleteCoreRecode(id), 0)) {
    return false;
  }
  std::lock_guard<std::mutex> lock(model_.rows);
  model_.cores.erase(id);
  return true;
}

bool Workload::InsertInstance() {
  InstanceInfo info;
  {
    std::lock_guard<std::mutex> lock(model_.rows);
    info.start_recode_id = Newest(OwnStarts());
  }
  if (info.start_recode_id == 0) {
    return true;  // as for core records
  }
  info.id = -7;
  info.instance_no = Fresh("instance");
  info.session_id = Fresh("session");
  info.business_type = static_cast<int32_t>(calls_ % 5);
  info.protocol_type = "proto-" + tag_;
  info.create_time = calls_;
  if (!Answered(db_.InsertInstanceInfo(info), 1)) {
    EXPECT_EQ(info.id, -7);
    return false;
  }
  std::lock_guard<std::mutex> lock(model_.rows);
  EXPECT_TRUE(model_.instance_ids.insert(info.id).second) << "id handed out twice: " << info.id;
  model_.instances[info.id] = info;
  return true;
}

bool Workload::SelectInstances() {
  int32_t start = 0;
  {
    std::lock_guard<std::mutex> lock(model_.rows);
    start = Newest(OwnStarts());
  }
  std::vector<InstanceInfo> infos(1);
  infos[0].id = -7;
  const int32_t result = db_.SelectInstanceInfoWithStartRecodeId(start, infos);
  if (result == -1) {
    return false;
  }
  std::lock_guard<std::mutex> lock(model_.rows);
  size_t expected = 0;
  for (const auto& [id, stored] : model_.instances) {
    if (stored.start_recode_id != start) {
      continue;
    }
    ++expected;
    const auto read = std::find_if(infos.begin(), infos.end(),
                                   [id = id](const InstanceInfo& info) { return info.id == id; });
    EXPECT_TRUE(read != infos.end() && SameInstance(*read, stored)) << id;
  }
  EXPECT_EQ(Joined(result, infos.size(), infos[0].id), Joined(expected, expected + 1, -7));
  return true;
}

bool Workload::UpdateSessionId() {
  int32_t id = 0;
  {
    std::lock_guard<std::mutex> lock(model_.rows);
    id = Newest(OwnRecords(model_.instances));
  }
  const std::string session = Fresh("session");
  if (!Answered(db_.UpdataInstanceSessionId(id, session.data(), Len(session)), 0)) {
    return false;
  }
  std::lock_guard<std::mutex> lock(model_.rows);
  const auto stored = model_.instances.find(id);
  if (stored != model_.instances.end()) {
    stored->second.session_id = session;
  }
  return true;
}

bool Workload::DeleteInstance() {
  int32_t id = 0;
  {
    std::lock_guard<std::mutex> lock(model_.rows);
    id = Surplus(OwnRecords(model_.instances));
  }
  if (!Answered(db_.DeleteInstanceInfo(id), 0)) {
    return false;
  }
  std::lock_guard<std::mutex> lock(model_.rows);
  model_.instances.erase(id);
  return true;
}

bool Workload::PurgeSessions() {
  if (!Answered(db_.DeleteSessionCache(kNow), 0)) {
    return false;
  }
  std::lock_guard<std::mutex> lock(model_.rows);
  for (auto it = model_.sessions.begin(); it != model_.sessions.end();) {
    it = it->second.expire_time < kNow ? model_.sessions.erase(it) : std::next(it);
  }
  return true;
}

bool Workload::InsertSession() {
  const std::string value = Fresh("value");
  const std::string key = "key-" + tag_ + "-" + std::to_string(calls_ % 2);
  const int64_t expire_time = kNow + calls_ % 3 - 1;
  if (!Answered(db_.InsertSessionCache(key.c_str(), value.c_str(), expire_time), 0)) {
    return false;
  }
  std::lock_guard<std::mutex> lock(model_.rows);
  model_.sessions[key] = Model::Session{value, expire_time};
  return true;
}

bool Workload::SelectSession() {
  const std::string key = "key-" + tag_ + "-" + std::to_string(calls_ % 2);
  std::string value = "untouched";
  const int32_t result = db_.SelectSessionCache(key.c_str(), kNow, value);
  if (result == -1) {
    return false;
  }
  std::lock_guard<std::mutex> lock(model_.rows);
  const auto stored = model_.sessions.find(key);
  if (stored == model_.sessions.end() || stored->second.expire_time <= kNow) {
    EXPECT_EQ(Joined(result, value), "0|untouched|");
  } else {
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(SameText(value, stored->second.value)) << value;
  }
  return true;
}

std::vector<int32_t> Workload::OwnStarts() const {
  std::vector<int32_t> ids;
  for (const auto& [id, start] : model_.starts) {
    if (start.owner == tag_) {
      ids.push_back(id);
    }
  }
  return ids;
}

template <typename Record>
std::vector<int32_t> Workload::OwnRecords(const std::map<int32_t, Record>& records) const {
  std::vector<int32_t> ids;
  for (const auto& [id, record] : records) {
    const auto start = model_.starts.find(record.start_recode_id);
    if (start != model_.starts.end() && start->second.owner == tag_) {
      ids.push_back(id);
    }
  }
  return ids;
}

bool Workload::SameText(const std::string& read, const std::string& stored) const {
  return read == stored || (accept_empty_texts_ && read.empty());
}

bool Workload::SameCore(const CoreRecode& read, const CoreRecode& stored) const {
  return Joined(read.id, read.start_recode_id, read.create_time) ==
             Joined(stored.id, stored.start_recode_id, stored.create_time) &&
         SameText(read.dump_file_path, stored.dump_file_path) &&
         SameText(read.log_file_path, stored.log_file_path);
}

bool Workload::SameInstance(const InstanceInfo& read, const InstanceInfo& stored) const {
  return Joined(read.id, read.business_type, read.start_recode_id, read.create_time) ==
             Joined(stored.id, stored.business_type, stored.start_recode_id, stored.create_time) &&
         SameText(read.instance_no, stored.instance_no) &&
         SameText(read.session_id, stored.session_id) &&
         SameText(read.protocol_type, stored.protocol_type);
}

std::string Workload::Fresh(const char* what) {
  return std::string(what) + "-" + tag_ + "-" + std::to_string(++calls_);
}

void ExpectFileMatches(const std::string& path, Model& model) {
  RawDb raw(path);
  EXPECT_EQ(raw.Column("PRAGMA integrity_check"), std::vector<std::string>{"ok"});
  EXPECT_EQ(raw.Column("PRAGMA foreign_key_check"), std::vector<std::string>{});
  std::vector<std::string> starts, cores, instances, sessions, keys;
  {
    std::lock_guard<std::mutex> lock(model.rows);
    for (const auto& [id, start] : model.starts) {
      starts.push_back(Joined(id, start.version, start.type, start.time));
    }
    for (const auto& [id, core] : model.cores) {
      cores.push_back(Joined(id, core.dump_file_path, core.log_file_path, core.start_recode_id,
                             core.create_time));
    }
    for (const auto& [id, info] : model.instances) {
      instances.push_back(Joined(id, info.instance_no, info.session_id, info.business_type,
                                 info.protocol_type, info.start_recode_id, info.create_time));
    }
    for (const auto& [key, session] : model.sessions) {
      sessions.push_back(Joined(key, session.value, session.expire_time));
    }
    for (const auto& [key, secret] : model.keys) {
      keys.push_back(Joined(key, secret));
    }
  }
  EXPECT_EQ(raw.Column("SELECT id||'|'||sdk_version||'|'||sdk_type||'|'||start_time||'|' FROM "
                       "start_recode ORDER BY id"),
            starts);
  EXPECT_EQ(raw.Column("SELECT id||'|'||dump_file_path||'|'||log_file_path||'|'||start_recode_id"
                       "||'|'||create_time||'|' FROM core_recode ORDER BY id"),
            cores);
  EXPECT_EQ(raw.Column("SELECT id||'|'||instance_no||'|'||session_id||'|'||business_type||'|'||"
                       "protocol_type||'|'||start_recode_id||'|'||create_time||'|' FROM "
                       "instance_info ORDER BY id"),
            instances);
  EXPECT_EQ(raw.Column("SELECT session_key||'|'||session_value||'|'||expire_time||'|' FROM "
                       "session_cache ORDER BY session_key"),
            sessions);
  if (!model.shared) {
    EXPECT_EQ(raw.Column("SELECT message_access_key||'|'||message_access_secret_key||'|' FROM "
                         "message_collect_key ORDER BY rowid"),
              keys);
  } else {
    EXPECT_EQ(raw.Count("message_collect_key"), static_cast<int64_t>(keys.size()));
  }
}

int RunRoundThroughFaults(Workload& workload, LogCapture& log, const FaultSwitch& fault) {
  int injected = 0;
  for (Op op : Workload::Round()) {
    bool failed = false;
    for (int nth = 1;; ++nth) {
      // Init and Close are tried again from the state they start from.
      if (nth > 1 && (op == Op::kInit || op == Op::kClose)) {
        EXPECT_TRUE(workload.Run(op == Op::kInit ? Op::kClose : Op::kInit));
      }
      log.Clear();
      fault.arm(nth);
      const bool succeeded = workload.Run(op);
      const bool hit = fault.stop();
      if (succeeded) {
        EXPECT_EQ(log.Lines(), std::vector<std::string>{}) << Workload::Name(op) << " at " << nth;
      } else {
        SCOPED_TRACE(Workload::Name(op) + " failing at " + std::to_string(nth));
        EXPECT_TRUE(hit) << "failed with no fault injected";
        ExpectFailureLines(op, log.Lines(), fault.error);
        log.Clear();
        EXPECT_TRUE(workload.Run(op)) << "failed again after the fault stopped";
        EXPECT_EQ(log.Lines(), std::vector<std::string>{});
        failed = true;
      }
      if (!hit) {
        break;
      }
      ++injected;
    }
    if (failed) {
      ExpectFileMatches(workload.path(), workload.model());  // nothing half-written
    }
  }
  return injected;
}

int OpenThroughFaults(const std::string& original, const std::string& path, int64_t rows,
                      LogCapture& log, const FaultSwitch& fault) {
  int injected = 0;
  for (int nth = 1;; ++nth) {
    SCOPED_TRACE("Init failing at " + std::to_string(nth) + " on " + original);
    std::filesystem::remove(path + "-journal");
    if (original.empty()) {
      std::filesystem::remove(path);
    } else {
      std::filesystem::copy_file(original, path, std::filesystem::copy_options::overwrite_existing);
    }
    log.Clear();
    auto db = NewStore();
    fault.arm(nth);
    const int32_t result = db->Init(path.c_str());
    const bool hit = fault.stop();
    if (result == 0) {
      EXPECT_EQ(log.Lines(), std::vector<std::string>{});
    } else {
      EXPECT_EQ(result, -1);
      ExpectFailureLines(Op::kInit, log.Lines(), fault.error);
      std::string value;
      EXPECT_EQ(db->SelectSessionCache("k", 0, value), -1);  // left closed
      EXPECT_EQ(db->Init(path.c_str()), 0);
    }
    db->Close();
    RawDb raw(path);
    EXPECT_EQ(raw.Column("SELECT version FROM db_version"), std::vector<std::string>{"1.13.0"});
    EXPECT_EQ(raw.Count("start_recode") + raw.Count("core_recode") + raw.Count("instance_info") +
                  raw.Count("session_cache") + raw.Count("message_collect_key"),
              rows);
    if (!hit) {
      return injected;
    }
    ++injected;
  }
}

}  // namespace dbi_test
