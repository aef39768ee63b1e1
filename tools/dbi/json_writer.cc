#include "json_writer.h"

#include <cstdio>

namespace dbi {

namespace {

// The length of the well-formed UTF-8 sequence at `text[i]`, 0 when there is
// none (a stray byte, a truncated sequence, an overlong form or a surrogate).
size_t Utf8Length(const std::string& text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) {
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
  uint32_t code = lead & (0x7Fu >> length);
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) {
      return 0;
    }
    code = (code << 6) | (next & 0x3Fu);
  }
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return code < kSmallest[length] || code > 0x10FFFF || surrogate ? 0 : length;
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const size_t length = Utf8Length(text, i);
    if (length == 0) {
      out += "\\ufffd";
      i += 1;
      continue;
    }
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += static_cast<char>(byte);
    } else if (byte < 0x20) {
      char escaped[8];
      (void)std::snprintf(escaped, sizeof(escaped), "\\u%04x", byte);  // fits: 6 bytes and NUL
      out += escaped;
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  return out + "\"";
}

void JsonWriter::Key(const std::string& key) {
  BeforeValue();
  out_ << JsonString(key) << ": ";
  after_key_ = true;
}

void JsonWriter::String(const std::string& value) {
  BeforeValue();
  out_ << JsonString(value);
}

void JsonWriter::Number(int64_t value) {
  BeforeValue();
  out_ << value;
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ << (value ? "true" : "false");
}

void JsonWriter::Null() {
  BeforeValue();
  out_ << "null";
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): key, then value, as everywhere in JSON
void JsonWriter::StringField(const std::string& key, const std::string& value) {
  Key(key);
  String(value);
}

void JsonWriter::NumberField(const std::string& key, int64_t value) {
  Key(key);
  Number(value);
}

void JsonWriter::BoolField(const std::string& key, bool value) {
  Key(key);
  Bool(value);
}

void JsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!has_members_.empty()) {
    if (has_members_.back()) {
      out_ << ',';
    }
    has_members_.back() = true;
    NewLine();
  }
}

void JsonWriter::Open(char bracket) {
  BeforeValue();
  out_ << bracket;
  has_members_.push_back(false);
}

void JsonWriter::Close(char bracket) {
  const bool had_members = has_members_.back();
  has_members_.pop_back();
  if (had_members) {
    NewLine();
  }
  out_ << bracket;
  if (has_members_.empty()) {
    out_ << '\n';
  }
}

void JsonWriter::NewLine() {
  out_ << '\n' << std::string(2 * has_members_.size(), ' ');
}

}  // namespace dbi
