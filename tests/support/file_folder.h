// A fresh folder for a test, empty at the start and gone at the end, and a
// fixture that gives each test one to write the files its cases need.

#ifndef DATABASE_INTERFACE_TESTS_SUPPORT_FILE_FOLDER_H_
#define DATABASE_INTERFACE_TESTS_SUPPORT_FILE_FOLDER_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <string>

namespace dbi_test {

// Memory-backed when the system has one and TMPDIR does not say otherwise:
// on a disk, SQLite's fsyncs make the suites many times slower while testing
// nothing more (the power-cut test keeps its own disk). The name is 128
// random bits, which no other test process picks.
class TempDir {
 public:
  TempDir() {
    std::filesystem::path root = std::filesystem::temp_directory_path();
    std::error_code error;
    root = root == "/tmp" && std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm" : root;
    std::random_device random;
    root /= "dbi_test_" + std::to_string(random()) + std::to_string(random()) +
            std::to_string(random()) + std::to_string(random());
    EXPECT_TRUE(std::filesystem::create_directory(root)) << root;
    path_ = root.generic_string();
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The end of a rollback journal naming `name` as its super-journal, as
// SQLite writes it: the name's page number, the name, its length and byte
// sum (big-endian), then the first `magic_bytes` of the journal magic.
inline std::string SuperJournalNaming(const std::string& name, size_t magic_bytes = 8) {
  const auto be32 = [](size_t value) {
    return std::string{static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                       static_cast<char>(value >> 8), static_cast<char>(value)};
  };
  const size_t sum = std::accumulate(name.begin(), name.end(), size_t{0}, [](size_t total, char c) {
    return total + static_cast<unsigned char>(c);
  });
  return be32(1) + name + be32(name.size()) + be32(sum) +
         std::string("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", magic_bytes);
}

}  // namespace dbi_test

class FileFolderTest : public ::testing::Test {
 protected:
  // The path of a new file `name` in the folder, holding `bytes`.
  // NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a name, then what it holds
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  const dbi_test::TempDir folder_;
  const std::filesystem::path dir_ = folder_.path();
};

#endif  // DATABASE_INTERFACE_TESTS_SUPPORT_FILE_FOLDER_H_
