// What a command prints, held in memory until the command has let go of
// the file it read, and bounded by that file's size. A reader that does
// not read its pipe at once (a pager, say) must not hold the store: an app
// writing to it meanwhile would be refused. And a crafted file can make
// any listing long (a value computed on reading, pages that several parents
// share): no store's listing comes near kOutputPerFileByte times its file.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_PRINTING_HELD_OUTPUT_H_
#define DATABASE_INTERFACE_TOOLS_DBI_PRINTING_HELD_OUTPUT_H_

#include <cstdint>
#include <ostream>
#include <streambuf>
#include <string>

namespace dbi {

constexpr uint64_t kOutputPerFileByte = 64;

class HeldOutput {
 public:
  // For a file (with its -wal) of `file_bytes`.
  explicit HeldOutput(uint64_t file_bytes);
  HeldOutput(const HeldOutput&) = delete;
  HeldOutput& operator=(const HeldOutput&) = delete;
  ~HeldOutput() = default;

  // Fails, as a full disk would, once the bound is reached.
  std::ostream& stream() { return stream_; }
  // Whether the output was cut at the bound, and why, in dbi's words.
  bool cut() const { return buffer_.cut; }
  static std::string CutReason();
  // What is held, up to the bound.
  const std::string& text() const { return buffer_.text; }

 private:
  struct Buffer : std::streambuf {
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* bytes, std::streamsize count) override;

    std::string text;
    size_t room = 0;
    bool cut = false;
  };

  Buffer buffer_;
  std::ostream stream_{&buffer_};
};

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_PRINTING_HELD_OUTPUT_H_
