#include "printing/escaping_log_sink.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "printing/text.h"

namespace dbi {

void EscapingLogSink::WriteLog(const int32_t& level, const int32_t& tid, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int size = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) + 1 : 1, '\0');
  (void)std::vsnprintf(buffer.data(), buffer.size(), format, args);  // measured above
  va_end(args);
  const std::string line = "[level " + std::to_string(level) + "][tid " + std::to_string(tid) +
                           "] " + Escaped(buffer.data()) + "\n";
  (void)std::fputs(line.c_str(), stderr);
}

}  // namespace dbi
