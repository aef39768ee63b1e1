// Syncs per commit, and how many of them are full: for a write of the
// library on disk, with the syncs SQLite makes by default and with every
// sync made a full one, as the store's own SQLite does on Apple's systems.
// Linux has no F_FULLFSYNC, so a full flush of a drive's cache cannot be
// timed here; the count is what its cost multiplies.

#ifndef DATABASE_INTERFACE_BENCH_SYNC_COUNT_H_
#define DATABASE_INTERFACE_BENCH_SYNC_COUNT_H_

#include <ostream>
#include <string>

namespace dbi_bench {

// Runs `commits` of each counted write on stores in `folder` and prints one
// line per write and way.
void PrintSyncsPerCommit(std::ostream& out, const std::string& folder, int commits);

}  // namespace dbi_bench

#endif  // DATABASE_INTERFACE_BENCH_SYNC_COUNT_H_
