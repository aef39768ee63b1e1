// The comparison of two version texts that the store's interface offers
// beside its records: Init decides a file's fate without it, so only these
// rows hold its answers.

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
      {"1.13", "1.13.0", -1},  {"1.13.0", "x", -1},
  };
  for (const Row& row : rows) {
    dbi_test::LogCapture log;
    EXPECT_EQ(CDatabase::VersionCompare(row.older, row.newer), row.answer)
        << row.older << " " << row.newer;
    EXPECT_EQ(log.Lines().size(), row.answer < 0 ? 1U : 0U) << row.older << " " << row.newer;
  }
}

}  // namespace
}  // namespace database_interface
