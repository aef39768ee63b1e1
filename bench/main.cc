// store_bench: every workload with its ways interleaved, then the three-way
// table, the chart's data file and the syncs per commit (make bench).
// store_bench --instructions, under callgrind: one fixed loop per read
// workload and way, each dumped under the name "workload|way|calls"
// (make bench-instructions).
//
// Store files go to --memory_dir (default /dev/shm) and, for the disk
// workloads, to --disk_dir (default the current folder).

#include <valgrind/callgrind.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "harness.h"
#include "stores.h"
#include "sync_count.h"
#include "workloads.h"

namespace dbi_bench {
namespace {

struct Options {
  bool instructions = false;
  std::string chart_data = "results.dat";
  std::string memory_dir = std::filesystem::exists("/dev/shm")
                               ? "/dev/shm"
                               : std::filesystem::temp_directory_path().string();
  std::string disk_dir = ".";
};

// Takes this program's own flags out of argv and leaves Google Benchmark's.
Options ParseOptions(int& argc, char** argv) {
  Options options;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value_of = [&arg](const std::string& flag, std::string& value) {
      if (arg.rfind(flag + "=", 0) != 0) {
        return false;
      }
      value = arg.substr(flag.size() + 1);
      return true;
    };
    if (arg == "--instructions") {
      options.instructions = true;
    } else if (!value_of("--chart_data", options.chart_data) &&
               !value_of("--memory_dir", options.memory_dir) &&
               !value_of("--disk_dir", options.disk_dir)) {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  return options;
}

// The seeded folders, made on first use and removed at exit.
class Folders {
 public:
  explicit Folders(const Options& options) : options_(options) {}

  const StoreFolder& For(Medium medium) {
    std::unique_ptr<StoreFolder>& folder = medium == Medium::kDisk ? disk_ : memory_;
    if (folder == nullptr) {
      folder = std::make_unique<StoreFolder>(medium == Medium::kDisk ? options_.disk_dir
                                                                     : options_.memory_dir);
    }
    return *folder;
  }

 private:
  const Options& options_;
  std::unique_ptr<StoreFolder> memory_;
  std::unique_ptr<StoreFolder> disk_;
};

void RunWorkload(benchmark::State& state, const Workload& workload, Folders& folders) {
  Stores stores(folders.For(workload.medium), workload.medium == Medium::kDisk, workload.name);
  const std::vector<Way> ways = workload.make(stores);
  RunInterleaved(state, workload.name, ways, workload.plan);
}

// The library's call counter alone, with nothing between calls: the most
// its shared cache line can cost when every thread calls at once.
void CallCounterAlone(benchmark::State& state) {
  static CallCounter counter;
  for (auto _ : state) {
    (void)_;
    benchmark::DoNotOptimize(counter.Enter());
    counter.Leave();
  }
}

int MeasureTimes(int argc, char** argv, const Options& options, Folders& folders) {
  for (const Workload& workload : Workloads()) {
    benchmark::RegisterBenchmark(
        workload.name.c_str(),
        [&workload, &folders](benchmark::State& state) { RunWorkload(state, workload, folders); })
        ->Iterations(workload.plan.rounds)
        ->Repetitions(workload.plan.repetitions)
        ->ReportAggregatesOnly(true)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("CallCounter alone", CallCounterAlone)
      ->Threads(1)
      ->Threads(2)
      ->Threads(4)
      ->UseRealTime();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintTable(std::cout);
  WriteChartData(options.chart_data);
  PrintSyncsPerCommit(std::cout, options.disk_dir + "/syncs", 200);
  return 0;
}

// Only the measured loops are collected: setup and warm-up are not.
int CountInstructions(Folders& folders) {
  for (const Workload& workload : Workloads()) {
    if (workload.counted_calls == 0) {
      continue;
    }
    Stores stores(folders.For(workload.medium), false, workload.name);
    const std::vector<Way> ways = workload.make(stores);
    const int64_t warm_up = workload.counted_calls / 10 + 1;
    for (const Way& way : ways) {
      way.block(0, warm_up);
      CALLGRIND_TOGGLE_COLLECT;
      way.block(warm_up, workload.counted_calls);
      CALLGRIND_TOGGLE_COLLECT;
      const std::string label =
          workload.name + "|" + way.name + "|" + std::to_string(workload.counted_calls);
      CALLGRIND_DUMP_STATS_AT(label.c_str());
    }
  }
  return 0;
}

}  // namespace
}  // namespace dbi_bench

int main(int argc, char** argv) {
  const dbi_bench::Options options = dbi_bench::ParseOptions(argc, argv);
  dbi_bench::Folders folders(options);
  if (options.instructions) {
    return dbi_bench::CountInstructions(folders);
  }
  return dbi_bench::MeasureTimes(argc, argv, options, folders);
}
