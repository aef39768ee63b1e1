#include "support/test_db.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace dbi_test {

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
#else
  // Apple's systems have no /proc; their devfs lists the process's own descriptors.
  const char* const listed = std::filesystem::exists("/proc/self/fd") ? "/proc/self/fd" : "/dev/fd";
  return std::distance(std::filesystem::directory_iterator(listed),
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

void CopyStoreFile(const std::string& path, const std::string& version) {
  std::filesystem::remove(path);
  std::filesystem::copy_file(TEST_STORE_FILE, path);
  RawDb(path).Exec("UPDATE db_version SET version = '" + version + "'");
}

}  // namespace dbi_test
