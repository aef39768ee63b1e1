// A writer process storing rows through the store is killed with SIGKILL at
// random moments, again and again on the same file. After every kill the
// file must pass SQLite's integrity check, open with Init, and hold every
// row that the writer had been told was stored.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/test_db.h"

namespace dbi_test {
namespace {

using database_interface::CoreRecode;
using database_interface::InstanceInfo;

// One row the store acknowledged; its text is made of `cycle` and `n`. Small
// enough that the pipe carries each one whole.
struct Ack {
  char table;  // 'S'tart, 'C'ore, 'I'nstance, session 'K'ey
  int32_t id;  // 0 for a session entry
  int32_t cycle;
  int32_t n;
};

std::string Text(int32_t cycle, int32_t n) {
  return "c" + std::to_string(cycle) + "." + std::to_string(n);
}

std::string Row(const Ack& ack) {
  return ack.table + std::to_string(ack.id) + "|" + Text(ack.cycle, ack.n);
}

void Report(int out, const Ack& ack) {
  if (write(out, &ack, sizeof ack) != static_cast<ssize_t>(sizeof ack)) {
    _exit(3);
  }
}

// The writer: stores rows until it is killed, reporting each acknowledged one.
[[noreturn]] void WriteUntilKilled(const std::string& path, int out, int32_t cycle) {
  auto db = IDatabaseInterface::CreateDatabaseInterface();
  if (db->Init(path.c_str()) != 0) {
    _exit(2);
  }
  for (int32_t n = 0;; ++n) {
    const std::string text = Text(cycle, n);
    const int32_t len = static_cast<int32_t>(text.size());
    int32_t start = 0;
    if (db->InsertStartRecode(start, text.data(), len, "crash", 5, n) == 1) {
      Report(out, Ack{'S', start, cycle, n});
    }
    CoreRecode core;
    core.dump_file_path = core.log_file_path = text;
    core.start_recode_id = start;
    if (db->InsertCoreRecode(core) == 1) {
      Report(out, Ack{'C', core.id, cycle, n});
    }
    InstanceInfo info;
    info.instance_no = info.session_id = info.protocol_type = text;
    info.start_recode_id = start;
    if (db->InsertInstanceInfo(info) == 1) {
      Report(out, Ack{'I', info.id, cycle, n});
    }
    if (db->InsertSessionCache(text.c_str(), text.c_str(), n) == 0) {
      Report(out, Ack{'K', 0, cycle, n});
    }
  }
}

// Reads acknowledgements from `in` until `deadline`, or with none, until the
// writer is gone and the pipe empty.
void ReadAcks(int in, const std::chrono::steady_clock::time_point* deadline,
              std::vector<Ack>& acks) {
  for (;;) {
    timespec wait{};
    if (deadline != nullptr) {
      const auto left =
          std::max(std::chrono::nanoseconds(0),
                   std::chrono::nanoseconds(*deadline - std::chrono::steady_clock::now()));
      wait.tv_sec = static_cast<time_t>(left.count() / 1000000000);
      wait.tv_nsec = static_cast<long>(left.count() % 1000000000);
    }
    pollfd ready{in, POLLIN, 0};
    if (ppoll(&ready, 1, deadline != nullptr ? &wait : nullptr, nullptr) <= 0) {
      return;
    }
    Ack ack{};
    if (read(in, &ack, sizeof ack) != static_cast<ssize_t>(sizeof ack)) {
      return;
    }
    acks.push_back(ack);
  }
}

TEST(CrashTest, AcknowledgedRowsSurviveSigkillAtRandomMoments) {
  TempDir dir;
  const std::string path = dir.File("store.db");
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> delay_us(0, 20000);
  std::vector<Ack> acks;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  int cycles = 0;
  for (; cycles < 100 && std::chrono::steady_clock::now() < give_up; ++cycles) {
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
      close(pipe_ends[0]);
      WriteUntilKilled(path, pipe_ends[1], cycles);
    }
    close(pipe_ends[1]);
    const auto kill_at =
        std::chrono::steady_clock::now() + std::chrono::microseconds(delay_us(random));
    ReadAcks(pipe_ends[0], &kill_at, acks);
    kill(writer, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;
    ReadAcks(pipe_ends[0], nullptr, acks);
    close(pipe_ends[0]);

    SCOPED_TRACE("after kill " + std::to_string(cycles));
    ASSERT_EQ(RawDb(path).Column("PRAGMA integrity_check"), std::vector<std::string>{"ok"});
    OpenStore(path);
    const std::vector<std::string> rows = RawDb(path).Column(
        "SELECT 'S'||id||'|'||sdk_version FROM start_recode UNION ALL "
        "SELECT 'C'||id||'|'||dump_file_path FROM core_recode UNION ALL "
        "SELECT 'I'||id||'|'||instance_no FROM instance_info UNION ALL "
        "SELECT 'K0|'||session_value FROM session_cache");
    const std::set<std::string> stored(rows.begin(), rows.end());
    for (const Ack& ack : acks) {
      ASSERT_EQ(stored.count(Row(ack)), 1u) << Row(ack) << " was acknowledged and is gone";
    }
  }
  EXPECT_EQ(cycles, 100);
  std::printf("crash safety: %d SIGKILL cycles, %zu acknowledged rows, all checked after each\n",
              cycles, acks.size());
}

}  // namespace
}  // namespace dbi_test
