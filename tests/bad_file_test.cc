// Paths that hold no store of ours: Init refuses each with its lines, leaves
// the file as it was and leaks no descriptor, however often it is tried, and
// the same instance then opens a good file. An empty file is no bad file:
// SQLite takes it as a new database.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/test_db.h"

namespace dbi_test {
namespace {

using Lines = std::vector<std::string>;

// The bytes of a file; empty for a folder or nothing.
std::string Contents(const std::string& path) {
  if (!std::filesystem::is_regular_file(path)) {
    return std::string();
  }
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

size_t OpenDescriptors() {
  const std::filesystem::directory_iterator fds("/proc/self/fd");
  return static_cast<size_t>(std::distance(fds, std::filesystem::directory_iterator()));
}

struct BadFile {
  std::string path;
  Lines lines;
};

class BadFileTest : public ::testing::Test {
 protected:
  std::string OpenFailed(const std::string& path) {
    return "[database]Open sqlite3 file[" + path + "] failed:unable to open database file";
  }

  TempDir dir_;
  LogCapture log_;
};

TEST_F(BadFileTest, RefusedUnchangedWithoutLeaksAndAGoodFileOpensAfter) {
  std::mt19937 random(7);
  std::string noise(8192, '\0');
  for (char& byte : noise) {
    byte = static_cast<char>(random());
  }
  Write(dir_.File("noise.db"), noise);

  // A store cut short: its first page (the schema) is there, its tables not.
  const std::string store = dir_.File("store.db");
  MakeStoreFile(store, "1.13.0");
  Write(dir_.File("truncated.db"), Contents(store).substr(0, 4096));

  // Our tables' names, other columns.
  RawDb(dir_.File("foreign.db"))
      .Exec(
          "CREATE TABLE db_version(name TEXT, value TEXT); CREATE TABLE message_collect_key(a);"
          "CREATE TABLE core_recode(a); CREATE TABLE instance_info(a); "
          "CREATE TABLE start_recode(a); CREATE TABLE session_cache(a);"
          "INSERT INTO db_version VALUES ('schema', '7')");

  std::filesystem::create_directory(dir_.File("a_folder"));
  // The first table text reads the file's schema, the first thing to fail.
  const auto table_creation_fails = [](const std::string& error) {
    return Lines{
        "[database]database_interface::CDatabase::CreateTable sqlite3_exec with sql[CREATE TABLE "
        "IF NOT EXISTS db_version(id INTEGER PRIMARY KEY AUTOINCREMENT, version VARCHAR(64) NOT "
        "NULL)] failed:" +
            error,
        "[database]CreateTable failed"};
  };
  const std::vector<BadFile> bad_files = {
      {dir_.File("noise.db"), table_creation_fails("file is not a database")},
      {dir_.File("truncated.db"), table_creation_fails("database disk image is malformed")},
      {dir_.File("foreign.db"),
       {"[database]prepare sql[SELECT id, version from db_version LIMIT 1] failed:SQL logic error",
        "[database]InitStmt failed"}},
      {dir_.File("a_folder"), {OpenFailed(dir_.File("a_folder"))}},
      {dir_.File("missing/store.db"), {OpenFailed(dir_.File("missing/store.db"))}},
  };

  std::vector<std::string> before;
  for (const BadFile& bad : bad_files) {
    before.push_back(Contents(bad.path));
  }
  auto db = NewStore();
  const size_t descriptors = OpenDescriptors();
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (const BadFile& bad : bad_files) {
      log_.Clear();
      ASSERT_EQ(db->Init(bad.path.c_str()), -1) << bad.path;
      ASSERT_EQ(log_.Lines(), bad.lines);
    }
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
  for (size_t i = 0; i < bad_files.size(); ++i) {
    EXPECT_EQ(Contents(bad_files[i].path), before[i]) << bad_files[i].path;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.File("missing")));

  log_.Clear();
  Write(dir_.File("empty.db"), "");
  ASSERT_EQ(db->Init(dir_.File("empty.db").c_str()), 0);
  EXPECT_EQ(AddStart(*db), 1);
  EXPECT_EQ(log_.Lines(), Lines{});
}

}  // namespace
}  // namespace dbi_test
