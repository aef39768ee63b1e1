// Work and memory in proportion to the store's file. A table whose interior
// pages all name one child makes SQLite read that child's rows once for
// every path to it: a few pages give billions of rows, and a call would run
// for good or fill the host's memory. Each such call answers -1 with its
// step's line instead, under a ceiling of address space and a time-out that
// only a hang meets; and the largest, densest store the README admits
// passes every operation, the quadratic cascade of deleting every start
// included.

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "files/sqlite_format.h"
#include "support/test_db.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TEST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(_WIN32)
#define TEST_SANITIZED 1
#endif

namespace dbi_test {
namespace {

namespace format = database_interface::sqlite_format;

void Put16(std::string& page, size_t offset, uint32_t value) {
  page[offset] = static_cast<char>(value >> 8);
  page[offset + 1] = static_cast<char>(value);
}

// Rewrites `table` of the store at `path` so that its root is the first of
// `levels` interior pages, each naming the next as every one of its
// `fanout` children, the last naming the old root's leaf: no cycle, a few
// pages, and fanout^levels times the leaf's rows in a scan.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): levels, then fanout
void ShareChildren(const std::string& path, const std::string& table, int levels, int fanout) {
  const uint32_t root = static_cast<uint32_t>(std::stoul(
      RawDb(path).Rows("SELECT rootpage FROM sqlite_master WHERE name = '" + table + "'")[0]));
  std::string file = FileContents(path);
  const size_t page_size = format::HeaderPageSize(file);
  ASSERT_LE(format::kInteriorHeaderBytes + 7 * static_cast<size_t>(fanout), page_size);
  const auto pages = static_cast<uint32_t>(file.size() / page_size);
  const uint32_t leaf = pages + 1;  // the old root moves to the end
  file += file.substr(size_t{root - 1} * page_size, page_size);
  for (int level = 0; level < levels; ++level) {
    const uint32_t child = level + 1 == levels ? leaf : pages + 2 + static_cast<uint32_t>(level);
    std::string interior(page_size, '\0');
    interior[0] = static_cast<char>(format::kInteriorTablePage);
    size_t content = page_size;
    for (int cell = 0; cell + 1 < fanout; ++cell) {
      content -= 5;  // the child's number, then the key: 0, for a scan reads no key
      format::WriteBigEndian32(interior, content, child);
      Put16(interior, format::kInteriorHeaderBytes + 2 * static_cast<size_t>(cell),
            static_cast<uint32_t>(content));
    }
    Put16(interior, format::kCellCountOffset, static_cast<uint32_t>(fanout - 1));
    Put16(interior, 5, static_cast<uint32_t>(content));
    format::WriteBigEndian32(interior, format::kRightChildOffset, child);
    if (level == 0) {
      file.replace(size_t{root - 1} * page_size, page_size, interior);
    } else {
      file += interior;
    }
  }
  format::WriteBigEndian32(file, format::kPageCountOffset,
                           static_cast<uint32_t>(file.size() / page_size));
  std::ofstream(path, std::ios::binary | std::ios::trunc) << file;
}

// A store of 8 KiB pages with 20 rows in every record table.
void TwentyRowsEach(const std::string& path) {
  RawDb(path).Exec("PRAGMA page_size = 8192; CREATE TABLE x(y); DROP TABLE x");
  OpenStore(path)->Close();
  RawDb(path).Exec(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n LIMIT 20) "
      "INSERT INTO start_recode (sdk_version, sdk_type, start_time) SELECT 'v', 't', i FROM n; "
      "INSERT INTO core_recode (dump_file_path, log_file_path, start_recode_id, create_time) "
      "SELECT 'd', 'l', id, 0 FROM start_recode; "
      "INSERT INTO session_cache (session_key, session_value, expire_time) "
      "SELECT 'k' || id, 'v', 9000000000000 FROM start_recode");
}

// Below a ceiling of address space, where no sanitizer reserves its own
// terabytes, and killed by SIGALRM should it hang: what the host would see.
// (Not on Windows, which has neither.)
class BoundedWorkTest : public StoreTest {
 protected:
  void SetUp() override {
#if !defined(TEST_SANITIZED)
    rlimit ceiling = {};
    getrlimit(RLIMIT_AS, &ceiling);
    ceiling.rlim_cur = std::min(ceiling.rlim_max, rlim_t{1} << 30);
    setrlimit(RLIMIT_AS, &ceiling);
    alarm(60);
#endif
  }
};

std::string StepFailure(const std::string& operation, const std::string& sql) {
  return "[database]database_interface::CDatabase::" + operation + " sqlite3_step with sql[" + sql +
         "] failed:interrupted";
}

TEST_F(BoundedWorkTest, ACallThroughSharedPagesAnswersMinusOneWithItsLine) {
  TwentyRowsEach(path_);
  ShareChildren(path_, "session_cache", 3, 600);
  const std::string crafted = FileContents(path_);
  ShareChildren(path_, "core_recode", 3, 400);
  auto db = OpenStore(path_);
  std::vector<CoreRecode> records;
  EXPECT_EQ(db->SelectAllCoreRecode(records), -1);
  EXPECT_LE(records.size(), crafted.size()) << "no more rows than the file could hold";
  EXPECT_EQ(db->DeleteSessionCache(1), -1);
  EXPECT_EQ(log_.Lines(),
            (Lines{StepFailure("SelectAllCoreRecode",
                               "SELECT id, dump_file_path, log_file_path, start_recode_id, "
                               "create_time FROM core_recode"),
                   StepFailure("DeleteSessionCache",
                               "DELETE FROM session_cache WHERE expire_time < :expire_time")}));
  db->Close();
#if !defined(_WIN32)
  // The process-wide instance purges at its first call, answers, and closes.
  EXPECT_EXIT(
      {
        std::ofstream(dir_.File("qvdata"), std::ios::binary) << crafted;
        log_.Clear();
        const bool in = chdir(dir_.path().c_str()) == 0;
        auto shared = IDatabaseInterface::GetDbInstance();
        const bool line =
            log_.Lines().size() == 1 && log_.Lines()[0].find("interrupted") != std::string::npos;
        shared->Close();
        std::exit(in && line ? 0 : 1);  // NOLINT(concurrency-mt-unsafe): the child's only thread
      },
      ::testing::ExitedWithCode(0), "");
#endif
}

// The README's largest store, densest: every text empty, so that the most
// rows share each page, and each start with a crash and an instance record,
// since deleting all starts scans those once for each start.
TEST_F(BoundedWorkTest, TheLargestStoreTheReadmeAdmitsPassesEveryOperation) {
  constexpr int kStarts = 1000;
  auto db = OpenStore(path_);
  RawDb(path_).Exec(
      "BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n LIMIT " +
      std::to_string(kStarts) +
      ") INSERT INTO start_recode (sdk_version, sdk_type, start_time) SELECT '', '', 0 FROM n; "
      "INSERT INTO core_recode (dump_file_path, log_file_path, start_recode_id, create_time) "
      "SELECT '', '', id, 0 FROM start_recode; INSERT INTO instance_info (instance_no, "
      "session_id, business_type, protocol_type, start_recode_id, create_time) SELECT '', '', "
      "0, '', id, 0 FROM start_recode; COMMIT");
  int32_t id = 0;
  CoreRecode record{0, "", "", 1, 0};
  InstanceInfo info{0, "", "", 0, "", 1, 0};
  std::vector<CoreRecode> records;
  std::vector<InstanceInfo> infos;
  std::string text, other;
  int64_t time = 0;
  EXPECT_EQ(db->InsertMessageCollectKey("", 0, "", 0), 0);
  EXPECT_EQ(db->SelectMessageCollectKey(text, other), 1);
  EXPECT_EQ(db->InsertStartRecode(id, "", 0, "", 0, 0), 1);
  EXPECT_EQ(db->SelectStartRecode(id, text, other, time), 1);
  EXPECT_EQ(db->InsertCoreRecode(record), 1);
  EXPECT_EQ(db->SelectAllCoreRecode(records), kStarts + 1);
  EXPECT_EQ(db->DeleteCoreRecode(record.id), 0);
  EXPECT_EQ(db->InsertInstanceInfo(info), 1);
  EXPECT_EQ(db->SelectInstanceInfoWithStartRecodeId(1, infos), 2);
  EXPECT_EQ(db->UpdataInstanceSessionId(info.id, "", 0), 0);
  EXPECT_EQ(db->DeleteInstanceInfo(info.id), 0);
  EXPECT_EQ(db->InsertSessionCache("", "", 1), 0);
  EXPECT_EQ(db->SelectSessionCache("", 0, text), 1);
  EXPECT_EQ(db->DeleteSessionCache(2), 0);
  EXPECT_EQ(db->DeleteStartRecode(1), 0);
  EXPECT_EQ(db->DeleteAllStartRecode(), 0);
  EXPECT_EQ(RawDb(path_).Counts(), "0|0|0|0|1");
  EXPECT_EQ(log_.Lines(), Lines{});
}

}  // namespace
}  // namespace dbi_test
