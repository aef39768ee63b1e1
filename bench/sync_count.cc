#include "sync_count.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <memory>
#include <vector>

#include "database_interface/database_interface.h"
#include "files/full_sync.h"
#include "harness.h"

namespace dbi_bench {

namespace {

struct SyncCounts {
  int plain = 0;
  int full = 0;
};
SyncCounts counts;

// A layer over the default that counts the syncs reaching it, by kind: each
// file keeps the underlying layer's object, with a copy of its method table
// whose xSync counts first.
struct CountedTable {
  // cppcheck-suppress unusedStructMember ; read in CountedSync and CountedOpen
  const sqlite3_io_methods* real;
  sqlite3_io_methods counted;
};
std::vector<std::unique_ptr<CountedTable>> tables;
sqlite3_vfs* underlying = nullptr;

int CountedSync(sqlite3_file* file, int flags) {
  ((flags & 0x0F) == SQLITE_SYNC_FULL ? counts.full : counts.plain) += 1;
  const auto table = std::find_if(tables.begin(), tables.end(), [&](const auto& known) {
    return &known->counted == file->pMethods;
  });
  return (*table)->real->xSync(file, flags);
}

int CountedOpen(sqlite3_vfs* /*vfs*/, const char* name, sqlite3_file* file, int flags,
                int* out_flags) {
  file->pMethods = nullptr;
  const int rc = underlying->xOpen(underlying, name, file, flags, out_flags);
  if (file->pMethods == nullptr) {
    return rc;
  }
  auto table = std::find_if(tables.begin(), tables.end(),
                            [&](const auto& known) { return known->real == file->pMethods; });
  if (table == tables.end()) {
    tables.push_back(std::make_unique<CountedTable>(CountedTable{file->pMethods, *file->pMethods}));
    table = std::prev(tables.end());
    (*table)->counted.xSync = CountedSync;
  }
  file->pMethods = &(*table)->counted;
  return rc;
}

// `layer` over the default of the moment, made the default.
void RegisterOver(sqlite3_vfs& layer, const char* name, sqlite3_vfs* below) {
  layer = *below;
  layer.pNext = nullptr;
  layer.zName = name;
  layer.pAppData = below;
  sqlite3_vfs_register(&layer, 1);
}

int FullSyncOpen(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags,
                 int* out_flags) {
  return database_interface::OpenFullySyncedFile(static_cast<sqlite3_vfs*>(vfs->pAppData), name,
                                                 file, flags, out_flags);
}

using Write = std::function<void(database_interface::IDatabaseInterface&, int)>;

void InsertStartRecode(database_interface::IDatabaseInterface& db, int /*call*/) {
  int32_t id = 0;
  Expect(db.InsertStartRecode(id, "1.0.0", 5, "bench", 5, 1) == 1, "InsertStartRecode");
}

void InsertSessionCache(database_interface::IDatabaseInterface& db, int call) {
  const std::string key = "key" + std::to_string(call % 16);
  Expect(db.InsertSessionCache(key.c_str(), "value", 1) == 0, "InsertSessionCache");
}

// Counts and times `commits` calls of `write` on a new store in `folder`.
void CountOne(std::ostream& out, const std::string& folder, const char* write_name, const char* way,
              const Write& write, int commits) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  auto db = database_interface::IDatabaseInterface::CreateDatabaseInterface();
  Expect(db->Init((folder + "/store.db").c_str()) == 0, "Init");
  counts = {};
  const auto start = std::chrono::steady_clock::now();
  for (int call = 0; call < commits; ++call) {
    write(*db, call);
  }
  const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
  db->Close();
  out << std::left << std::setw(20) << write_name << " " << std::setw(20) << way << std::right
      << std::fixed << std::setprecision(2) << std::setw(6)
      << static_cast<double>(counts.plain + counts.full) / commits << " syncs per commit, "
      << std::setw(5) << static_cast<double>(counts.full) / commits << " of them full, "
      << std::setprecision(0) << std::setw(8) << took.count() / commits << " us\n";
}

}  // namespace

void PrintSyncsPerCommit(std::ostream& out, const std::string& folder, int commits) {
  static sqlite3_vfs counting, full_syncs;
  sqlite3_vfs* const previous = sqlite3_vfs_find(nullptr);
  underlying = previous;
  RegisterOver(counting, "counting", previous);
  counting.xOpen = CountedOpen;
  const std::pair<const char*, Write> writes[] = {{"InsertStartRecode", InsertStartRecode},
                                                  {"InsertSessionCache", InsertSessionCache}};
  out << "Syncs per commit on disk (Linux has no F_FULLFSYNC: each full sync here is the same "
         "fdatasync)\n";
  for (const auto& [name, write] : writes) {
    CountOne(out, folder, name, "SQLite's own syncs", write, commits);
    RegisterOver(full_syncs, "full syncs", &counting);
    full_syncs.szOsFile = database_interface::FullySyncedFileSize(counting);
    full_syncs.xOpen = FullSyncOpen;
    CountOne(out, folder, name, "every sync full", write, commits);
    sqlite3_vfs_register(&counting, 1);
    sqlite3_vfs_unregister(&full_syncs);
  }
  sqlite3_vfs_register(previous, 1);
  sqlite3_vfs_unregister(&counting);
  std::filesystem::remove_all(folder);
}

}  // namespace dbi_bench
