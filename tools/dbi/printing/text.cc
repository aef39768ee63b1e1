#include "printing/text.h"

#include <cstdint>
#include <cstdio>

#include "printing/utf8.h"

namespace dbi {

std::string Escaped(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    uint32_t code = 0;
    const size_t length = DecodeUtf8(text, i, code);
    char escaped[12];
    if (length == 0 || (code < 0x80 && IsControlOrInvisible(code))) {
      const auto byte = static_cast<unsigned char>(text[i]);
      (void)std::snprintf(escaped, sizeof(escaped), "\\x%02x", byte);  // fits: 4 bytes and NUL
      out += escaped;
      i += 1;
      continue;
    }
    if (IsControlOrInvisible(code)) {
      if (code > 0xFFFF) {
        (void)std::snprintf(escaped, sizeof(escaped), "\\U%08x", static_cast<unsigned>(code));
      } else {
        (void)std::snprintf(escaped, sizeof(escaped), "\\u%04x", static_cast<unsigned>(code));
      }
      out += escaped;
    } else if (code == '"' || code == '\\') {
      out += '\\';
      out += static_cast<char>(code);
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  return out;
}

std::string Quoted(const std::string& text) {
  return "\"" + Escaped(text) + "\"";
}

std::string Counted(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace dbi
