#include "store/work_budget.h"

#include <algorithm>

namespace database_interface {

namespace {

// SQLite calls back after this many steps of a statement: each callback
// spends one byte's worth of the call's budget. On a phone or a loaded
// build machine SQLite takes some 40 million steps a second, so a crafted
// file of 100 KiB stops its call within a second.
constexpr int kStepsPerCallback = 256;
// What a row costs beside its texts: less than the smallest row of a store
// takes in its file.
constexpr uint64_t kBytesPerRow = 4;

// The call that runs on this thread, if any: SQLite's progress callback
// runs on the thread whose step it interrupts.
thread_local WorkBudget::Call* current_call = nullptr;

}  // namespace

void WorkBudget::Watch(sqlite3* db) {
  file_ = nullptr;
  bytes_.store(kFewestBytes);
  (void)sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file_);
  sqlite3_progress_handler(db, kStepsPerCallback, OnProgress, this);
}

int WorkBudget::OnProgress(void* budget) {
  Call* call = current_call;
  return call != nullptr && !static_cast<WorkBudget*>(budget)->Within(++call->callbacks_) ? 1 : 0;
}

bool WorkBudget::Within(uint64_t used) {
  if (used <= bytes_.load(std::memory_order_relaxed)) {
    return true;
  }
  sqlite3_int64 size = 0;
  if (file_ != nullptr && file_->pMethods != nullptr &&
      file_->pMethods->xFileSize(file_, &size) == SQLITE_OK) {
    bytes_.store(std::max(kFewestBytes, static_cast<uint64_t>(size)), std::memory_order_relaxed);
  }
  return used <= bytes_.load(std::memory_order_relaxed);
}

WorkBudget::Call::Call(WorkBudget& budget) : budget_(budget), outer_(current_call) {
  current_call = this;
}

WorkBudget::Call::~Call() {
  current_call = outer_;
}

bool WorkBudget::Call::RowHanded() {
  handed_ += kBytesPerRow;
  return budget_.Within(handed_);
}

}  // namespace database_interface
