// A round of all eighteen operations on one store, each call's answer given
// as one text. The failure, power-cut and stress tests drive it: a round
// calls every operation at least once, in an order that gives each
// something to work on, and what a call should answer or leave in the file
// is told by the same round run where nothing fails, or by the file itself.

#ifndef DATABASE_INTERFACE_TESTS_SUPPORT_WORKLOAD_H_
#define DATABASE_INTERFACE_TESTS_SUPPORT_WORKLOAD_H_

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_db.h"

namespace dbi_test {

// A call of a round: Init, Close, or a record operation, known by the one
// statement the store runs for it (a database_interface::RecordStmt).
// Workload::Run switches over the store's statements with no default, so
// the compiler notices an operation added to the store that it does not run.
using Op = int;
constexpr Op kInit = -2;
constexpr Op kClose = -1;

// The operation's name in the interface, as its log lines give it.
std::string Name(Op op);

class Workload {
 public:
  // `tag` sets this workload's rows apart from others' on the same store.
  Workload(IDatabaseInterface& db, std::string path, std::string tag);

  // The calls of one round, in order: Init first, Close last.
  static const std::vector<Op>& Round();

  // One call of `op`: its result and every output, "result|output|...;",
  // then the records a read gave, "field|...;" each. Each call works on this
  // workload's own rows: its newest start (its oldest, to delete), its
  // newest core and instance.
  std::string Run(Op op);

 private:
  IDatabaseInterface* db_;
  std::string path_, tag_;
  int64_t done_ = 0;                 // calls that succeeded: the next call's texts name it
  std::vector<int32_t> starts_;      // oldest first
  int32_t core_ = 0, instance_ = 0;  // the newest, or 0 (no row has it)
};

// The answer of a call refused, its outputs as they were.
constexpr char kRefused[] = "-1|-|-|-7|-7|-7|-7;";

// True for -1 with no output written; a read may have added whole records.
inline bool Refused(const std::string& answer) {
  return answer.rfind(kRefused, 0) == 0;
}

// "integrity|foreign key faults|version", then every row of the five record
// tables, of the file at `path`; fails the current test if the store holds
// a lock on it.
std::string FileState(const std::string& path);

}  // namespace dbi_test

#endif  // DATABASE_INTERFACE_TESTS_SUPPORT_WORKLOAD_H_
