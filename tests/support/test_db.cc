#include "support/test_db.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace dbi_test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "dbi_test_XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  if (made == nullptr) {
    ADD_FAILURE() << "mkdtemp failed";
  }
  path_ = pattern;
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

std::vector<std::string> RawDb::Column(const std::string& sql) {
  std::vector<std::string> values;
  sqlite3_stmt* stmt = nullptr;
  const int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
  EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << sqlite3_errmsg(db_);
  while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(stmt, 0);
    values.emplace_back(text == nullptr ? "" : reinterpret_cast<const char*>(text));
  }
  sqlite3_finalize(stmt);
  return values;
}

int64_t RawDb::Int(const std::string& sql) {
  const std::vector<std::string> values = Column(sql);
  return values.empty() ? -1 : std::stoll(values[0]);
}

std::shared_ptr<IDatabaseInterface> OpenStore(const std::string& path) {
  std::shared_ptr<IDatabaseInterface> db = IDatabaseInterface::CreateDatabaseInterface();
  EXPECT_EQ(db->Init(path.c_str()), 0) << path;
  return db;
}

int32_t AddStart(IDatabaseInterface& db, const std::string& version, const std::string& type,
                 int64_t start_time) {
  int32_t id = -1;
  EXPECT_EQ(db.InsertStartRecode(id, version.data(), static_cast<int32_t>(version.size()),
                                 type.data(), static_cast<int32_t>(type.size()), start_time),
            1);
  return id;
}

}  // namespace dbi_test
