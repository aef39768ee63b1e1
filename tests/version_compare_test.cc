// The comparison of two version texts that the store's interface offers
// beside its records: Init decides a file's fate without it, so only these
// rows hold its answers: each order of a pair, unreadable texts on either
// side, and the bounds of a number.

#include <gtest/gtest.h>

#include <cstdint>

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

}  // namespace
}  // namespace database_interface
