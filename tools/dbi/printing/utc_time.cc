#include "printing/utc_time.h"

#include <cstdio>
#include <ctime>
#include <limits>

namespace dbi {

std::string FormatUtc(int64_t ms) {
  // Floor division, so that the milliseconds stay in 0..999 before 1970.
  int64_t seconds = ms / 1000;
  int64_t millis = ms % 1000;
  if (millis < 0) {
    millis += 1000;
    seconds -= 1;
  }
  if (seconds < std::numeric_limits<std::time_t>::min() ||
      seconds > std::numeric_limits<std::time_t>::max()) {
    return "out of range";
  }
  const auto time = static_cast<std::time_t>(seconds);
  // gmtime's shared buffer is fine here: the tool runs on one thread.
  const std::tm* utc = std::gmtime(&time);  // NOLINT(concurrency-mt-unsafe)
  char text[64];
  if (utc == nullptr || std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", utc) == 0) {
    return "out of range";
  }
  char with_millis[80];
  (void)std::snprintf(with_millis, sizeof(with_millis), "%s.%03d UTC", text,
                      static_cast<int>(millis));
  return with_millis;
}

std::string TimeText(int64_t ms) {
  return FormatUtc(ms) + ", " + std::to_string(ms) + " ms";
}

}  // namespace dbi
