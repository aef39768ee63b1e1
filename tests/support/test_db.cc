#include "support/test_db.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "schema/statements.h"  // one statement per record operation

#if defined(_WIN32)
#include <windows.h>
#endif

namespace dbi_test {

// Memory-backed when the system has one and TMPDIR does not say otherwise:
// on a disk, SQLite's fsyncs make the suites many times slower while testing
// nothing more (no test cuts the power). The name is 128 random bits, which
// no other test process picks.
TempDir::TempDir() {
  std::filesystem::path root = std::filesystem::temp_directory_path();
  std::error_code error;
  if (root == "/tmp" && std::filesystem::is_directory("/dev/shm", error)) {
    root = "/dev/shm";
  }
  std::random_device random;
  root /= "dbi_test_" + std::to_string(random()) + std::to_string(random()) +
          std::to_string(random()) + std::to_string(random());
  EXPECT_TRUE(std::filesystem::create_directory(root)) << root;
  path_ = root.generic_string();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

RawDb::RawDb(const std::string& path) {
  const int rc =
      sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  EXPECT_EQ(rc, SQLITE_OK) << sqlite3_errstr(rc);
}

RawDb::~RawDb() {
  sqlite3_close_v2(db_);
}

void RawDb::Exec(const std::string& sql) {
  const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << sqlite3_errmsg(db_);
}

Lines RawDb::Rows(const std::string& sql) {
  Lines rows;
  sqlite3_stmt* stmt = nullptr;
  const int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
  EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << sqlite3_errmsg(db_);
  while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      const unsigned char* text = sqlite3_column_text(stmt, i);
      row += (i == 0 ? "" : "|") +
             std::string(text == nullptr ? "" : reinterpret_cast<const char*>(text));
    }
    rows.push_back(row);
  }
  sqlite3_finalize(stmt);
  return rows;
}

std::string RawDb::Counts() {
  return Rows(
      "SELECT (SELECT count(*) FROM start_recode), (SELECT count(*) FROM core_recode), "
      "(SELECT count(*) FROM instance_info), (SELECT count(*) FROM session_cache), "
      "(SELECT count(*) FROM message_collect_key)")[0];
}

std::string FileContents(const std::string& path) {
  if (!std::filesystem::is_regular_file(path)) {
    return std::string();
  }
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Lines WithoutSql(Lines lines) {
  for (std::string& line : lines) {
    const size_t sql = line.find("sql[");
    if (sql != std::string::npos) {
      line.erase(sql + 4, line.find(']', sql) - sql - 4);
    }
  }
  return lines;
}

int64_t OpenDescriptorCount() {
#if defined(_WIN32)
  DWORD handles = 0;
  EXPECT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handles));
  return handles;
#elif defined(__APPLE__)
  // No /proc there; its devfs lists the process's own descriptors.
  return std::distance(std::filesystem::directory_iterator("/dev/fd"),
                       std::filesystem::directory_iterator());
#else
  return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                       std::filesystem::directory_iterator());
#endif
}

std::shared_ptr<IDatabaseInterface> NewStore() {
  std::shared_ptr<IDatabaseInterface> db = IDatabaseInterface::CreateDatabaseInterface();
  // The deleter holds the store until it has closed it.
  return std::shared_ptr<IDatabaseInterface>(db.get(),
                                             [db](IDatabaseInterface* store) { store->Close(); });
}

std::shared_ptr<IDatabaseInterface> OpenStore(const std::string& path) {
  std::shared_ptr<IDatabaseInterface> db = NewStore();
  EXPECT_EQ(db->Init(path.c_str()), 0) << path;
  return db;
}

void ExpectEveryRecordOperationRefused(IDatabaseInterface& db) {
  std::string a = "a", b = "b";
  int32_t id = 77;
  int64_t time = 88;
  CoreRecode core;
  InstanceInfo info;
  std::vector<CoreRecode> cores(1);
  std::vector<InstanceInfo> infos(1);
  const std::vector<int32_t> results = {db.SelectMessageCollectKey(a, b),
                                        db.InsertMessageCollectKey("k", 1, "s", 1),
                                        db.InsertStartRecode(id, "v", 1, "t", 1, 1),
                                        db.SelectStartRecode(1, a, b, time),
                                        db.DeleteStartRecode(1),
                                        db.DeleteAllStartRecode(),
                                        db.InsertCoreRecode(core),
                                        db.SelectAllCoreRecode(cores),
                                        db.DeleteCoreRecode(1),
                                        db.InsertInstanceInfo(info),
                                        db.SelectInstanceInfoWithStartRecodeId(1, infos),
                                        db.UpdataInstanceSessionId(1, "s", 1),
                                        db.DeleteInstanceInfo(1),
                                        db.DeleteSessionCache(1),
                                        db.InsertSessionCache("k", "v", 1),
                                        db.SelectSessionCache("k", 0, a)};
  EXPECT_EQ(results, std::vector<int32_t>(database_interface::kRecordStmtCount, -1));
  // Nothing written to the outputs.
  EXPECT_EQ(a + b + std::to_string(id) + "/" + std::to_string(time) + "/" +
                std::to_string(core.id + info.id) + "/" +
                std::to_string(cores.size() + infos.size()),
            "ab77/88/0/2");
}

void CopyStoreFile(const std::string& path, const std::string& version) {
  std::filesystem::remove(path);
  std::filesystem::copy_file(TEST_STORE_FILE, path);
  RawDb(path).Exec("UPDATE db_version SET version = '" + version + "'");
}

}  // namespace dbi_test
