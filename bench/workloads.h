// What is measured: each workload builds its ways on one set of stores.
// The ways of a workload do the same work with the same SQL text: the same
// keys in the same order, the same outputs filled, the same results checked.

#ifndef DATABASE_INTERFACE_BENCH_WORKLOADS_H_
#define DATABASE_INTERFACE_BENCH_WORKLOADS_H_

#include <functional>
#include <string>
#include <vector>

#include "harness.h"
#include "stores.h"

namespace dbi_bench {

enum class Medium {
  kMemory,  // a file in /dev/shm: what SQLite and the wrapper cost in CPU
  kDisk,    // a file on the build folder's disk: what a commit costs there
};

struct Workload {
  std::string name;
  Medium medium;
  // Ways in order: library, floor, SQLiteCpp, then optional variants that
  // are reported against the floor.
  std::function<std::vector<Way>(Stores&)> make;
  Plan plan;
  // Calls of one instruction-count loop; 0 where the workload is not counted.
  int counted_calls;
};

const std::vector<Workload>& Workloads();

}  // namespace dbi_bench

#endif  // DATABASE_INTERFACE_BENCH_WORKLOADS_H_
