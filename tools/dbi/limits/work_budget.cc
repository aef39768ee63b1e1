#include "limits/work_budget.h"

#include <sqlite3.h>

namespace dbi {

const char kWorkBudgetSpent[] =
    "it takes far more work to read than a file of its size can need (pages that several "
    "parents share, or a schema text that loops)";

namespace {

// SQLite calls the handler every kStepsPerCheck steps. A store costs a few
// steps a byte to read, check or salvage, and the recovery extension a few
// more even where every page is lost: a thousand a byte stops only a file
// crafted to loop, in about a second for one of a hundred kilobytes.
constexpr int kStepsPerCheck = 10000;
constexpr uint64_t kBytesPerCheck = 10;
constexpr int64_t kChecksBase = 1000;

int64_t checks_left = 0;

int OutOfBudget(void* /*unused*/) {
  return --checks_left < 0 ? 1 : 0;
}

int OnOpen(sqlite3* db, const char** /*error*/, const sqlite3_api_routines* /*api*/) {
  sqlite3_progress_handler(db, kStepsPerCheck, &OutOfBudget, nullptr);
  return SQLITE_OK;
}

}  // namespace

void BoundWork(uint64_t file_bytes) {
  checks_left = kChecksBase + static_cast<int64_t>(file_bytes / kBytesPerCheck);
  // SQLite takes the entry point as a function of no arguments and calls it
  // with its real ones; a second registration of it is none.
  (void)sqlite3_auto_extension(reinterpret_cast<void (*)()>(&OnOpen));
}

bool WorkBudgetSpent() {
  return checks_left < 0;
}

}  // namespace dbi
