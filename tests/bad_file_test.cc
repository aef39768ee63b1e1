// Paths that hold no store of ours: Init refuses each with its lines, leaves
// the file as it was and leaks no descriptor, however often it is tried, and
// the same instance then opens a good file. An empty file is no bad file:
// SQLite takes it as a new database.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/test_db.h"

namespace dbi_test {
namespace {

using Lines = std::vector<std::string>;

// The bytes of a file; empty for a folder or nothing.
std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::filesystem::is_regular_file(path)
             ? std::string(std::istreambuf_iterator<char>(in), {})
             : std::string();
}

TEST(BadFileTest, RefusedUnchangedWithoutLeaksAndAGoodFileOpensAfter) {
  TempDir dir;
  LogCapture log;
  std::string noise(8192, '\0');
  for (size_t i = 0; i < noise.size(); ++i) {
    noise[i] = static_cast<char>((i * 2654435761u) >> 13);
  }
  std::ofstream(dir.File("noise.db"), std::ios::binary) << noise;
  // A store cut short: its first page (the schema) is there, its tables not.
  MakeStoreFile(dir.File("store.db"), "1.13.0");
  std::ofstream(dir.File("truncated.db"), std::ios::binary)
      << Contents(dir.File("store.db")).substr(0, 4096);
  // Our tables' names with other columns.
  RawDb(dir.File("foreign.db"))
      .Exec(
          "CREATE TABLE db_version(name, value); CREATE TABLE message_collect_key(a);"
          "CREATE TABLE core_recode(a); CREATE TABLE instance_info(a);"
          "CREATE TABLE start_recode(a); CREATE TABLE session_cache(a);"
          "INSERT INTO db_version VALUES ('schema', '7')");
  std::filesystem::create_directory(dir.File("a_folder"));

  const auto table_creation_fails = [](const std::string& error) {
    return Lines{
        "[database]database_interface::CDatabase::CreateTable sqlite3_exec with "
        "sql[CREATE TABLE IF NOT EXISTS db_version(id INTEGER PRIMARY KEY AUTOINCREMENT, "
        "version VARCHAR(64) NOT NULL)] failed:" +
            error,
        "[database]CreateTable failed"};
  };
  const auto open_fails = [](const std::string& path) {
    return Lines{"[database]Open sqlite3 file[" + path + "] failed:unable to open database file"};
  };
  const std::vector<std::pair<std::string, Lines>> bad_files = {
      {dir.File("noise.db"), table_creation_fails("file is not a database")},
      {dir.File("truncated.db"), table_creation_fails("database disk image is malformed")},
      {dir.File("foreign.db"),
       {"[database]prepare sql[SELECT id, version from db_version LIMIT 1] failed:SQL logic error",
        "[database]InitStmt failed"}},
      {dir.File("a_folder"), open_fails(dir.File("a_folder"))},
      {dir.File("missing/store.db"), open_fails(dir.File("missing/store.db"))},
  };
  std::vector<std::string> contents;
  contents.reserve(bad_files.size());
  for (const auto& [path, lines] : bad_files) {
    contents.push_back(Contents(path));
  }

  auto db = NewStore();
  const int64_t descriptors = OpenDescriptorCount();
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (const auto& [path, lines] : bad_files) {
      log.Clear();
      ASSERT_EQ(db->Init(path.c_str()), -1) << path;
      ASSERT_EQ(log.Lines(), lines);
      ASSERT_EQ(CallEveryRecordOperation(*db), std::vector<int32_t>(16, -1));
    }
  }
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  for (size_t i = 0; i < bad_files.size(); ++i) {
    EXPECT_EQ(Contents(bad_files[i].first), contents[i]) << bad_files[i].first;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));

  log.Clear();
  std::ofstream(dir.File("empty.db")).close();
  ASSERT_EQ(db->Init(dir.File("empty.db").c_str()), 0);
  EXPECT_EQ(AddStart(*db), 1);
  EXPECT_EQ(log.Lines(), Lines{});
}

}  // namespace
}  // namespace dbi_test
