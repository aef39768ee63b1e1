// A small writer of indented JSON that always produces valid documents:
// commas and nesting are tracked, and strings are escaped, with bytes that
// are not UTF-8 replaced by U+FFFD (stored texts may hold any bytes) and
// controls and invisible characters written as \u escapes.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_PRINTING_JSON_WRITER_H_
#define DATABASE_INTERFACE_TOOLS_DBI_PRINTING_JSON_WRITER_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace dbi {

// `text` as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

class JsonWriter {
 public:
  explicit JsonWriter(std::ostream& out) : out_(out) {}
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;
  ~JsonWriter() = default;

  // Closing the outermost value ends the line.
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  // Inside an object, every value is preceded by its key.
  void Key(const std::string& key);

  void String(const std::string& value);
  void Number(int64_t value);
  void Bool(bool value);
  void Null();

  // A key with its value, inside an object.
  void StringField(const std::string& key, const std::string& value);
  void NumberField(const std::string& key, int64_t value);
  void BoolField(const std::string& key, bool value);

  // `key` with an array of one object per item, whose members
  // `write_members(item)` writes.
  template <typename Items, typename WriteMembers>
  void ObjectArrayField(const std::string& key, const Items& items, WriteMembers write_members) {
    Key(key);
    BeginArray();
    for (const auto& item : items) {
      BeginObject();
      write_members(item);
      EndObject();
    }
    EndArray();
  }

 private:
  void BeforeValue();
  void Open(char bracket);
  void Close(char bracket);
  void NewLine();

  std::ostream& out_;
  // One entry per open object or array: whether it has a member yet.
  std::vector<bool> has_members_;
  bool after_key_ = false;
};

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_PRINTING_JSON_WRITER_H_
