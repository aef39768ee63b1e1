// A workload of all eighteen operations, checked against a model of what the
// store should hold. The fault-injection, out-of-memory and stress tests all
// drive it: a round calls every operation at least once, in an order that
// gives each something to work on, and every answer is compared with the
// model, which follows the calls that succeeded.

#ifndef DATABASE_INTERFACE_TESTS_SUPPORT_WORKLOAD_H_
#define DATABASE_INTERFACE_TESTS_SUPPORT_WORKLOAD_H_

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "database_interface/database_interface.h"
#include "support/log_capture.h"

namespace dbi_test {

using database_interface::CoreRecode;
using database_interface::IDatabaseInterface;
using database_interface::InstanceInfo;

// What one store holds according to the calls that reported storing it.
// Every workload on the store shares it.
struct Model {
  struct Start {
    std::string version;
    std::string type;
    int64_t time;
    std::string owner;  // the tag of the workload that stored it
  };
  struct Session {
    std::string value;
    int64_t expire_time;
  };

  std::map<int32_t, Start> starts;
  std::map<int32_t, CoreRecode> cores;
  std::map<int32_t, InstanceInfo> instances;
  std::map<std::string, Session> sessions;
  std::vector<std::pair<std::string, std::string>> keys;  // in the order stored
  // Every id ever handed out, per table: a new row must never get one again.
  std::set<int32_t> start_ids, core_ids, instance_ids;
  // Several workloads at once: which key pair was stored first is unknown.
  bool shared = false;

  std::mutex rows;  // guards everything above
  // Held shared by every call, and alone by the two operations that touch
  // every workload's rows, so that the model can follow those exactly.
  std::shared_mutex whole_store;
};

enum class Op {
  kInit,
  kClose,
  kSelectMessageCollectKey,
  kInsertMessageCollectKey,
  kInsertStartRecode,
  kSelectStartRecode,
  kDeleteStartRecode,
  kDeleteAllStartRecode,
  kInsertCoreRecode,
  kSelectAllCoreRecode,
  kDeleteCoreRecode,
  kInsertInstanceInfo,
  kSelectInstanceInfoWithStartRecodeId,
  kUpdataInstanceSessionId,
  kDeleteInstanceInfo,
  kDeleteSessionCache,
  kInsertSessionCache,
  kSelectSessionCache,
};

class Workload {
 public:
  // `tag` sets this workload's rows apart from others' on the same store.
  // With `owns_store` the workload opens and closes the store itself;
  // otherwise the store stays open, Init must refuse, Close is not called.
  Workload(IDatabaseInterface& db, std::string path, Model& model, std::string tag,
           bool owns_store);

  // The calls of one round, in order: Init first, Close last.
  static const std::vector<Op>& Round();
  static std::string Name(Op op);

  // Texts that the engine could not deliver (it ran out of memory) read as
  // empty: accept an empty text wherever a stored one is expected.
  void AcceptEmptyTexts() { accept_empty_texts_ = true; }

  // One call of `op`: true when it answered as the model predicts (and the
  // model now follows it); false when it answered its failure result, -1,
  // with the model unchanged. Any other answer fails the current test.
  bool Run(Op op);

  const std::string& path() const { return path_; }
  Model& model() { return model_; }

 private:
  bool Call(Op op);
  bool InsertKey();
  bool SelectKey();
  bool InsertStart();
  bool SelectStart();
  bool DeleteStart();
  bool DeleteAllStarts();
  bool InsertCore();
  bool SelectAllCores();
  bool DeleteCore();
  bool InsertInstance();
  bool SelectInstances();
  bool UpdateSessionId();
  bool DeleteInstance();
  bool PurgeSessions();
  bool InsertSession();
  bool SelectSession();

  // With the model's rows locked: this workload's rows, oldest first.
  std::vector<int32_t> OwnStarts() const;
  template <typename Record>
  std::vector<int32_t> OwnRecords(const std::map<int32_t, Record>& records) const;

  bool SameText(const std::string& read, const std::string& stored) const;
  bool SameCore(const CoreRecode& read, const CoreRecode& stored) const;
  bool SameInstance(const InstanceInfo& read, const InstanceInfo& stored) const;
  // Text unique to this call.
  std::string Fresh(const char* what);

  IDatabaseInterface& db_;
  const std::string path_;
  Model& model_;
  const std::string tag_;
  const bool owns_store_;
  bool accept_empty_texts_ = false;
  int64_t calls_ = 0;
};

// Fails the current test unless the file at `path` passes SQLite's integrity
// and foreign key checks and holds exactly the model's rows.
void ExpectFileMatches(const std::string& path, Model& model);

// How a test injects failures (into file calls, or allocations): `arm(n)`
// makes the nth from now fail, `stop()` ends them and tells whether one was
// injected; a call that fails reports `error`, SQLite's text for the code.
struct FaultSwitch {
  std::function<void(int)> arm;
  std::function<bool()> stop;
  std::string error;
};

// Runs a round with each call tried again and again, the fault armed at its
// 1st, 2nd, ... failure point, until a try injects none. A call that fails
// must answer -1 with exactly its failure lines, and succeed once the fault
// is stopped. Returns the number of failures injected.
int RunRoundThroughFaults(Workload& workload, LogCapture& log, const FaultSwitch& fault);

// Opens a copy of the file `original` ("" for none) at `path` with the nth
// failure armed, for n = 1, 2, ... until an Init injects none. A failed Init
// must answer -1 with its chain of lines and a later Init on the same
// instance must open the file, at the current version and with `rows` in
// the data tables afterwards. Returns the number of failures injected.
int OpenThroughFaults(const std::string& original, const std::string& path, int64_t rows,
                      LogCapture& log, const FaultSwitch& fault);

}  // namespace dbi_test

#endif  // DATABASE_INTERFACE_TESTS_SUPPORT_WORKLOAD_H_
