#include "support/workload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>

#include "schema/statements.h"

namespace dbi_test {
namespace {

namespace dbi = database_interface;

constexpr Op kRecordOperations = static_cast<Op>(dbi::kRecordStmtCount);

// The operations named in `names`, in order.
std::vector<Op> Ops(const std::string& names) {
  std::vector<Op> ops;
  std::istringstream words(names);
  for (std::string name; words >> name;) {
    Op op = kInit;
    while (op < kRecordOperations && Name(op) != name) {
      ++op;
    }
    EXPECT_LT(op, kRecordOperations) << "no operation " << name;
    ops.push_back(op);
  }
  return ops;
}

// The session cache's reference time. Entries expire just before, at or just
// after it, so that purges and reads both have something to tell apart.
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

// Fields as RawDb::Rows gives a row's columns: "a|b|c".
template <typename First, typename... Fields>
std::string Joined(const First& first, const Fields&... fields) {
  std::ostringstream out;
  out << first;
  ((out << '|' << fields), ...);
  return out.str();
}

std::string Row(const CoreRecode& core) {
  return Joined(core.id, core.dump_file_path, core.log_file_path, core.start_recode_id,
                core.create_time);
}

std::string Row(const InstanceInfo& info) {
  return Joined(info.id, info.instance_no, info.session_id, info.business_type, info.protocol_type,
                info.start_recode_id, info.create_time);
}

// "row;row;" of the records that `pick` keeps, by id: the model's table, or
// (below) a read's output.
template <typename Record, typename Pick>
std::string Listed(const std::map<int32_t, Record>& records, const Pick& pick) {
  std::string listed;
  for (const auto& [id, record] : records) {
    listed += pick(record) ? Row(record) + ";" : "";
  }
  return listed;
}

template <typename Record, typename Pick>
std::string Listed(const std::vector<Record>& records, const Pick& pick) {
  std::map<int32_t, Record> by_id;
  for (const Record& record : records) {
    by_id[record.id] = record;
  }
  return Listed(by_id, pick);
}

// "row;row;", sorted first when asked.
std::string JoinedRows(Lines rows, bool sorted = false) {
  if (sorted) {
    std::sort(rows.begin(), rows.end());
  }
  std::string joined;
  for (const std::string& row : rows) {
    joined += row + ";";
  }
  return joined;
}

template <typename Map, typename Gone>
void EraseIf(Map& map, const Gone& gone) {
  for (auto it = map.begin(); it != map.end();) {
    it = gone(*it) ? map.erase(it) : std::next(it);
  }
}

// A start goes with its core and instance records.
void DropStarts(Model& model, int32_t id, bool all) {
  const auto gone = [&](const auto& row) { return all || row.second.start_recode_id == id; };
  EraseIf(model.starts, [&](const auto& row) { return all || row.first == id; });
  EraseIf(model.cores, gone);
  EraseIf(model.instances, gone);
}

}  // namespace

Workload::Workload(IDatabaseInterface& db, std::string path, Model& model, std::string tag)
    : db_(db), path_(std::move(path)), model_(model), tag_(std::move(tag)) {}

bool Answered(int32_t result, int32_t success) {
  EXPECT_TRUE(result == success || result == -1)
      << result << ": neither success (" << success << ") nor failure";
  return result == success;
}

std::string Name(Op op) {
  if (op == kInit || op == kClose) {
    return op == kInit ? "Init" : "Close";
  }
  const std::string qualified = dbi::kRecordStmts[op].op_name;
  return qualified.substr(qualified.rfind(':') + 1);
}

const std::vector<Op>& Workload::Round() {
  // The starts of earlier rounds go first. Starts A and B each get a core and
  // an instance record, B a second core; then A's instance goes, A goes with
  // its core, and B's first core goes.
  static const std::vector<Op> round =
      Ops("Init DeleteAllStartRecode InsertMessageCollectKey SelectMessageCollectKey "
          "InsertStartRecode InsertCoreRecode InsertInstanceInfo InsertStartRecode "
          "SelectStartRecode InsertCoreRecode InsertCoreRecode InsertInstanceInfo "
          "SelectAllCoreRecode SelectInstanceInfoWithStartRecodeId UpdataInstanceSessionId "
          "DeleteInstanceInfo DeleteStartRecode DeleteCoreRecode InsertSessionCache "
          "InsertSessionCache SelectSessionCache DeleteSessionCache Close");
  return round;
}

bool Workload::Run(Op op) {
  ++calls_;
  SCOPED_TRACE(Name(op) + " " + tag_ + "-" + std::to_string(calls_));
  if (op == dbi::kDeleteAllStartRecode || op == dbi::kDeleteSessionCache) {
    std::unique_lock<std::shared_mutex> alone(model_.whole_store);
    return Call(op);
  }
  std::shared_lock<std::shared_mutex> beside_others(model_.whole_store);
  return Call(op);
}

bool Workload::Call(Op op) {
  // This workload's ids still in `table` (`ids` drops the rest).
  const auto live = [this](std::vector<int32_t> & ids, const auto& table) -> auto& {
    std::lock_guard<std::mutex> lock(model_.rows);
    ids.erase(std::remove_if(ids.begin(), ids.end(), [&](int32_t id) { return !table.count(id); }),
              ids.end());
    return ids;
  };
  // A write's answer: on `success`, `update` makes the model follow it.
  const auto stored = [this](int32_t result, int32_t success, const auto& update) {
    if (!Answered(result, success)) {
      return false;
    }
    std::lock_guard<std::mutex> lock(model_.rows);
    update();
    return true;
  };
  // An insert's answer, 1 with the new row's `id`, which joins `own`; a
  // failed insert leaves `id` as it was.
  const auto inserted = [&](int32_t result, const int32_t& id, std::vector<int32_t>& own,
                            const auto& update) {
    EXPECT_TRUE(result == 1 || id == -7) << "a failed insert wrote id " << id;
    return stored(result, 1, [&] {
      own.push_back(id);
      update();
    });
  };
  // A read's answer: what it `read` must be what `expected()` makes of the model.
  const auto read = [&](int32_t result, const std::string& got, const auto& expected) {
    return result != -1 && stored(0, 0, [&] { EXPECT_EQ(got, expected()); });
  };
  const std::string text = tag_ + "-" + std::to_string(calls_);  // unique to this call
  const int32_t start = Newest(live(starts_, model_.starts));
  const std::string session_key = "key-" + tag_ + "-" + std::to_string(calls_ % 2);
  std::string a = "-", b = "-";  // outputs of the reads, "-" until written
  if (op == kInit) {
    return Answered(db_.Init(path_.c_str()), 0);
  }
  if (op == kClose) {
    db_.Close();
    return true;
  }
  switch (static_cast<dbi::RecordStmt>(op)) {
    case dbi::kInsertMessageCollectKey: {
      const std::string secret = text + "-secret";
      return stored(db_.InsertMessageCollectKey(text.data(), Len(text), secret.data(), Len(secret)),
                    0, [&] { model_.keys.push_back(Joined(text, secret)); });
    }
    case dbi::kSelectMessageCollectKey: {
      const int32_t result = db_.SelectMessageCollectKey(a, b);
      return read(result, Joined(result, a, b), [&] {
        return model_.keys.empty() ? Joined(0, "-", "-")
               : model_.shared     ? Joined(1, a, a + "-secret")  // a pair, not mixed up
                                   : Joined(1, model_.keys.front());
      });
    }
    case dbi::kInsertStartRecode: {
      int32_t id = -7;
      const int32_t result =
          db_.InsertStartRecode(id, text.data(), Len(text), tag_.data(), Len(tag_), calls_);
      return inserted(result, id, starts_, [&] { model_.starts[id] = Joined(text, tag_, calls_); });
    }
    case dbi::kSelectStartRecode: {
      int64_t time = -7;
      const int32_t result = db_.SelectStartRecode(start, a, b, time);
      return read(result, Joined(result, a, b, time), [&] {
        return model_.starts.count(start) != 0 ? Joined(1, model_.starts[start])
                                               : Joined(0, "-", "-", -7);
      });
    }
    case dbi::kDeleteStartRecode: {
      const int32_t id = Surplus(starts_);
      return stored(db_.DeleteStartRecode(id), 0, [&] { DropStarts(model_, id, false); });
    }
    case dbi::kDeleteAllStartRecode:
      return stored(db_.DeleteAllStartRecode(), 0, [&] { DropStarts(model_, 0, true); });
    case dbi::kInsertCoreRecode: {
      // No start of its own: another workload's DeleteAllStartRecode took them.
      CoreRecode core{-7, "dump-" + text, "log-" + text, start, calls_};
      return start == 0 || inserted(db_.InsertCoreRecode(core), core.id, cores_,
                                    [&] { model_.cores[core.id] = core; });
    }
    case dbi::kSelectAllCoreRecode: {
      std::vector<CoreRecode> cores(1, CoreRecode{-7, "", "", 0, 0});  // stays in front
      const auto own = [this](const CoreRecode& core) {
        return std::count(cores_.begin(), cores_.end(), core.id) > 0;
      };
      const int32_t result = db_.SelectAllCoreRecode(cores);
      return read(result, Joined(result, cores.size() - 1, cores[0].id, Listed(cores, own)), [&] {
        const size_t count = model_.shared ? static_cast<size_t>(result) : model_.cores.size();
        return Joined(count, count, -7, Listed(model_.cores, own));
      });
    }
    case dbi::kDeleteCoreRecode: {
      const int32_t id = Surplus(live(cores_, model_.cores));
      return stored(db_.DeleteCoreRecode(id), 0, [&] { model_.cores.erase(id); });
    }
    case dbi::kInsertInstanceInfo: {
      InstanceInfo info{-7, "no-" + text, "session-" + text, 0, "protocol-" + tag_, start, calls_};
      info.business_type = static_cast<int32_t>(calls_ % 5);
      return start == 0 || inserted(db_.InsertInstanceInfo(info), info.id, instances_,
                                    [&] { model_.instances[info.id] = info; });
    }
    case dbi::kSelectInstanceInfoWithStartRecodeId: {
      std::vector<InstanceInfo> infos(1, InstanceInfo{-7, "", "", 0, "", 0, 0});
      const auto of_start = [start](const InstanceInfo& info) {
        return info.id != -7 && info.start_recode_id == start;
      };
      const int32_t result = db_.SelectInstanceInfoWithStartRecodeId(start, infos);
      return read(result, Joined(result, infos.size() - 1, infos[0].id, Listed(infos, of_start)),
                  [&] {
                    const std::string listed = Listed(model_.instances, of_start);
                    const auto count = std::count(listed.begin(), listed.end(), ';');
                    return Joined(count, count, -7, listed);
                  });
    }
    case dbi::kUpdataInstanceSessionId: {
      const int32_t id = Newest(live(instances_, model_.instances));
      return stored(db_.UpdataInstanceSessionId(id, text.data(), Len(text)), 0, [&] {
        if (model_.instances.count(id) != 0) {
          model_.instances[id].session_id = text;
        }
      });
    }
    case dbi::kDeleteInstanceInfo: {
      const int32_t id = Surplus(live(instances_, model_.instances));
      return stored(db_.DeleteInstanceInfo(id), 0, [&] { model_.instances.erase(id); });
    }
    case dbi::kDeleteSessionCache:
      return stored(db_.DeleteSessionCache(kNow), 0, [&] {
        EraseIf(model_.sessions, [](const auto& entry) { return entry.second.first < kNow; });
      });
    case dbi::kInsertSessionCache: {
      const int64_t expire_time = kNow + calls_ % 3 - 1;
      return stored(db_.InsertSessionCache(session_key.c_str(), text.c_str(), expire_time), 0, [&] {
        model_.sessions[session_key] = {expire_time, text};
      });
    }
    case dbi::kSelectSessionCache: {
      const int32_t result = db_.SelectSessionCache(session_key.c_str(), kNow, a);
      return read(result, Joined(result, a), [&] {
        const auto entry = model_.sessions.find(session_key);
        const bool unexpired = entry != model_.sessions.end() && entry->second.first > kNow;
        return unexpired ? Joined(1, entry->second.second) : Joined(0, "-");
      });
    }
    case dbi::kRecordStmtCount:
      break;
  }
  ADD_FAILURE() << "no operation " << op;
  return false;
}

std::string ExpectedRows(Model& model) {
  std::lock_guard<std::mutex> lock(model.rows);
  Lines starts, sessions;
  for (const auto& [id, row] : model.starts) {
    starts.push_back(Joined(id, row));
  }
  for (const auto& [key, entry] : model.sessions) {
    sessions.push_back(Joined(key, entry.second, entry.first));
  }
  const auto all = [](const auto&) { return true; };
  return Joined(JoinedRows(starts), Listed(model.cores, all), Listed(model.instances, all),
                JoinedRows(sessions), JoinedRows(model.keys, model.shared));
}

std::string StoredRows(RawDb& raw, bool shared) {
  // Key pairs in the order stored, unknown to the model with several workloads.
  return Joined(
      JoinedRows(raw.Rows("SELECT * FROM start_recode ORDER BY id")),
      JoinedRows(raw.Rows("SELECT * FROM core_recode ORDER BY id")),
      JoinedRows(raw.Rows("SELECT * FROM instance_info ORDER BY id")),
      JoinedRows(raw.Rows("SELECT session_key, session_value, expire_time FROM session_cache "
                          "ORDER BY 1")),
      JoinedRows(raw.Rows("SELECT * FROM message_collect_key"), shared));
}

void ExpectFileMatches(const std::string& path, Model& model) {
  RawDb raw(path);
  EXPECT_EQ(raw.Rows("PRAGMA integrity_check"), Lines{"ok"});
  EXPECT_EQ(raw.Rows("PRAGMA foreign_key_check"), Lines{});
  EXPECT_EQ(StoredRows(raw, model.shared), ExpectedRows(model));
  // The store holds no lock on the file between calls: another connection
  // takes an exclusive one at once (it sets no busy timeout).
  raw.Exec("BEGIN EXCLUSIVE; ROLLBACK");
}

}  // namespace dbi_test
