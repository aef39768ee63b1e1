#include "printing/held_output.h"

#include <algorithm>

namespace dbi {

namespace {

// Enough for what any file gets printed about it, however small.
constexpr uint64_t kLeastBound = uint64_t{64} << 10;

}  // namespace

HeldOutput::HeldOutput(uint64_t file_bytes) {
  const uint64_t bound = std::max(kLeastBound, file_bytes * kOutputPerFileByte);
  buffer_.room = static_cast<size_t>(std::min<uint64_t>(bound, SIZE_MAX));
}

std::string HeldOutput::CutReason() {
  return "what it gets printed about it is longer than " + std::to_string(kOutputPerFileByte) +
         " times the file, which no store comes near: cut short there";
}

HeldOutput::Buffer::int_type HeldOutput::Buffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) {
    return traits_type::not_eof(c);
  }
  const char byte = traits_type::to_char_type(c);
  return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

std::streamsize HeldOutput::Buffer::xsputn(const char* bytes, std::streamsize count) {
  const size_t taken = std::min(static_cast<size_t>(count), room - text.size());
  text.append(bytes, taken);
  cut = cut || taken < static_cast<size_t>(count);
  return static_cast<std::streamsize>(taken);
}

}  // namespace dbi
