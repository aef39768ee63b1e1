#include "support/workload.h"

#include <gtest/gtest.h>

#include "schema/statements.h"

namespace dbi_test {
namespace {

namespace dbi = database_interface;

// The session cache's reference time. Entries expire just before, at or just
// after it, so that purges and reads both have something to tell apart.
constexpr int64_t kNow = 1000;

int32_t Len(const std::string& text) {
  return static_cast<int32_t>(text.size());
}

}  // namespace

Workload::Workload(IDatabaseInterface& db, std::string path, std::string tag)
    : db_(&db), path_(std::move(path)), tag_(std::move(tag)) {}

std::string Name(Op op) {
  if (op == kInit || op == kClose) {
    return op == kInit ? "Init" : "Close";
  }
  const std::string qualified = dbi::kRecordStmts[op].op_name;
  return qualified.substr(qualified.rfind(':') + 1);
}

const std::vector<Op>& Workload::Round() {
  // The starts of earlier rounds go first. Starts A and B each get a core and
  // an instance record, B a second core; then B's instance goes, A goes with
  // its core and instance, and B's second core goes.
  // Packed by hand: one call to a line would be two dozen lines.
  // clang-format off
  static const std::vector<Op> round = {kInit, dbi::kDeleteAllStartRecode,
      dbi::kInsertMessageCollectKey, dbi::kSelectMessageCollectKey,
      dbi::kInsertStartRecode, dbi::kInsertCoreRecode, dbi::kInsertInstanceInfo,
      dbi::kInsertStartRecode, dbi::kSelectStartRecode, dbi::kInsertCoreRecode,
      dbi::kInsertCoreRecode, dbi::kInsertInstanceInfo, dbi::kSelectAllCoreRecode,
      dbi::kSelectInstanceInfoWithStartRecodeId, dbi::kUpdataInstanceSessionId,
      dbi::kDeleteInstanceInfo, dbi::kDeleteStartRecode, dbi::kDeleteCoreRecode,
      dbi::kInsertSessionCache, dbi::kInsertSessionCache, dbi::kSelectSessionCache,
      dbi::kDeleteSessionCache, kClose};
  // clang-format on
  return round;
}

std::string Workload::Run(Op op) {
  SCOPED_TRACE(Name(op) + " " + tag_ + "-" + std::to_string(done_));
  const std::string text = tag_ + "-" + std::to_string(done_);  // unique to this call
  const std::string secret = text + "-secret", key = "key-" + tag_ + std::to_string(done_ % 2);
  const int32_t start = starts_.empty() ? 0 : starts_.back();
  // The outputs, as a call that writes none leaves them.
  std::string a = "-", b = "-";
  int32_t id = -7;
  int64_t time = -7;
  CoreRecode core{-7, "dump-" + text, "log-" + text, start, done_};
  InstanceInfo info{-7, "no-" + text, "session-" + text, 0, "protocol-" + tag_, start, done_};
  info.business_type = static_cast<int32_t>(done_ % 5);
  std::vector<CoreRecode> cores;
  std::vector<InstanceInfo> infos;
  size_t removed = 0;  // the oldest starts the call removes
  // The call's answer, once it gave `result`: what it wrote to its outputs;
  // what it made or removed is kept track of.
  const auto answer = [&](int32_t result) {
    EXPECT_GE(result, -1);
    if (result != -1) {
      done_ += op == kInit || op == kClose ? 0 : 1;
      starts_.erase(starts_.begin(), starts_.begin() + static_cast<std::ptrdiff_t>(removed));
      starts_.insert(starts_.end(), id == -7 ? 0 : 1, id);
      core_ = core.id == -7 ? core_ : core.id;
      instance_ = info.id == -7 ? instance_ : info.id;
    }
    std::string out = Joined(result, a, b, time, id, core.id, info.id) + ";";
    for (const CoreRecode& c : cores) {
      out +=
          Joined(c.id, c.dump_file_path, c.log_file_path, c.start_recode_id, c.create_time) + ";";
    }
    for (const InstanceInfo& i : infos) {
      out += Joined(i.id, i.instance_no, i.session_id, i.business_type, i.protocol_type,
                    i.start_recode_id, i.create_time) +
             ";";
    }
    return out;
  };
  switch (op == kInit || op == kClose ? dbi::kRecordStmtCount : static_cast<dbi::RecordStmt>(op)) {
    case dbi::kRecordStmtCount:  // Init or Close
      if (op == kClose) {
        db_->Close();
      }
      return answer(op == kInit ? db_->Init(path_.c_str()) : 0);
    case dbi::kInsertMessageCollectKey:
      return answer(
          db_->InsertMessageCollectKey(text.data(), Len(text), secret.data(), Len(secret)));
    case dbi::kSelectMessageCollectKey:
      return answer(db_->SelectMessageCollectKey(a, b));
    case dbi::kInsertStartRecode:
      return answer(
          db_->InsertStartRecode(id, text.data(), Len(text), tag_.data(), Len(tag_), done_));
    case dbi::kSelectStartRecode:
      return answer(db_->SelectStartRecode(start, a, b, time));
    case dbi::kDeleteStartRecode:  // the oldest, with its rows
      removed = starts_.empty() ? 0 : 1;
      return answer(db_->DeleteStartRecode(starts_.empty() ? 0 : starts_.front()));
    case dbi::kDeleteAllStartRecode:
      removed = starts_.size();
      return answer(db_->DeleteAllStartRecode());
    case dbi::kInsertCoreRecode:
      return answer(db_->InsertCoreRecode(core));
    case dbi::kSelectAllCoreRecode:
      return answer(db_->SelectAllCoreRecode(cores));
    case dbi::kDeleteCoreRecode:
      return answer(db_->DeleteCoreRecode(core_));
    case dbi::kInsertInstanceInfo:
      return answer(db_->InsertInstanceInfo(info));
    case dbi::kSelectInstanceInfoWithStartRecodeId:
      return answer(db_->SelectInstanceInfoWithStartRecodeId(start, infos));
    case dbi::kUpdataInstanceSessionId:
      return answer(db_->UpdataInstanceSessionId(instance_, text.data(), Len(text)));
    case dbi::kDeleteInstanceInfo:
      return answer(db_->DeleteInstanceInfo(instance_));
    case dbi::kDeleteSessionCache:
      return answer(db_->DeleteSessionCache(kNow));
    case dbi::kInsertSessionCache:
      return answer(db_->InsertSessionCache(key.c_str(), text.c_str(), kNow + done_ % 3 - 1));
    case dbi::kSelectSessionCache:
      return answer(db_->SelectSessionCache(key.c_str(), kNow, a));
  }
  ADD_FAILURE() << "no operation " << op;
  return answer(-1);
}

void ExpectEveryRecordOperationRefused(IDatabaseInterface& db) {
  Workload workload(db, "", "refused");
  for (Op op = 0; op < static_cast<Op>(dbi::kRecordStmtCount); ++op) {
    EXPECT_EQ(workload.Run(op), kRefused) << Name(op);
  }
}

std::string FileState(const std::string& path) {
  RawDb raw(path);
  // The store holds no lock on the file between calls: another connection
  // takes an exclusive one at once (it sets no busy timeout).
  raw.Exec("BEGIN EXCLUSIVE; ROLLBACK");
  const Lines checks = raw.Rows(
      "SELECT (SELECT group_concat(integrity_check) FROM pragma_integrity_check), (SELECT "
      "count(*) FROM pragma_foreign_key_check), (SELECT group_concat(version) FROM db_version)");
  if (checks.empty() || checks[0].rfind("ok|0|", 0) != 0) {
    return checks.empty() ? "?" : checks[0];  // a damaged file's rows may not be readable
  }
  std::string state = checks[0];
  for (const char* table :
       {"start_recode", "core_recode", "instance_info", "session_cache", "message_collect_key"}) {
    state += std::string(" ") + table + ":";
    for (const std::string& row : raw.Rows(std::string("SELECT * FROM ") + table)) {
      state += " " + row;
    }
  }
  return state;
}

}  // namespace dbi_test
