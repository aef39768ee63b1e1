// The wall clock in the unit of session-cache expiry times.

#ifndef DATABASE_INTERFACE_STORE_CLOCK_H_
#define DATABASE_INTERFACE_STORE_CLOCK_H_

#include <cstdint>

namespace database_interface {

// Milliseconds since the Unix epoch: the system clock's 100-nanosecond
// ticks divided by 10000, truncated toward zero.
int64_t NowMilliseconds();

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_STORE_CLOCK_H_
