// dbi's work, bounded by the file it reads. A crafted file makes SQLite
// work without end for its size: a schema text that loops, or interior
// pages that all name one child, so that a scan reads the same rows over
// and over. Every connection dbi opens (the reader's, the recovery
// extension's own, the scratch ones in memory) shares one budget of
// virtual-machine steps for the whole run, in proportion to the file's
// bytes: some hundred times what reading, checking or salvaging any store
// of that size takes. A statement that would go past it fails with
// SQLITE_INTERRUPT.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_LIMITS_WORK_BUDGET_H_
#define DATABASE_INTERFACE_TOOLS_DBI_LIMITS_WORK_BUDGET_H_

#include <cstdint>

namespace dbi {

// Gives every connection opened from now on the budget of a file of
// `file_bytes` (the -wal's included), the whole of it anew. Until the first
// call, connections have none.
void BoundWork(uint64_t file_bytes);

// Whether the budget has run out.
bool WorkBudgetSpent();

// Why a read was stopped when the budget ran out, in the words dbi prints.
extern const char kWorkBudgetSpent[];

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_LIMITS_WORK_BUDGET_H_
