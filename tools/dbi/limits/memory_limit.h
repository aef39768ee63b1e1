// dbi's memory, bounded as a whole: what SQLite allocates and what dbi's
// own code holds (the rows a recovery found, show's record keys, the file
// read whole) count against one limit, SQLite's hard heap limit, so that a
// crafted file that asks for more ends dbi with its out-of-memory status
// long before the system's out-of-memory killer picks a process. A store
// takes a few megabytes to read or salvage; the limit is a hundred times
// that, and below a small machine's memory.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_LIMITS_MEMORY_LIMIT_H_
#define DATABASE_INTERFACE_TOOLS_DBI_LIMITS_MEMORY_LIMIT_H_

#include <cstdint>

namespace dbi {

constexpr int64_t kMemoryLimit = int64_t{512} << 20;

// Sets the limit. Only the dbi program itself counts its own allocations
// with SQLite's (memory_limit.cc replaces its operator new); a program that
// links dbi's parts (a test, a fuzz target) limits only SQLite's.
void LimitMemory();

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_LIMITS_MEMORY_LIMIT_H_
