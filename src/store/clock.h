// The wall clock in the unit of session-cache expiry times.

#ifndef DATABASE_INTERFACE_STORE_CLOCK_H_
#define DATABASE_INTERFACE_STORE_CLOCK_H_

#include <chrono>
#include <cstdint>
#include <ratio>

namespace database_interface {

// Milliseconds since the Unix epoch: the system clock's 100-nanosecond
// ticks divided by 10000, truncated toward zero.
inline int64_t NowMilliseconds() {
  using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10000000>>;
  return std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch())
             .count() /
         10000;
}

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_STORE_CLOCK_H_
