// What dbi prints of a stored text, which may hold any bytes: the text form
// and the JSON form of each, side by side, so that a byte one of them lets
// through raw, or two texts that print alike, show as one row.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

#include "printing/json_writer.h"
#include "printing/report.h"
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
      {"plain é€😀", "plain é€😀", R"("plain é€😀")"},
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
      {"", "", R"("")"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Escaped(row.stored), row.text);
    EXPECT_EQ(Quoted(row.stored), std::string("\"") + row.text + "\"");
    EXPECT_EQ(JsonString(row.stored), row.json);
  }
}

TEST(DbiPrintingTest, JsonIsNestedWithItsCommasWhereTheyBelong) {
  std::ostringstream out;
  JsonWriter json(out);
  json.BeginObject();
  json.StringField("k\"", "v");
  json.NumberField("n", std::numeric_limits<int64_t>::min());
  json.BoolField("yes", true);
  json.BoolField("no", false);
  json.Key("none");
  json.Null();
  json.Key("empty");
  json.BeginArray();
  json.EndArray();
  const int items[] = {1, 2};
  json.ObjectArrayField("items", items, [&](int item) { json.NumberField("i", item); });
  json.EndObject();
  EXPECT_EQ(out.str(), R"({
  "k\"": "v",
  "n": -9223372036854775808,
  "yes": true,
  "no": false,
  "none": null,
  "empty": [],
  "items": [
    {
      "i": 1
    },
    {
      "i": 2
    }
  ]
}
)");
}

TEST(DbiPrintingTest, ExpiryTimesAreUtcToTheMillisecond) {
  const struct {
    int64_t ms;
    const char* text;
  } rows[] = {
      {0, "1970-01-01 00:00:00.000 UTC"},     {1714564800250, "2024-05-01 12:00:00.250 UTC"},
#ifndef _WIN32  // Windows' gmtime takes no time before 1970: dbi prints "out of range"
      {-1, "1969-12-31 23:59:59.999 UTC"},    {-1000, "1969-12-31 23:59:59.000 UTC"},
      {-1001, "1969-12-31 23:59:58.999 UTC"},
#endif
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FormatUtc(row.ms), row.text) << row.ms;
  }
  EXPECT_EQ(Counted(1, "entry", "entries"), "1 entry");
  EXPECT_EQ(Counted(0, "entry", "entries"), "0 entries");
}

}  // namespace
}  // namespace dbi
