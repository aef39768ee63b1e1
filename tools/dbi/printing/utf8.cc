#include "printing/utf8.h"

#include <algorithm>
#include <iterator>

namespace dbi {

size_t DecodeUtf8(const std::string& text, size_t i, uint32_t& code) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  const size_t length = (lead & 0xE0) == 0xC0   ? 2
                        : (lead & 0xF0) == 0xE0 ? 3
                        : (lead & 0xF8) == 0xF0 ? 4
                                                : 0;
  if (length == 0 || i + length > text.size()) {
    return 0;
  }
  // The smallest code point that needs `length` bytes: anything below is overlong.
  constexpr uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  uint32_t decoded = lead & (0x7Fu >> length);
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) {
      return 0;
    }
    decoded = (decoded << 6) | (next & 0x3Fu);
  }
  const bool surrogate = decoded >= 0xD800 && decoded <= 0xDFFF;
  if (decoded < kSmallest[length] || decoded > 0x10FFFF || surrogate) {
    return 0;
  }
  code = decoded;
  return length;
}

namespace {

struct Range {
  uint32_t first;
  uint32_t last;
};

// Unicode's format characters (category Cf: the bidirectional marks among
// them) and its line and paragraph separators, as of Unicode 15.
constexpr Range kInvisible[] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},
    {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},
    {0x200B, 0x200F},   {0x2028, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},
    {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
    {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
};

}  // namespace

bool IsControlOrInvisible(uint32_t code) {
  if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
    return true;
  }
  return std::any_of(std::begin(kInvisible), std::end(kInvisible), [code](const Range& range) {
    return code >= range.first && code <= range.last;
  });
}

}  // namespace dbi
