// The disk's own limit for a commit: one small write made durable with
// fdatasync, as SQLite makes its journal and database file durable.

#ifndef DATABASE_INTERFACE_BENCH_FSYNC_BLOCK_H_
#define DATABASE_INTERFACE_BENCH_FSYNC_BLOCK_H_

#include <string>

#include "harness.h"

namespace dbi_bench {

// Each call rewrites one 4 KiB page of a file in `folder` and waits for
// fdatasync.
Block FsyncBlock(const std::string& folder);

}  // namespace dbi_bench

#endif  // DATABASE_INTERFACE_BENCH_FSYNC_BLOCK_H_
