// The comparison of two version texts that the store's interface offers
// beside its records: Init decides a file's fate without it, so only these
// rows hold its answers: each order of a pair, unreadable texts on either
// side, and the bounds of a number.

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <vector>

#include "store/database.h"
#include "support/log_capture.h"

namespace database_interface {
namespace {

TEST(VersionCompareTest, EachPairIsOrderedNumberByNumber) {
  struct Row {
    const char* older;
    const char* newer;
    int32_t answer;
  };
  const Row rows[] = {
      {"1.13.0", "1.13.0", 0}, {"1.12.9", "1.13.0", 1}, {"1.13.1", "1.13.0", 2},
      {"2.0.0", "10.0.0", 1},  {"1.2.3", "3.2.1", 1},   {"3.2.1", "1.2.3", 2},
      {"1.13", "1.13.0", -1},  {"1.13.0", "x", -1},     {"x", "1.13.0", -1},
  };

  for (const Row& row : rows) {
    dbi_test::LogCapture log;
    EXPECT_EQ(CDatabase::VersionCompare(row.older, row.newer), row.answer)
        << row.older << " " << row.newer;
    EXPECT_EQ(log.Lines().size(), row.answer < 0 ? 1U : 0U) << row.older << " " << row.newer;
  }
  // The bounds of a number, 32 bits signed: the first beyond is unreadable.
  dbi_test::LogCapture log;
  EXPECT_EQ(CDatabase::VersionCompare("-2147483648.0.0", "2147483647.0.0"), 1);
  EXPECT_EQ(CDatabase::VersionCompare("2147483648.0.0", "0.0.0"), -1);
  EXPECT_EQ(log.Lines().size(), 1U);
}

// A stream splits as a text does, and keeps the numbers read before a fault.
TEST(VersionCompareTest, AStreamSplitsAsItsText) {
  std::istringstream good("1.13.4");
  std::istringstream bad("7.x.9");
  int32_t n[3] = {};
  EXPECT_EQ(CDatabase::VersionSplit(good, n[0], n[1], n[2]), 0);
  EXPECT_EQ(CDatabase::VersionSplit(bad, n[0], n[1], n[2]), -1);
  EXPECT_EQ(std::vector<int32_t>(n, n + 3), (std::vector<int32_t>{7, 13, 4}));
}

}  // namespace
}  // namespace database_interface
