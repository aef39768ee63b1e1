// The three ways of reaching one store file that every workload compares:
// the library through IDatabaseInterface, the SQLite C API with no wrapper
// at all (the floor) and SQLiteCpp. Each way gets its own copy of one seeded
// file, opened with the library's own connection settings: the same open
// flags, foreign keys on, SQLite's default journal and synchronous modes.

#ifndef DATABASE_INTERFACE_BENCH_STORES_H_
#define DATABASE_INTERFACE_BENCH_STORES_H_

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "database_interface/database_interface.h"
#include "schema/statements.h"

namespace dbi_bench {

using database_interface::IDatabaseInterface;
using database_interface::RecordStmt;

// What every seeded file holds.
constexpr int kSessionKeys = 10000;
constexpr int kStartRecodes = 1000;
constexpr int kCoreRecodes = 1000;
constexpr int kInstanceInfos = 100;  // all of them tied to start 1
// The reference time of every read: all seeded entries expire after it.
constexpr int64_t kNow = 1700000000000;

// Key number `i` (taken modulo kSessionKeys) as stored, and one that is not.
const std::string& SessionKey(int64_t i);
const std::string& MissingKey(int64_t i);
// The id of start `i`, walking the starts in a scattered order.
int32_t StartId(int64_t i);

// The SQL text of a record statement, byte for byte as the library prepares it.
const char* Sql(RecordStmt which);

// A statement prepared once on a raw connection, finalized on destruction.
class FloorStmt {
 public:
  FloorStmt(sqlite3* db, RecordStmt which);
  ~FloorStmt();
  FloorStmt(const FloorStmt&) = delete;
  FloorStmt& operator=(const FloorStmt&) = delete;

  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// A folder of store files, seeded once and copied for each connection, and
// removed with its content on destruction.
class StoreFolder {
 public:
  // Makes a fresh folder under `parent` and a seeded file in it.
  explicit StoreFolder(const std::string& parent);
  ~StoreFolder();
  StoreFolder(const StoreFolder&) = delete;
  StoreFolder& operator=(const StoreFolder&) = delete;

  const std::string& path() const { return path_; }
  // A new copy of the seeded file, named `name`.
  std::string Copy(const std::string& name) const;

 private:
  std::string path_;
  std::string seeded_;
};

// What the library does around every call beside SQLite's work: count the
// call in flight and test the connection state, on one cache line that every
// calling thread writes. Kept here to measure that alone on the floor.
struct CallCounter {
  static constexpr int32_t kReady = 2;

  // As the library does before its lock: true when the call may run.
  bool Enter() {
    in_flight.fetch_add(1);
    return state.load() == kReady;
  }
  void Leave() { in_flight.fetch_sub(1); }

  std::atomic<int32_t> state{kReady};
  std::atomic<int32_t> in_flight{0};
};

// One connection per way, each on its own copy of the seeded file.
struct Stores {
  Stores(const StoreFolder& files, bool disk, const std::string& workload);
  ~Stores();
  Stores(const Stores&) = delete;
  Stores& operator=(const Stores&) = delete;

  const std::string folder;
  const bool on_disk;
  std::shared_ptr<IDatabaseInterface> library;
  sqlite3* floor = nullptr;
  // On disk only: the floor again with synchronous=EXTRA, what a host gets
  // by building SQLite with SQLITE_DEFAULT_SYNCHRONOUS=3.
  sqlite3* floor_extra = nullptr;
  std::unique_ptr<SQLite::Database> wrapper;
  CallCounter counter;
};

}  // namespace dbi_bench

#endif  // DATABASE_INTERFACE_BENCH_STORES_H_
