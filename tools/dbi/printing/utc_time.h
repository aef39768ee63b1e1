// The store's times (milliseconds since the Unix epoch) as text.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_PRINTING_UTC_TIME_H_
#define DATABASE_INTERFACE_TOOLS_DBI_PRINTING_UTC_TIME_H_

#include <cstdint>
#include <string>

namespace dbi {

// "2024-05-01 12:00:00.250 UTC"; times before the epoch count backwards
// (-1 is "1969-12-31 23:59:59.999 UTC"). "out of range" for a time the
// calendar functions cannot express.
std::string FormatUtc(int64_t ms);

// A time as dbi shows it, in UTC beside its number:
// "2024-05-01 12:00:00.250 UTC, 1714564800250 ms".
std::string TimeText(int64_t ms);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_PRINTING_UTC_TIME_H_
