// A fixture for tests of code that meets files before SQLite does: each
// test gets a folder of its own, empty at the start and gone at the end,
// and writes into it the files its cases need.

#ifndef DATABASE_INTERFACE_TESTS_SUPPORT_FILE_FOLDER_H_
#define DATABASE_INTERFACE_TESTS_SUPPORT_FILE_FOLDER_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

class FileFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::path(::testing::TempDir()) /
           (std::string(test->test_suite_name()) + "_" + test->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // The path of a new file `name` in the folder, holding `bytes`.
  // NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a name, then what it holds
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  std::filesystem::path dir_;
};

#endif  // DATABASE_INTERFACE_TESTS_SUPPORT_FILE_FOLDER_H_
