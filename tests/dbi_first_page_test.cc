// The first page as salvage reads it: the page size a header gives, the
// sizes tried when it gives none, and a file read through a new first page.

#include "recover/first_page.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace dbi {
namespace {

// A database header giving `stored` as its page size (bytes 16 and 17).
std::string Header(uint32_t stored) {
  std::string header = "SQLite format 3";
  header += '\0';
  header.resize(100, '\0');
  header[16] = static_cast<char>(stored >> 8);
  header[17] = static_cast<char>(stored & 0xff);
  header[18] = 1;
  header[19] = 1;
  return header;
}

uint32_t U32At(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  }
  return value;
}

TEST(DbiFirstPageTest, AHeaderGivesItsPageSizeOrTheSizesToTry) {
  struct Row {
    const char* name;
    std::string file;
    uint32_t page_size;  // the header's, or 0 when it gives none
    std::vector<uint32_t> sizes_to_try;
  };
  std::string no_magic = Header(4096);
  no_magic[0] = 'X';
  const Row rows[] = {
      {"4096", Header(4096), 4096, {4096}},
      {"the smallest", Header(512), 512, {512}},
      {"65536, stored as 1", Header(1), 65536, {65536}},
      {"too small", Header(256) + std::string(924, '\0'), 0, {4096, 512, 1024}},
      {"no power of two", Header(1000), 0, {4096}},
      {"no magic", no_magic, 0, {4096}},
      {"cut before the size", Header(4096).substr(0, 17), 0, {4096}},
      {"empty", "", 0, {4096}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(PageSizesToTry(row.file), row.sizes_to_try) << row.name;
  }
}

TEST(DbiFirstPageTest, ANewFirstPageIsOfTheAskedSizeAndCountsTheFilesPages) {
  const std::string file = std::string(1024, '\xa5') + std::string(2048, 'x');
  const std::string patched = WithNewFirstPage(file, 1024);
  ASSERT_EQ(patched.size(), file.size());
  EXPECT_EQ(PageSizesToTry(patched), std::vector<uint32_t>{1024});
  EXPECT_EQ(U32At(patched, 28), 3u);  // the header's page count
  EXPECT_EQ(patched.substr(1024), file.substr(1024));
}

}  // namespace
}  // namespace dbi
