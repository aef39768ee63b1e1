// SQLite's file calls and its allocations failing, at every point of a round
// of all operations and of opening files that need creating, migrating or
// rebuilding: each failure is answered and logged once, the same call works
// once the fault is gone, no memory leaks, and the file is left as where
// nothing fails. (A text column read back as a null pointer would
// read as empty; SQLite copies texts out inside the step, so its memory
// running out there shows as a failed step instead.)
//
// File calls fail in a file-system layer registered as SQLite's default, so
// it sits under the store's connection (and the tests' own): it passes every
// call to the real layer except the one chosen to fail. Allocations fail in
// a wrapper of SQLite's own allocator, set before SQLite starts.
//
// The same layer cuts the power: it follows the store's folder on a strict
// POSIX disk, where a cut leaves each file as its last sync made it and a
// file's creation or deletion only once its folder was synced, and every
// state a cut could leave is opened and checked. It also sees how each sync
// was asked for, full or not.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "files/full_sync.h"
#include "support/test_db.h"
#include "support/workload.h"

namespace dbi_test {
namespace {

enum class Failing { kNothing, kAllocation, kOpen, kRead, kWrite, kSync, kLock };

// A failure to inject, counted down by the calls of its kind: once armed
// with `remaining` = n, the nth one fails with `code`, and with `persistent`
// every later one too, until disarmed. The tests run on one thread.
struct Fault {
  int Injected(Failing kind) {
    if (kind != failing || remaining == 0 || --remaining > 0) {
      return SQLITE_OK;
    }
    remaining = persistent ? 1 : 0;
    injected = true;
    return code;
  }

  Failing failing = Failing::kNothing;
  int code = SQLITE_OK;
  bool persistent = false;
  bool injected = false;
  int remaining = 0;
} fault;

sqlite3_mem_methods real_memory;
int64_t live_blocks = 0;

void* Malloc(int size) {
  void* block =
      fault.Injected(Failing::kAllocation) == SQLITE_OK ? real_memory.xMalloc(size) : nullptr;
  live_blocks += block != nullptr ? 1 : 0;
  return block;
}

// SQLite reallocates only blocks it has, so the count stays.
void* Realloc(void* block, int size) {
  return fault.Injected(Failing::kAllocation) == SQLITE_OK ? real_memory.xRealloc(block, size)
                                                           : nullptr;
}

void Free(void* block) {
  live_blocks -= block != nullptr ? 1 : 0;
  real_memory.xFree(block);
}

// The files a cut leaves in the followed folder: name to content.
using Files = std::map<std::string, std::string>;

// A POSIX disk under one folder: what a cut at any moment would leave. A
// file's content lasts from its sync, a name's creation or removal from the
// folder's sync; a cut after each sync, and before the folder's, leaves
// every state there is. SQLite's unix layer syncs the folder at the first
// sync of a journal it created, just after the journal itself, and in a
// delete asked to sync. The tests that cut run on one thread.
struct PowerCutDisk {
  // A name's file, by what it holds as last synced: a file made anew under
  // an old name is another file, which the folder names only once synced.
  using Folder = std::map<std::string, std::shared_ptr<std::string>>;
  struct OpenFile {
    // cppcheck-suppress unusedStructMember ; read in Synced through the map's iterator
    std::string name;
    std::shared_ptr<std::string> synced;
    bool syncs_folder = false;  // a journal created here: its first sync syncs the folder
  };

  // Follows the empty `folder` from now on; "" stops.
  void Follow(const std::string& followed) {
    *this = PowerCutDisk();
    folder = followed;
  }
  // The name of a file in the followed folder, or "".
  std::string NameOf(const char* path) const {
    const std::filesystem::path file(path == nullptr ? "" : path);
    return !folder.empty() && file.parent_path() == folder ? file.filename().string() : "";
  }
  void Opened(sqlite3_file* file, const char* path, int flags) {
    const std::string name = NameOf(path);
    if (!name.empty()) {
      std::shared_ptr<std::string>& synced = names[name];
      synced = synced != nullptr ? synced : std::make_shared<std::string>();
      const int journal = flags & (SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_SUPER_JOURNAL);
      open[file] = {name, synced, journal != 0 && (flags & SQLITE_OPEN_CREATE) != 0};
    }
  }
  void Closed(sqlite3_file* file) { open.erase(file); }
  void Synced(sqlite3_file* file, int flags) {
    sync_kinds.insert(flags & 0x0F);
    const auto it = open.find(file);
    if (it != open.end()) {
      *it->second.synced = FileContents(folder + "/" + it->second.name);
      Cut(false);
      if (std::exchange(it->second.syncs_folder, false)) {
        Cut(true);
      }
    }
  }
  void Deleted(const char* path, bool sync_folder) {
    if (names.erase(NameOf(path)) != 0 && sync_folder) {
      Cut(true);
    }
  }
  // Adds the files a cut now leaves, the folder synced first if `folder_synced`.
  void Cut(bool folder_synced) {
    durable_names = folder_synced ? names : durable_names;
    Files& state = cuts.emplace_back();
    for (const auto& [name, synced] : durable_names) {
      state[name] = *synced;
    }
  }

  std::string folder;
  Folder names;          // the folder now
  Folder durable_names;  // as last synced
  std::map<sqlite3_file*, OpenFile> open;
  std::vector<Files> cuts;   // since the test last took them, oldest first
  std::set<int> sync_kinds;  // SQLITE_SYNC_NORMAL, _FULL, of every sync seen
} disk;

sqlite3_vfs* real_vfs = nullptr;
// The real layer gives a database file and a journal method tables of their
// own (a journal takes no locks): each gets a faulty copy, by the real one,
// and the copy knows its real one.
std::map<const sqlite3_io_methods*, sqlite3_io_methods> faulty_tables;
std::map<const sqlite3_io_methods*, const sqlite3_io_methods*> real_tables;

// The real layer's `method`, unless the armed fault fails calls of `kCall`;
// the power-cut disk then follows what succeeded.
template <Failing kCall, auto method, auto follow, typename... Args>
int Faulty(sqlite3_file* file, Args... args) {
  int rc = fault.Injected(kCall);
  rc = rc != SQLITE_OK ? rc : (real_tables.at(file->pMethods)->*method)(file, args...);
  if constexpr (follow != nullptr) {
    if (rc == SQLITE_OK) {
      (disk.*follow)(file, args...);
    }
  }
  return rc;
}

int Delete(sqlite3_vfs* /*faulty*/, const char* name, int sync_folder) {
  const int rc = real_vfs->xDelete(real_vfs, name, sync_folder);
  if (rc == SQLITE_OK) {
    disk.Deleted(name, sync_folder != 0);
  }
  return rc;
}

int Open(sqlite3_vfs* /*faulty*/, const char* name, sqlite3_file* file, int flags, int* out_flags) {
  file->pMethods = nullptr;  // nothing for SQLite to close if the open fails
  int rc = fault.Injected(Failing::kOpen);
  rc = rc != SQLITE_OK ? rc : real_vfs->xOpen(real_vfs, name, file, flags, out_flags);
  if (rc != SQLITE_OK) {
    return rc;
  }
  // The file object stays the real layer's; only entries of its method table
  // are swapped, so every other call reaches the real layer unchanged.
  const auto [table, made] = faulty_tables.try_emplace(file->pMethods, *file->pMethods);
  if (made) {
    sqlite3_io_methods& faulty = table->second;
    faulty.xRead = Faulty<Failing::kRead, &sqlite3_io_methods::xRead, nullptr>;
    faulty.xLock = Faulty<Failing::kLock, &sqlite3_io_methods::xLock, nullptr>;
    faulty.xWrite = Faulty<Failing::kWrite, &sqlite3_io_methods::xWrite, nullptr>;
    faulty.xSync = Faulty<Failing::kSync, &sqlite3_io_methods::xSync, &PowerCutDisk::Synced>;
    faulty.xClose = Faulty<Failing::kNothing, &sqlite3_io_methods::xClose, &PowerCutDisk::Closed>;
    real_tables[&faulty] = table->first;
  }
  file->pMethods = &table->second;
  disk.Opened(file, name, flags);
  return rc;
}

// Each kind of failure as a disk or the allocator would give it.
constexpr std::pair<Failing, int> kFailures[] = {
    {Failing::kAllocation, SQLITE_NOMEM}, {Failing::kOpen, SQLITE_CANTOPEN},
    {Failing::kRead, SQLITE_IOERR_READ},  {Failing::kWrite, SQLITE_IOERR_WRITE},
    {Failing::kWrite, SQLITE_FULL},       {Failing::kSync, SQLITE_IOERR_FSYNC},
    {Failing::kLock, SQLITE_IOERR_LOCK}};

// A failed call's lines: the failing SQLite call, for an operation its
// statement's step; for Init, then the steps it was in, the innermost first.
void ExpectFailureLines(Op op, const Lines& lines, const std::string& error) {
  const std::string ours = "[database]database_interface::CDatabase::";
  if (op != kInit) {
    EXPECT_EQ(WithoutSql(lines),
              Lines{ours + Name(op) + " sqlite3_step with sql[] failed:" + error});
    return;
  }
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines[0].find("failed:" + error), std::string::npos) << lines[0];
  // The steps it was in report themselves, the one the SQLite call was made
  // in next, but for CreateTable, which its caller reports (Init, or
  // ReCreateTable).
  const Lines steps = {"CreateTable",     "InitStmt",        "SelectDbVersion", "InsertDbVersion",
                       "UpdateDbVersion", "VersionChangeDb", "ReCreateTable",   "CheckAndUpdateDb"};
  for (size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(std::count_if(steps.begin(), steps.end(),
                            [&](const std::string& step) {
                              return lines[i] == "[database]" + step + " failed";
                            }),
              1)
        << lines[i];
  }
  for (const std::string& step : steps) {
    if (step != "CreateTable" && lines[0].find("CDatabase::" + step + " ") != std::string::npos) {
      EXPECT_EQ(lines.size() < 2 ? "" : lines[1], "[database]" + step + " failed");
    }
  }
}

class FailureInjectionTest : public StoreTest {
 protected:
  // The first `calls` calls of a round on a store file of `version` (null
  // for no file), each tried with the fault armed at its 1st, 2nd, ... point
  // until a try injects none, each try from the file and the connection the
  // call before left. A try fails with exactly its lines and works when
  // called again once the fault is gone, or works at once; either way it
  // answers and leaves the file as the last try, where nothing failed, and
  // logs nothing more. A failed Init leaves the instance closed and no empty
  // file of its own (on Windows SQLite makes the file, and it stays).
  // Returns the failures injected.
  int ThroughEachFault(const char* version, size_t calls) {
    const std::string before = dir_.File("before.db");
    std::filesystem::remove(before);
    if (version != nullptr) {
      CopyStoreFile(before, version);
    }
    auto db = NewStore();
    Workload workload(*db, path_, "faults");
    int injected = 0;
    for (size_t i = 0; i < calls; ++i) {
      const Op op = Workload::Round()[i];
      const Workload from = workload;
      Lines tries;  // each try's answer and the file after it
      for (int nth = 1; tries.empty() || fault.injected; ++nth) {
        SCOPED_TRACE(Name(op) + " failing at " + std::to_string(nth));
        db->Close();
        std::filesystem::remove(path_);
        if (std::filesystem::exists(before)) {
          std::filesystem::copy_file(before, path_);
        }
        EXPECT_TRUE(op == kInit || db->Init(path_.c_str()) == 0);
        workload = from;
        log_.Clear();
        fault.remaining = nth;
        fault.injected = false;
        std::string answer = workload.Run(op);
        fault.remaining = 0;
        if (Refused(answer)) {
          EXPECT_TRUE(fault.injected) << "failed with no fault injected";
          ExpectFailureLines(op, log_.Lines(), sqlite3_errstr(fault.code));
          log_.Clear();
          if (op == kInit) {
            ExpectEveryRecordOperationRefused(*db);
#if !defined(_WIN32)
            EXPECT_FALSE(std::filesystem::exists(path_) && std::filesystem::file_size(path_) == 0);
#endif
          }
          answer = workload.Run(op);
        }
        tries.push_back(answer + " " + FileState(path_));
        EXPECT_EQ(log_.Lines(), Lines{});
        injected += fault.injected ? 1 : 0;
      }
      for (const std::string& tried : tries) {
        EXPECT_EQ(tried, tries.back()) << Name(op);
      }
      std::filesystem::remove(before);  // MinGW's copy_file refuses to overwrite
      std::filesystem::copy_file(path_, before);
    }
    return injected;
  }
};

// A round of every operation on a new file, and Init on an older file
// (migrated, rows kept) and a newer one (rebuilt: only the key pair stays),
// with each kind of failure, once and persistent: each must inject some.
TEST_F(FailureInjectionTest, EveryFailurePointIsSurvived) {
  int injected = 0;
  for (const bool persistent : {false, true}) {
    for (const auto& [failing, code] : kFailures) {
      SCOPED_TRACE(std::string(sqlite3_errstr(code)) + (persistent ? ", persistent" : ""));
      fault = Fault{failing, code, persistent};
      const int64_t live_before = live_blocks;
      // Creating every table of a new file is where Init allocates most: failing
      // each allocation of the other files too would add only minutes.
      const int count = ThroughEachFault(nullptr, Workload::Round().size()) +
                        (failing == Failing::kAllocation
                             ? 0
                             : ThroughEachFault("1.11.0", 1) + ThroughEachFault("2.0.0", 1));
      EXPECT_GT(count, 0) << "nothing injected: the layer did not fail this kind of call";
      EXPECT_EQ(live_blocks, live_before) << "blocks leaked";
      injected += count;
    }
  }
  std::printf("failures injected and survived: %d\n", injected);
}

// Every sync reaches the disk marked full: through the store's own SQLite
// where it is built so, here through the layer that marks them over the
// faulty one (as a store on the system's SQLite would need on Apple's
// systems, where only a full sync drains the drive's volatile cache).
TEST_F(FailureInjectionTest, EverySyncThroughTheFullSyncLayerIsFull) {
  static sqlite3_vfs* const underlying = sqlite3_vfs_find(nullptr);
  static sqlite3_vfs layer = *underlying;
#if !defined(TEST_STORE_SYNCS_FULLY)
  layer.pNext = nullptr;
  layer.zName = "full syncs";
  layer.szOsFile = database_interface::FullySyncedFileSize(*underlying);
  layer.xOpen = [](sqlite3_vfs* /*layer*/, const char* name, sqlite3_file* file, int flags,
                   int* out) {
    return database_interface::OpenFullySyncedFile(underlying, name, file, flags, out);
  };
  sqlite3_vfs_register(&layer, 1);
#endif
  disk.sync_kinds.clear();
  EXPECT_EQ(OpenStore(path_)->InsertSessionCache("k", "v", 1), 0);
  EXPECT_EQ(disk.sync_kinds, std::set<int>{SQLITE_SYNC_FULL});
  sqlite3_vfs_register(underlying, 1);
  sqlite3_vfs_unregister(&layer);
}

using PowerCutTest = FailureInjectionTest;

// Three rounds of every operation on a new store in a folder of its own, cut
// at every sync. Every state a cut leaves must open sound and current, with
// the call in flight whole or absent; SQLite's default synchronous decides
// what else it may take: under FULL the journal is deleted without a folder
// sync and can come back, undoing the last write acknowledged before the
// call, under EXTRA nothing. Each cut that left a hot journal is opened once
// more without it: some of those must open otherwise, or no cut fell where
// the journal decides what the file holds.
TEST_F(PowerCutTest, LoseNothingAcknowledgedButWhatTheSyncModeAllows) {
#if defined(_WIN32)
  GTEST_SKIP() << "the power-cut model is POSIX's, where a folder is synced; Windows has none";
#endif
  // What a store makes of the files a cut left: the file's state once Init
  // opened it without a line, or else what went wrong.
  const auto after_cut = [&](const Files& files) {
    const std::filesystem::path cut = dir_.File("cut");
    const std::string path = (cut / "store.db").string();
    std::filesystem::remove_all(cut);
    std::filesystem::create_directory(cut);
    for (const auto& [name, content] : files) {
      std::ofstream(cut / name, std::ios::binary) << content;
    }
    log_.Clear();
    const bool opened = NewStore()->Init(path.c_str()) == 0;
    const Lines lines = log_.Lines();
    return opened && lines.empty() ? FileState(path) : "Init: " + (opened ? lines[0] : "-1");
  };
  const std::string folder = dir_.File("disk");
  std::filesystem::create_directory(folder);
  const bool extra = RawDb(dir_.File("probe.db")).Rows("PRAGMA synchronous") == Lines{"3"};
  OpenStore(dir_.File("new.db"));
  std::string before = FileState(dir_.File("new.db")), before_last_write = before;
  int tried = 0, journal_decided = 0;
  auto db = NewStore();
  Workload workload(*db, folder + "/store.db", "cut");
  disk.Follow(folder);
  for (int round = 0; round < 3; ++round) {
    for (const Op op : Workload::Round()) {
      EXPECT_FALSE(Refused(workload.Run(op))) << Name(op);
      const std::string after = FileState(folder + "/store.db");
      Lines allowed = {before, after};
      if (!extra) {
        allowed.push_back(before_last_write);
      }
      for (Files& files : std::exchange(disk.cuts, {})) {
        SCOPED_TRACE(Name(op) + ", cut " + std::to_string(++tried));
        const std::string state = after_cut(files);
        EXPECT_GT(std::count(allowed.begin(), allowed.end(), state), 0) << state;
        const bool hot = files.count("store.db") != 0 && files.erase("store.db-journal") != 0;
        journal_decided += hot && after_cut(files) != state ? 1 : 0;
      }
      before_last_write = after == before ? before_last_write : before;
      before = after;
    }
  }
  disk.Follow("");
  EXPECT_GT(journal_decided, 0) << "no cut fell where the journal decides";
  std::printf("power cuts: %d tried, %d decided by their journal\n", tried, journal_decided);
}

}  // namespace
}  // namespace dbi_test

int main(int argc, char** argv) {
  // Before SQLite starts, the only time it takes another allocator; then the
  // faulty file-system layer becomes the default of every connection.
  sqlite3_config(SQLITE_CONFIG_GETMALLOC, &dbi_test::real_memory);
  sqlite3_mem_methods failing = dbi_test::real_memory;
  failing.xMalloc = dbi_test::Malloc;
  failing.xRealloc = dbi_test::Realloc;
  failing.xFree = dbi_test::Free;
  sqlite3_config(SQLITE_CONFIG_MALLOC, &failing);
  dbi_test::real_vfs = sqlite3_vfs_find(nullptr);
  static sqlite3_vfs faulty = *dbi_test::real_vfs;
  faulty.zName = "faulty";
  faulty.xOpen = dbi_test::Open;
  faulty.xDelete = dbi_test::Delete;
  sqlite3_vfs_register(&faulty, 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
