// The store's one way of reporting a failure: a line handed to the SDK's log
// sink, at level 60, stamped with the calling thread's id.

#ifndef DATABASE_INTERFACE_LOG_LOG_H_
#define DATABASE_INTERFACE_LOG_LOG_H_

#include <cstdint>
#include <type_traits>

#include "base/log.h"

namespace database_interface {

// `format` begins with "[database]" and holds only "%s" conversions, one for
// each of `texts`, which are NUL-terminated strings. Never put a bound value
// in a line: the store keeps secrets, and the formats name SQL texts and
// parameter names only.
template <typename... Texts>
void LogError(const char* format, Texts... texts) {
  static_assert((std::is_convertible_v<Texts, const char*> && ...),
                "log values are NUL-terminated texts");
  const int32_t level = 60;
  const int32_t tid = base::GetTid();
  // The sink is fetched for each line and let go at once: a host may swap it.
  base::IBaseLogInterface::GetLogInstance()->WriteLog(level, tid, format,
                                                      static_cast<const char*>(texts)...);
}

// Logs `line`, which has no conversion, and answers false: how a step that
// failed ends, after the line of what failed inside it.
inline bool Failed(const char* line) {
  LogError(line);
  return false;
}

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_LOG_LOG_H_
