// A workload of all eighteen operations, checked against a model of what the
// store should hold. The fault-injection, power-cut and stress tests all
// drive it: a round calls every operation at least once, in an order that
// gives each something to work on, every answer is compared with the model,
// and the model follows the calls that succeeded.

#ifndef DATABASE_INTERFACE_TESTS_SUPPORT_WORKLOAD_H_
#define DATABASE_INTERFACE_TESTS_SUPPORT_WORKLOAD_H_

#include <cstdint>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "support/test_db.h"

namespace dbi_test {

// What one store holds according to the calls that reported storing it;
// every workload on the store shares it.
struct Model {
  // With MinGW-w64's threads, std::shared_mutex is a winpthreads rwlock that
  // sets itself up on its first lock, and threads that first lock it at the
  // same time can each hold it alone. Locked once here, before any thread
  // shares it, it excludes as it should.
  Model() {
    whole_store.lock();
    whole_store.unlock();
  }

  std::map<int32_t, std::string> starts;  // id -> "version|type|time"
  std::map<int32_t, CoreRecode> cores;
  std::map<int32_t, InstanceInfo> instances;
  std::map<std::string, std::pair<int64_t, std::string>> sessions;  // key -> expiry, value
  Lines keys;                                                       // "key|secret", oldest first
  bool shared = false;  // several workloads: which key pair came first is unknown

  std::mutex rows;  // guards everything above
  // Held shared by every call, and alone by the two operations that touch
  // every workload's rows, so that the model can follow those exactly.
  std::shared_mutex whole_store;
};

// A call of a round: Init, Close, or a record operation, known by the one
// statement the store runs for it (a database_interface::RecordStmt).
// Workload::Run switches over the store's statements with no default, so
// the compiler notices an operation added to the store that it does not run.
using Op = int;
constexpr Op kInit = -2;
constexpr Op kClose = -1;

// The operation's name in the interface, as its log lines give it.
std::string Name(Op op);

// True for `success`, false for -1; any other answer fails the test.
bool Answered(int32_t result, int32_t success);

class Workload {
 public:
  // `tag` sets this workload's rows apart from others' on the same store.
  // Workloads sharing a store that stays open leave out its Init and Close.
  Workload(IDatabaseInterface& db, std::string path, Model& model, std::string tag);

  // The calls of one round, in order: Init first, Close last.
  static const std::vector<Op>& Round();

  // One call of `op`: true when it answered as the model predicts (and the
  // model now follows it); false when it answered its failure result, -1,
  // with the model unchanged. Any other answer fails the current test.
  bool Run(Op op);

 private:
  bool Call(Op op);

  IDatabaseInterface& db_;
  const std::string path_;
  Model& model_;
  const std::string tag_;
  int64_t calls_ = 0;
  std::vector<int32_t> starts_, cores_, instances_;  // this workload's ids, oldest first
};

// Every row of the five record tables in one text, as the model expects
// them and as a file holds them (key pairs sorted when the model is shared).
std::string ExpectedRows(Model& model);
std::string StoredRows(RawDb& raw, bool shared);

// Fails the current test unless the file at `path` passes SQLite's integrity
// and foreign key checks, holds exactly the model's rows, and is not locked.
void ExpectFileMatches(const std::string& path, Model& model);

}  // namespace dbi_test

#endif  // DATABASE_INTERFACE_TESTS_SUPPORT_WORKLOAD_H_
