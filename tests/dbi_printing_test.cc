// What dbi prints: a stored text, which may hold any bytes, in its text and
// JSON forms side by side (a byte one lets through raw, or two texts that
// print alike, show as one row), times, and the bound on what is printed.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "printing/held_output.h"
#include "printing/json_writer.h"
#include "printing/text.h"
#include "printing/utc_time.h"

namespace dbi {
namespace {

TEST(DbiPrintingTest, EveryTextIsPrintedSoThatNothingInItActsOrHides) {
  struct Row {
    std::string stored;
    const char* text;
    const char* json;
  };
  const Row rows[] = {
      {"quote\" back\\", R"(quote\" back\\)", R"("quote\" back\\")"},
      {"line\nend\x7f", R"(line\x0aend\x7f)", R"("line\u000aend\u007f")"},
      {std::string("nul\0!", 5), R"(nul\x00!)", R"("nul\u0000!")"},
      // Bytes of no UTF-8: a stray continuation, a truncated sequence, an
      // overlong slash, a surrogate and a code point past U+10FFFF.
      {"\x80|\xe2\x82|\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80",
       R"(\x80|\xe2\x82|\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80)",
       R"("\ufffd|\ufffd\ufffd|\ufffd\ufffd|\ufffd\ufffd\ufffd|\ufffd\ufffd\ufffd\ufffd")"},
      // The last C1 control, a bidirectional mark, zero-width and separator
      // characters, and one beyond the first plane.
      // NOLINTNEXTLINE(misc-misleading-bidirectional): the mark is the case
      {"\xc2\x9f|\xe2\x80\xae|\xe2\x80\x8b|\xef\xbb\xbf|\xe2\x80\xa8|\xc2\xad|\xf3\xa0\x80\x81",
       R"(\u009f|\u202e|\u200b|\ufeff|\u2028|\u00ad|\U000e0001)",
       R"("\u009f|\u202e|\u200b|\ufeff|\u2028|\u00ad|\udb40\udc01")"},
      // The edges of the invisible ranges, and the last code point, are
      // shown as they are.
      {"\xe2\x80\x8a\xe2\x80\xaf\xf3\xa0\x82\x80\xf4\x8f\xbf\xbf",
       "\xe2\x80\x8a\xe2\x80\xaf\xf3\xa0\x82\x80\xf4\x8f\xbf\xbf",
       "\"\xe2\x80\x8a\xe2\x80\xaf\xf3\xa0\x82\x80\xf4\x8f\xbf\xbf\""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Escaped(row.stored), row.text);
    EXPECT_EQ(JsonString(row.stored), row.json);
  }
}

TEST(DbiPrintingTest, ExpiryTimesAreUtcToTheMillisecond) {
  const struct {
    int64_t ms;
    const char* text;
  } rows[] = {
      {1714564800250, "2024-05-01 12:00:00.250 UTC"},
#ifndef _WIN32  // Windows' gmtime takes no time before 1970: dbi prints "out of range"
      {-1, "1969-12-31 23:59:59.999 UTC"},
      {-1000, "1969-12-31 23:59:59.000 UTC"},
#endif
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FormatUtc(row.ms), row.text) << row.ms;
  }
}

// What is printed is held up to 64 times the file (64 KiB at least), and the
// stream fails past it, as a full disk would.
TEST(DbiPrintingTest, HeldOutputIsCutAtItsBound) {
  for (const uint64_t file_bytes : {uint64_t{0}, uint64_t{4096}}) {
    HeldOutput output(file_bytes);
    const size_t bound = file_bytes == 0 ? 65536 : 64 * 4096;
    output.stream() << std::string(bound - 1, 'x') << 'y';
    EXPECT_TRUE(output.stream() && !output.cut()) << file_bytes;
    output.stream() << 'z';
    EXPECT_TRUE(!output.stream() && output.cut()) << file_bytes;
    EXPECT_EQ(output.text().size(), bound) << file_bytes;
  }
}

}  // namespace
}  // namespace dbi
