#include "utf8.h"

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

bool IsControlOrBidi(uint32_t code) {
  const bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
  const bool bidi = code == 0x061C || code == 0x200E || code == 0x200F ||
                    (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
  return control || bidi;
}

}  // namespace dbi
