#include "harness.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <numeric>
#include <random>
#include <sstream>
#include <thread>

namespace dbi_bench {

namespace {

// What one repetition found: per way, the median ns per call over its
// rounds; per pair of ways (a, b), the median over rounds of a's time
// divided by b's time in the same round.
struct Repetition {
  std::vector<double> ns;
  std::vector<std::vector<double>> ratio;
};

struct WorkloadResults {
  std::string name;
  Clock clock;
  std::vector<std::string> ways;
  std::vector<Repetition> repetitions;
};

std::vector<WorkloadResults>& Results() {
  static std::vector<WorkloadResults> results;
  return results;
}

WorkloadResults& ResultsOf(const std::string& workload, Clock clock, const std::vector<Way>& ways) {
  const auto found = std::find_if(
      Results().begin(), Results().end(),
      [&workload](const WorkloadResults& results) { return results.name == workload; });
  if (found != Results().end()) {
    return *found;
  }
  WorkloadResults results{workload, clock, {}, {}};
  for (const Way& way : ways) {
    results.ways.push_back(way.name);
  }
  Results().push_back(results);
  return Results().back();
}

double Median(std::vector<double> values) {
  if (values.empty()) {
    return 0;
  }
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

Repetition Summarize(const std::vector<std::vector<double>>& per_call) {
  const size_t ways = per_call.size();
  Repetition repetition;
  repetition.ratio.assign(ways, std::vector<double>(ways, 1.0));
  for (size_t a = 0; a < ways; ++a) {
    repetition.ns.push_back(Median(per_call[a]));
    for (size_t b = 0; b < ways; ++b) {
      std::vector<double> ratios;
      for (size_t round = 0; round < per_call[a].size(); ++round) {
        ratios.push_back(per_call[a][round] / per_call[b][round]);
      }
      repetition.ratio[a][b] = Median(ratios);
    }
  }
  return repetition;
}

// Over the repetitions of one workload: the median of a figure and its range.
struct Spread {
  double median;
  double low;
  double high;
};

template <typename Figure>
Spread SpreadOf(const WorkloadResults& results, Figure figure) {
  std::vector<double> values(results.repetitions.size());
  std::transform(results.repetitions.begin(), results.repetitions.end(), values.begin(), figure);
  return {Median(values), *std::min_element(values.begin(), values.end()),
          *std::max_element(values.begin(), values.end())};
}

std::string FormatRatio(const Spread& spread) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(3) << spread.median << " (" << spread.low << "-"
       << spread.high << ")";
  return text.str();
}

}  // namespace

double Stopwatch::ThreadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

double NsPerCall(const Block& block) {
  for (int64_t calls = 1;; calls *= 2) {
    const double ns = block(0, calls).cpu_ns;
    if (ns >= 1e6) {
      return ns / static_cast<double>(calls);
    }
  }
}

Block OnThreads(std::vector<Block> per_thread, const std::vector<double>& ns_per_call) {
  const double slowest = *std::max_element(ns_per_call.begin(), ns_per_call.end());
  std::vector<double> shares;  // of the calls of one block, summing to 1
  double total = 0;
  for (double ns : ns_per_call) {
    shares.push_back(slowest / ns);
    total += shares.back();
  }
  std::transform(shares.begin(), shares.end(), shares.begin(),
                 [total](double share) { return share / total; });
  return [per_thread, shares](int64_t first, int64_t count) {
    using Steady = std::chrono::steady_clock;
    const size_t threads = per_thread.size();
    std::vector<Steady::time_point> starts(threads);
    std::vector<Steady::time_point> ends(threads);
    std::vector<double> cpu_ns(threads);
    std::atomic<size_t> arrived{0};
    std::vector<std::thread> team;
    for (size_t t = 0; t < threads; ++t) {
      team.emplace_back([&, t] {
        const auto part = [&](int64_t calls) {
          return std::max<int64_t>(1, std::llround(static_cast<double>(calls) * shares[t]));
        };
        // Started threads wait for each other: thread creation is not timed.
        arrived.fetch_add(1);
        while (arrived.load() < threads) {
          std::this_thread::yield();
        }
        starts[t] = Steady::now();
        cpu_ns[t] = per_thread[t](part(first), part(count)).cpu_ns;
        ends[t] = Steady::now();
      });
    }
    for (std::thread& thread : team) {
      thread.join();
    }
    const std::chrono::duration<double, std::nano> wall =
        *std::max_element(ends.begin(), ends.end()) -
        *std::min_element(starts.begin(), starts.end());
    return Elapsed{wall.count(), std::accumulate(cpu_ns.begin(), cpu_ns.end(), 0.0)};
  };
}

void RunInterleaved(benchmark::State& state, const std::string& workload,
                    const std::vector<Way>& ways, const Plan& plan) {
  const size_t count_of_ways = ways.size();
  std::vector<int64_t> next_call(count_of_ways, 0);
  auto run_block = [&](size_t way, int64_t calls) {
    const Elapsed elapsed = ways[way].block(next_call[way], calls);
    next_call[way] += calls;
    return elapsed;
  };

  // Warm-up rounds double the block until the first way's lasts block_ms;
  // every way runs them, so all ways stay at the same call number.
  int64_t calls = 1;
  for (;;) {
    double first_way_ns = 0;
    for (size_t way = 0; way < count_of_ways; ++way) {
      const Elapsed elapsed = run_block(way, calls);
      if (way == 0) {
        first_way_ns = elapsed.wall_ns;
      }
    }
    if (first_way_ns >= plan.block_ms * 1e6) {
      break;
    }
    calls *= 2;
  }

  // A new order each round: with a fixed or rotating one, each way would
  // always follow the same other way and inherit what it leaves behind (a
  // disk still writing back, caches filled with its data).
  std::vector<size_t> order(count_of_ways);
  std::iota(order.begin(), order.end(), size_t{0});
  // A fixed seed: every run shuffles the same way, so runs compare.
  std::mt19937 shuffler(20240611);  // NOLINT(cert-msc32-c,cert-msc51-cpp)
  std::vector<std::vector<double>> per_call(count_of_ways);
  while (state.KeepRunning()) {
    std::shuffle(order.begin(), order.end(), shuffler);
    for (const size_t way : order) {
      const Elapsed elapsed = run_block(way, calls);
      const double ns = plan.clock == Clock::kWall ? elapsed.wall_ns : elapsed.cpu_ns;
      per_call[way].push_back(ns / static_cast<double>(calls));
    }
  }

  const Repetition repetition = Summarize(per_call);
  for (size_t way = 0; way < count_of_ways; ++way) {
    state.counters[ways[way].name + "_ns"] = repetition.ns[way];
    if (way > 0) {
      state.counters[ways[0].name + "/" + ways[way].name] = repetition.ratio[0][way];
    }
  }
  state.counters["calls_per_block"] = static_cast<double>(calls);
  ResultsOf(workload, plan.clock, ways).repetitions.push_back(repetition);
}

void PrintTable(std::ostream& out) {
  out << "\nNanoseconds per call on the workload's clock (cpu: the calling thread's CPU time;\n"
         "wall: elapsed time), medians over repetitions. Ratios are medians of per-round\n"
         "ratios, with their range over repetitions.\n\n";
  out << std::left << std::setw(48) << "Workload" << std::setw(6) << "clock" << std::right
      << std::setw(12) << "library" << std::setw(12) << "floor" << std::setw(12) << "SQLiteCpp"
      << "   " << std::left << std::setw(24) << "library/floor"
      << "library/SQLiteCpp\n";
  std::vector<std::string> notes;
  for (const WorkloadResults& results : Results()) {
    auto ns = [&](size_t way) {
      return SpreadOf(results, [way](const Repetition& r) { return r.ns[way]; }).median;
    };
    auto ratio = [&](size_t a, size_t b) {
      return SpreadOf(results, [a, b](const Repetition& r) { return r.ratio[a][b]; });
    };
    out << std::left << std::setw(48) << results.name << std::setw(6)
        << (results.clock == Clock::kWall ? "wall" : "cpu") << std::right << std::fixed
        << std::setprecision(0) << std::setw(12) << ns(0) << std::setw(12) << ns(1) << std::setw(12)
        << ns(2) << "   " << std::left << std::setw(24) << FormatRatio(ratio(0, 1))
        << FormatRatio(ratio(0, 2)) << "\n";
    // Further ways are variants of the floor: reported against it.
    for (size_t way = 3; way < results.ways.size(); ++way) {
      std::ostringstream note;
      note << results.name << ": " << results.ways[way] << " " << std::fixed << std::setprecision(0)
           << ns(way) << " ns, " << results.ways[way] << "/" << results.ways[1] << " "
           << FormatRatio(ratio(way, 1));
      notes.push_back(note.str());
    }
  }
  out << "\n";
  for (const std::string& note : notes) {
    out << note << "\n";
  }
}

void WriteChartData(const std::string& path) {
  std::ofstream out(path);
  out << "# workload\tns per call: library\tfloor\tSQLiteCpp"
         "\tlibrary/floor: median\tlow\thigh\tSQLiteCpp/floor: median\tlow\thigh\n";
  for (const WorkloadResults& results : Results()) {
    out << '"' << results.name << '"';
    for (size_t way = 0; way < 3; ++way) {
      out << '\t' << SpreadOf(results, [way](const Repetition& r) { return r.ns[way]; }).median;
    }
    for (size_t way : {size_t{0}, size_t{2}}) {
      const Spread ratio =
          SpreadOf(results, [way](const Repetition& r) { return r.ratio[way][1]; });
      out << '\t' << ratio.median << '\t' << ratio.low << '\t' << ratio.high;
    }
    out << "\n";
  }
}

}  // namespace dbi_bench
