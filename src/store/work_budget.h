// How much work one call may do on a store, in proportion to the store's
// file.
//
// A file's pages may form a graph that is no tree: interior pages that all
// name one child make SQLite read that child's rows once for every path to
// it, which from a few pages is more rows than a machine can hold or a
// lifetime can read. No check of SQLite's refuses such a file, and real
// damage can make one. So a call may take 256 of SQLite's steps for each
// byte of the file, counted by SQLite's progress callback, and hand its
// caller no more rows and bytes than the file could hold; past either, its
// step fails as SQLite fails an interrupted one ("interrupted"), a failed
// step like any other. No store whose pages form a tree meets the second
// bound, and the stores the README admits stay well within the first, the
// cascade of DeleteAllStartRecode included (each start deleted scans the
// core and instance records, which have no index on their start).

#ifndef DATABASE_INTERFACE_STORE_WORK_BUDGET_H_
#define DATABASE_INTERFACE_STORE_WORK_BUDGET_H_

#include <sqlite3.h>

#include <atomic>
#include <cstdint>

namespace database_interface {

class WorkBudget {
 public:
  // Counts the steps of every statement run on `db`, from now on, against
  // the size of its main file.
  void Watch(sqlite3* db);

  // One call on the calling thread: the steps SQLite takes on that thread
  // while it lives are its own.
  class Call {
   public:
    explicit Call(WorkBudget& budget);
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    // Text bytes handed to the caller, counted as they are copied out.
    uint64_t& handed() { return handed_; }
    // A row handed to the caller with its texts counted: false once the
    // call's rows and bytes go past what the file could hold.
    bool RowHanded();

   private:
    friend class WorkBudget;
    WorkBudget& budget_;
    Call* const outer_;
    uint64_t callbacks_ = 0;
    uint64_t handed_ = 0;
  };

 private:
  // A new or empty file is given the budget of a small store's: SQLite's
  // own steps to create the tables of an empty file must not fail.
  static constexpr uint64_t kFewestBytes = uint64_t{64} * 1024;

  static int OnProgress(void* budget);
  // Whether `used` bytes' worth of work is within the file's size, read
  // again when it seems not to be: the store grows as the host writes.
  bool Within(uint64_t used);

  sqlite3_file* file_ = nullptr;
  std::atomic<uint64_t> bytes_{kFewestBytes};
};

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_STORE_WORK_BUDGET_H_
