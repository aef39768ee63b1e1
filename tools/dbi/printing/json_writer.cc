#include "printing/json_writer.h"

#include <cstdio>

#include "printing/utf8.h"

namespace dbi {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    uint32_t code = 0;
    const size_t length = DecodeUtf8(text, i, code);
    if (length == 0) {
      out += "\\ufffd";
      i += 1;
      continue;
    }
    if (code == '"' || code == '\\') {
      out += '\\';
      out += static_cast<char>(code);
    } else if (IsControlOrInvisible(code)) {
      char escaped[16];
      if (code > 0xFFFF) {
        // Beyond the first plane, JSON has only UTF-16's surrogate pairs.
        const uint32_t offset = code - 0x10000;
        (void)std::snprintf(escaped, sizeof(escaped), "\\u%04x\\u%04x",
                            static_cast<unsigned>(0xD800 + (offset >> 10)),
                            static_cast<unsigned>(0xDC00 + (offset & 0x3FF)));
      } else {
        (void)std::snprintf(escaped, sizeof(escaped), "\\u%04x", static_cast<unsigned>(code));
      }
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
