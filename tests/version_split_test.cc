// Version texts: split into three numbers and compared number by number.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "database.h"
#include "support/log_capture.h"

namespace dbi_test {
namespace {

using database_interface::CDatabase;

struct SplitCase {
  const char* text;
  int32_t result;
  int32_t major, minor, patch;
};

TEST(VersionSplitTest, ReadsThreeLeadingNumbers) {
  const SplitCase cases[] = {
      {"1.13.0", 0, 1, 13, 0},
      {"1.13.0.", 0, 1, 13, 0},     // a final "." starts no piece
      {" 1.+13.-2", 0, 1, 13, -2},  // blanks and signs
      {"1x.13y.0z", 0, 1, 13, 0},   // what follows the digits is ignored
      {"2147483647.-2147483648.0", 0, 2147483647, -2147483648, 0},
  };
  for (const SplitCase& c : cases) {
    std::istringstream stream(c.text);
    int32_t major = 7, minor = 7, patch = 7;
    EXPECT_EQ(CDatabase::VersionSplit(stream, major, minor, patch), c.result) << c.text;
    EXPECT_EQ(major, c.major) << c.text;
    EXPECT_EQ(minor, c.minor) << c.text;
    EXPECT_EQ(patch, c.patch) << c.text;
  }
}

TEST(VersionSplitTest, RefusesAnythingButThreeNumbers) {
  for (const char* text :
       {"", "1", "1.13", "1.13.0.0", "1.13.0.x", ".1.13", "1..0", "1.x.0", "1.13. ",
        "2147483648.0.0", "1.-2147483649.0", "99999999999999999999.1.1"}) {
    std::istringstream stream(text);
    int32_t major = 0, minor = 0, patch = 0;
    EXPECT_EQ(CDatabase::VersionSplit(stream, major, minor, patch), -1) << '"' << text << '"';
  }
}

TEST(VersionCompareTest, ComparesNumberByNumberAsSignedIntegers) {
  EXPECT_EQ(CDatabase::VersionCompare("1.13.0", "1.13.0"), 0);
  EXPECT_EQ(CDatabase::VersionCompare("1.9.0", "1.13.0"), 1);
  EXPECT_EQ(CDatabase::VersionCompare("1.10.0", "1.9.0"), 2);
  EXPECT_EQ(CDatabase::VersionCompare("1.13.1", "1.13.0"), 2);
  EXPECT_EQ(CDatabase::VersionCompare("0.99.99", "1.0.0"), 1);
  EXPECT_EQ(CDatabase::VersionCompare("-1.0.0", "0.0.0"), 1);
  EXPECT_EQ(CDatabase::VersionCompare("2.0.0", "1.99.99"), 2);
}

TEST(VersionCompareTest, LogsTheTextThatCannotBeSplitAndStopsThere) {
  LogCapture log;
  EXPECT_EQ(CDatabase::VersionCompare("1.x", "also bad"), -1);
  EXPECT_EQ(CDatabase::VersionCompare("1.2.3", "4.5"), -1);
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{
                "[database]database_interface::CDatabase::VersionCompare VersionSplit with "
                "version[1.x] failed",
                "[database]database_interface::CDatabase::VersionCompare VersionSplit with "
                "version[4.5] failed"}));
}

}  // namespace
}  // namespace dbi_test
