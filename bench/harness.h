// The one way every workload is measured: its ways (the library, the SQLite
// C API floor, SQLiteCpp) run in short alternating blocks inside one
// benchmark, so that a load spike on this shared machine hits all of them
// alike. Each round runs every way once, in a shuffled order; the ratio of
// the first way to each other way is taken per round, and a repetition
// reports the median of those ratios. Times of single blocks are noise; the
// ratios of neighbouring blocks are not.

#ifndef DATABASE_INTERFACE_BENCH_HARNESS_H_
#define DATABASE_INTERFACE_BENCH_HARNESS_H_

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace dbi_bench {

// What a block took, on two clocks. The calling thread's CPU time leaves out
// the time this busy machine gives to other processes; only wall time sees
// waiting, for a disk or for other threads.
struct Elapsed {
  double wall_ns;
  double cpu_ns;
};

enum class Clock { kThreadCpu, kWall };

// Started on construction; reads both clocks.
class Stopwatch {
 public:
  Stopwatch() : wall_(std::chrono::steady_clock::now()), cpu_ns_(ThreadCpuNs()) {}
  Elapsed Read() const {
    const std::chrono::duration<double, std::nano> wall = std::chrono::steady_clock::now() - wall_;
    return {wall.count(), ThreadCpuNs() - cpu_ns_};
  }

 private:
  static double ThreadCpuNs();

  std::chrono::steady_clock::time_point wall_;
  double cpu_ns_;
};

// Runs calls number `first` to `first + count - 1` of one way and answers
// how long they took. Call numbers pick the keys and rows, so that every
// way walks the same sequence.
using Block = std::function<Elapsed(int64_t first, int64_t count)>;

struct Way {
  std::string name;
  Block block;
};

// A timed loop of `call(i)`: the common shape of a block.
template <typename Call>
Block Timed(Call call) {
  return [call](int64_t first, int64_t count) mutable {
    const Stopwatch watch;
    for (int64_t i = first; i < first + count; ++i) {
      call(i);
    }
    return watch.Read();
  };
}

// How a workload is run: the clock its ratios are taken on, how long one
// block of one way lasts, how many rounds of blocks make a repetition, and
// how many repetitions there are.
struct Plan {
  Clock clock;
  double block_ms;
  int rounds;
  int repetitions;
};

// Roughly what one call of `block` costs in CPU time, from blocks of a
// millisecond.
double NsPerCall(const Block& block);

// One block run by as many threads as `per_thread` has blocks, all started
// together: its wall time from the first start to the last end, and the CPU
// time of all threads. Its `count` calls are shared out in inverse
// proportion to `ns_per_call`, so that every thread works about equally
// long: a thread with a slow call makes fewer calls.
Block OnThreads(std::vector<Block> per_thread, const std::vector<double>& ns_per_call);

// A measurement that answers wrongly measures nothing: stops the run.
inline void Expect(bool ok, const char* what) {
  if (!ok) {
    (void)std::fprintf(stderr, "bench: unexpected result: %s\n", what);
    std::abort();
  }
}

// One benchmark repetition: warms up while doubling the block until the
// first way's block lasts the plan's block time, then runs `state`'s
// iterations as rounds. Records the repetition for the table and sets the
// counters that Google Benchmark prints.
void RunInterleaved(benchmark::State& state, const std::string& workload,
                    const std::vector<Way>& ways, const Plan& plan);

// The three-way table of every workload run so far: medians over the
// repetitions of ns per call and of the ratios, with the ratios' range.
void PrintTable(std::ostream& out);

// The same figures as columns for gnuplot: workload; ns per call of the
// library, the floor and SQLiteCpp; the library's and then SQLiteCpp's
// ratio to the floor, each as median, lowest and highest repetition.
void WriteChartData(const std::string& path);

}  // namespace dbi_bench

#endif  // DATABASE_INTERFACE_BENCH_HARNESS_H_
