// A writer process storing rows through the store is killed with SIGKILL at
// random moments, again and again on the same file. After every kill the
// file must pass SQLite's integrity check, open with Init, and hold every
// row that the writer had been told was stored.

#include <gtest/gtest.h>

#if defined(_WIN32)

TEST(CrashTest, AcknowledgedRowsSurviveSigkillAtRandomMoments) {
  GTEST_SKIP() << "needs fork and SIGKILL, which Windows does not have";
}

#else

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/test_db.h"

namespace dbi_test {
namespace {

using database_interface::CoreRecode;
using database_interface::InstanceInfo;

// One acknowledged row, as the check reads it back: small enough that the
// pipe carries it whole.
struct Ack {
  char row[32];
};

void Report(int out, const std::string& row) {
  Ack ack{};
  row.copy(ack.row, sizeof ack.row - 1);
  if (write(out, &ack, sizeof ack) != static_cast<ssize_t>(sizeof ack)) {
    _exit(3);
  }
}

// The writer: stores rows until it is killed, reporting each acknowledged one.
[[noreturn]] void WriteUntilKilled(int out, const std::string& path, int cycle) {
  auto db = IDatabaseInterface::CreateDatabaseInterface();
  if (db->Init(path.c_str()) != 0) {
    _exit(2);
  }
  for (int32_t n = 0;; ++n) {
    const std::string text = "c" + std::to_string(cycle) + "." + std::to_string(n);
    int32_t start = 0;
    if (db->InsertStartRecode(start, text.data(), -1, "crash", 5, n) == 1) {
      Report(out, "S" + std::to_string(start) + "|" + text);
    }
    CoreRecode core{0, text, text, start, n};
    if (db->InsertCoreRecode(core) == 1) {
      Report(out, "C" + std::to_string(core.id) + "|" + text);
    }
    InstanceInfo info{0, text, text, 1, text, start, n};
    if (db->InsertInstanceInfo(info) == 1) {
      Report(out, "I" + std::to_string(info.id) + "|" + text);
    }
    if (db->InsertSessionCache(text.c_str(), text.c_str(), n) == 0) {
      Report(out, "K0|" + text);
    }
  }
}

// Reads acknowledgements until the writer is gone and the pipe empty.
void ReadAcks(int in, std::vector<std::string>& acks) {
  for (Ack ack{}; read(in, &ack, sizeof ack) == static_cast<ssize_t>(sizeof ack);) {
    acks.emplace_back(ack.row);
  }
}

TEST(CrashTest, AcknowledgedRowsSurviveSigkillAtRandomMoments) {
  TempDir dir;
  const std::string path = dir.File("store.db");
  std::mt19937 random(20240611);  // NOLINT(cert-msc32-c,cert-msc51-cpp): a run repeats
  std::uniform_int_distribution<int> delay_us(0, 20000);
  std::vector<std::string> acks;
  const int cycles = 100;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
      close(pipe_ends[0]);
      WriteUntilKilled(pipe_ends[1], path, cycle);
    }
    close(pipe_ends[1]);
    // A pipe holds thousands of acknowledgements, more than a writer makes
    // in that time, so it never waits for the reader.
    std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
    kill(writer, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;
    ReadAcks(pipe_ends[0], acks);
    close(pipe_ends[0]);

    SCOPED_TRACE("after kill " + std::to_string(cycle));
    ASSERT_EQ(RawDb(path).Column("PRAGMA integrity_check"), std::vector<std::string>{"ok"});
    OpenStore(path);
    const std::vector<std::string> rows = RawDb(path).Column(
        "SELECT 'S'||id||'|'||sdk_version FROM start_recode UNION ALL "
        "SELECT 'C'||id||'|'||dump_file_path FROM core_recode UNION ALL "
        "SELECT 'I'||id||'|'||instance_no FROM instance_info UNION ALL "
        "SELECT 'K0|'||session_value FROM session_cache");
    const std::set<std::string> stored(rows.begin(), rows.end());
    for (const std::string& ack : acks) {
      ASSERT_EQ(stored.count(ack), 1u) << ack << " was acknowledged and is gone";
    }
  }
  std::printf("crash safety: %d SIGKILL cycles, %zu acknowledged rows, all checked after each\n",
              cycles, acks.size());
}

}  // namespace
}  // namespace dbi_test

#endif  // defined(_WIN32)
