// SQLite's file calls and its allocations failing, at every point of a round
// of all operations and of opening files that need creating, migrating or
// rebuilding: each failure is answered and logged once, the same call works
// once the fault is gone, no memory leaks, and the file keeps exactly what
// was reported as stored. (A text column read back as a null pointer would
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
// state a cut could leave is opened and checked. The disk can also have a
// volatile cache, as Apple's systems do, where only a full sync drains what
// earlier syncs handed to the drive.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <regex>
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

// A POSIX disk under one folder: what a cut at any moment would leave.
// SQLite's unix layer syncs the folder at the first sync of a journal it
// created, just after the journal itself, and in a delete asked to sync; a
// truncate, like a write, lasts only from the next sync. The tests that cut
// run on one thread.
class PowerCutDisk {
 public:
  enum class Cache {
    kNone,      // a sync makes the file, or the folder, durable
    kVolatile,  // a sync hands it to the drive's cache, which a cut may
                // have written out in part, file by file; a full sync
                // drains the cache, so everything synced before is durable
  };

  // Follows the empty `folder` from now on; "" stops.
  void Follow(const std::string& folder, Cache cache = Cache::kNone) {
    *this = PowerCutDisk();
    folder_ = folder;
    cache_ = cache;
  }

  void Opened(sqlite3_file* file, const char* path, int flags, bool created) {
    const std::string name = NameOf(path);
    if (name.empty()) {
      return;
    }
    std::shared_ptr<Inode>& inode = names_[name];
    if (inode == nullptr) {  // made now, or beside SQLite (the owner-only store file)
      inode = inodes_.emplace_back(std::make_shared<Inode>());
      inode->current = FileContents(folder_ + "/" + name);
    }
    const bool journal = (flags & (SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_SUPER_JOURNAL)) != 0;
    open_[file] = {inode, journal && (flags & SQLITE_OPEN_CREATE) != 0};
    if (created) {
      Cut();
    }
  }
  void Closed(sqlite3_file* file) { open_.erase(file); }
  void Wrote(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    if (Inode* inode = InodeOf(file)) {
      inode->unsynced.emplace_back(
          static_cast<size_t>(offset),
          std::string(static_cast<const char*>(data), static_cast<size_t>(amount)));
      inode->current = Apply(inode->unsynced.back(), inode->current);
    }
  }
  void Truncated(sqlite3_file* file, sqlite3_int64 size) {
    if (Inode* inode = InodeOf(file)) {
      inode->current.resize(static_cast<size_t>(size));
    }
  }
  // Just before the sync, the disk may hold any part of the file's unsynced
  // writes: every other one, or all but the last, are cut too.
  void Synced(sqlite3_file* file, int flags) {
    Inode* inode = InodeOf(file);
    if (inode == nullptr) {
      return;
    }
    const size_t writes = inode->unsynced.size();
    const bool in_folder = std::any_of(durable_.begin(), durable_.end(), [&](const auto& entry) {
      return entry.second.get() == inode;
    });
    if (writes >= 2 && in_folder) {
      const auto torn = [&](const auto& kept) {
        std::string content = inode->synced;
        for (size_t i = 0; i < writes; ++i) {
          content = kept(i) ? Apply(inode->unsynced[i], content) : content;
        }
        return content;
      };
      Cut(inode, torn([](size_t i) { return i % 2 == 0; }));
      Cut(inode, torn([&](size_t i) { return i + 1 < writes; }));
    }
    inode->synced = inode->current;
    inode->unsynced.clear();
    if (cache_ == Cache::kNone || (flags & 0x0F) == SQLITE_SYNC_FULL) {
      full_syncs_ += cache_ == Cache::kNone ? 0 : 1;
      for (const auto& each : inodes_) {
        each->durable = each->synced;
      }
      durable_ = handed_;
    }
    if (std::exchange(open_[file].syncs_folder, false)) {
      SyncFolder();
    }
    Cut();
  }
  void Deleted(const char* path, bool sync_folder) {
    const std::string name = NameOf(path);
    if (!name.empty()) {
      names_.erase(name);
      if (sync_folder) {
        SyncFolder();
      }
      Cut();
    }
  }

  // The states cut since the last call, oldest first.
  std::vector<Files> TakeCuts() { return std::exchange(cuts_, {}); }
  // How many syncs a volatile cache was asked to drain since Follow.
  int FullSyncs() const { return full_syncs_; }

 private:
  using Write = std::pair<size_t, std::string>;  // offset, bytes
  struct Inode {
    std::string durable;          // what a cut leaves
    std::string synced;           // and what it may leave from the cache
    std::string current;          // what the file holds
    std::vector<Write> unsynced;  // since the last sync, in order
  };
  using Folder = std::map<std::string, std::shared_ptr<Inode>>;
  struct OpenFile {
    std::shared_ptr<Inode> inode;
    bool syncs_folder = false;  // a journal created here: its first sync syncs the folder
  };

  static std::string Apply(const Write& write, std::string content) {
    const auto& [at, bytes] = write;
    content.resize(std::max(content.size(), at + bytes.size()));
    return content.replace(at, bytes.size(), bytes);
  }
  // The name of a file in the followed folder, or "".
  std::string NameOf(const char* path) const {
    const std::filesystem::path file(path == nullptr ? "" : path);
    return !folder_.empty() && file.parent_path() == folder_ ? file.filename().string() : "";
  }
  Inode* InodeOf(sqlite3_file* file) {
    const auto it = open_.find(file);
    return it == open_.end() ? nullptr : it->second.inode.get();
  }
  void SyncFolder() {
    handed_ = names_;
    durable_ = cache_ == Cache::kNone ? handed_ : durable_;
  }
  // The files a cut now leaves, with `torn` in place of what `inode` synced.
  // From a volatile cache the drive may have written out the folder or not,
  // and each file's synced content or not, in every combination.
  void Cut(const Inode* inode = nullptr, const std::string& torn = "") {
    std::set<Files> states;
    for (const Folder* folder : {&durable_, &handed_}) {
      for (size_t written = 0; written < (size_t{1} << folder->size()); ++written) {
        Files state;
        size_t bit = 0;
        for (const auto& [name, file] : *folder) {
          const bool from_cache = ((written >> bit++) & 1) != 0;
          state[name] = file.get() == inode ? torn : from_cache ? file->synced : file->durable;
        }
        states.insert(std::move(state));
      }
    }
    cuts_.insert(cuts_.end(), states.begin(), states.end());
  }

  std::string folder_;
  Cache cache_ = Cache::kNone;
  int full_syncs_ = 0;
  std::vector<std::shared_ptr<Inode>> inodes_;  // every file seen since Follow
  Folder names_;                                // the folder now
  Folder handed_;                               // as last synced
  Folder durable_;                              // as a cut leaves it
  std::map<sqlite3_file*, OpenFile> open_;
  std::vector<Files> cuts_;
} disk;

sqlite3_vfs* real_vfs = nullptr;
// The real layer gives a database file and a journal method tables of their
// own (a journal takes no locks): each gets a faulty copy, by the real one.
std::map<const sqlite3_io_methods*, sqlite3_io_methods> faulty_tables;

const sqlite3_io_methods& Real(const sqlite3_file* file) {
  for (const auto& [real, faulty] : faulty_tables) {
    if (&faulty == file->pMethods) {
      return *real;
    }
  }
  std::abort();
}

// The real layer's `method`, unless the armed fault fails calls of `kCall`;
// the power-cut disk then follows what succeeded.
template <Failing kCall, auto method, auto follow, typename... Args>
int Faulty(sqlite3_file* file, Args... args) {
  int rc = fault.Injected(kCall);
  rc = rc != SQLITE_OK ? rc : (Real(file).*method)(file, args...);
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
  const bool existed = name != nullptr && std::filesystem::exists(name);
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
    faulty.xWrite = Faulty<Failing::kWrite, &sqlite3_io_methods::xWrite, &PowerCutDisk::Wrote>;
    faulty.xSync = Faulty<Failing::kSync, &sqlite3_io_methods::xSync, &PowerCutDisk::Synced>;
    faulty.xTruncate =
        Faulty<Failing::kNothing, &sqlite3_io_methods::xTruncate, &PowerCutDisk::Truncated>;
    faulty.xClose = Faulty<Failing::kNothing, &sqlite3_io_methods::xClose, &PowerCutDisk::Closed>;
  }
  file->pMethods = &table->second;
  disk.Opened(file, name, flags, !existed);
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
  static const std::string kSteps =
      "(CreateTable|InitStmt|\\w+DbVersion|VersionChangeDb|ReCreateTable|CheckAndUpdateDb)";
  static const std::regex kStepLine("\\[database\\]" + kSteps + " failed");
  for (size_t i = 1; i < lines.size(); ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], kStepLine)) << lines[i];
  }
  // The step the SQLite call was made in reports itself next, but for
  // CreateTable, which its caller reports (Init, or ReCreateTable).
  std::smatch step;
  if (std::regex_search(lines[0], step, std::regex("CDatabase::" + kSteps + " ")) &&
      step[1] != "CreateTable") {
    EXPECT_EQ(lines.size() < 2 ? "" : lines[1], "[database]" + step[1].str() + " failed");
  }
}

class FailureInjectionTest : public StoreTest {
 protected:
  // Calls `run` with each kind of failure, once and persistent, and returns
  // the failures it injected in all; each run must have injected some.
  template <typename Run>
  static int ForEachKindOfFailure(const Run& run) {
    int injected = 0;
    for (const bool persistent : {false, true}) {
      for (const auto& [failing, code] : kFailures) {
        SCOPED_TRACE(std::string(sqlite3_errstr(code)) + (persistent ? ", persistent" : ""));
        fault = Fault{failing, code, persistent};
        const int64_t live_before = live_blocks;
        const int count = run();
        EXPECT_GT(count, 0) << "nothing injected: the layer did not fail this kind of call";
        EXPECT_EQ(live_blocks, live_before) << "blocks leaked";
        injected += count;
      }
    }
    return injected;
  }

  // Tries `attempt` with the fault armed at its 1st, 2nd, ... point, each
  // try after `prepare`, until one injects none, and returns how many did. A
  // try must succeed, or fail with exactly `op`'s failure lines; `after` is
  // told which, once the fault is disarmed, and must log nothing.
  template <typename Prepare, typename Attempt, typename After>
  int ThroughEachFault(Op op, const Prepare& prepare, const Attempt& attempt, const After& after) {
    for (int nth = 1;; ++nth) {
      SCOPED_TRACE(Name(op) + " failing at " + std::to_string(nth));
      prepare(nth);
      log_.Clear();
      fault.remaining = nth;
      fault.injected = false;
      const bool succeeded = attempt();
      fault.remaining = 0;
      if (!succeeded) {
        EXPECT_TRUE(fault.injected) << "failed with no fault injected";
        ExpectFailureLines(op, log_.Lines(), sqlite3_errstr(fault.code));
        log_.Clear();
      }
      after(succeeded);
      EXPECT_EQ(log_.Lines(), Lines{});
      if (!fault.injected) {
        return nth - 1;
      }
    }
  }

  // A round of every operation on a new store, each call through each
  // failure point in turn; the file keeps exactly what the model holds.
  int RunRoundThroughFaults() {
    std::filesystem::remove(path_);
    Model model;
    auto db = NewStore();
    Workload workload(*db, path_, model, "faults");
    int injected = 0;
    for (const Op op : Workload::Round()) {
      // Init and Close are tried again from the state they start from.
      const auto prepare = [&](int nth) {
        EXPECT_TRUE(nth == 1 || (op != kInit && op != kClose) ||
                    workload.Run(op == kInit ? kClose : kInit));
      };
      injected += ThroughEachFault(
          op, prepare, [&] { return workload.Run(op); },
          [&](bool succeeded) {
            EXPECT_TRUE(succeeded || workload.Run(op))
                << "failed again after the fault was disarmed";
          });
      ExpectFileMatches(path_, model);  // nothing half-written
    }
    return injected;
  }

  // The same for Init alone on a copy of `original` ("" for no file): a
  // failed Init leaves the instance closed and no empty file of its own
  // (Windows gives no inode to know that file by, and keeps it), and a later
  // Init opens the file at the current version with RawDb::Counts() `counts`.
  // NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a file, then what it holds
  int OpenThroughFaults(const std::string& original, const std::string& counts) {
    std::shared_ptr<IDatabaseInterface> db;
    const auto prepare = [&](int) {
      std::filesystem::remove(path_);
      if (!original.empty()) {
        std::filesystem::copy_file(original, path_);
      }
      db = NewStore();
    };
    return ThroughEachFault(
        kInit, prepare, [&] { return Answered(db->Init(path_.c_str()), 0); },
        [&](bool succeeded) {
          if (!succeeded) {
            ExpectEveryRecordOperationRefused(*db);
#if !defined(_WIN32)
            EXPECT_FALSE(std::filesystem::exists(path_) && std::filesystem::file_size(path_) == 0);
#endif
            EXPECT_EQ(db->Init(path_.c_str()), 0);
          }
          db->Close();
          RawDb raw(path_);
          EXPECT_EQ(raw.Rows("SELECT version FROM db_version"), Lines{kCurrentVersion});
          EXPECT_EQ(raw.Counts(), counts);
        });
  }
};

TEST_F(FailureInjectionTest, EveryFailurePointOfARoundIsSurvived) {
  const int injected = ForEachKindOfFailure([&] { return RunRoundThroughFaults(); });
  std::printf("failures injected and survived in rounds: %d\n", injected);
}

TEST_F(FailureInjectionTest, EveryFailurePointOfOpeningIsSurvived) {
  const std::string older = dir_.File("older.db"), newer = dir_.File("newer.db");
  CopyStoreFile(older, "1.11.0");  // migrated, rows kept
  CopyStoreFile(newer, "2.0.0");   // rebuilt: only the key pair stays
  const int injected = ForEachKindOfFailure([&] {
    // Creating every table of a new file is where Init allocates most: failing
    // each allocation of the other files too would add only minutes.
    return OpenThroughFaults("", "0|0|0|0|0") +
           (fault.failing == Failing::kAllocation
                ? 0
                : OpenThroughFaults(DBI_TEST_STORE_FILE, "1|1|1|2|1") +
                      OpenThroughFaults(older, "1|1|1|2|1") +
                      OpenThroughFaults(newer, "0|0|0|0|1"));
  });
  std::printf("failures injected and survived in Init: %d\n", injected);
}

// A layer over the default of the moment whose every sync is a full one,
// the default while it lives: what the store's own SQLite is built with on
// Apple's systems, for a store on the system's SQLite here. The default it
// restores may be the store's own layer, which a bundled SQLite puts over
// the faulty one at the first Init.
class FullSyncsByDefault {
 public:
  FullSyncsByDefault() : layer_(*underlying_) {
    layer_.pNext = nullptr;
    layer_.zName = "full syncs";
    layer_.pAppData = underlying_;
    layer_.szOsFile = database_interface::FullySyncedFileSize(*underlying_);
    layer_.xOpen = [](sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags,
                      int* out_flags) {
      return database_interface::OpenFullySyncedFile(static_cast<sqlite3_vfs*>(vfs->pAppData), name,
                                                     file, flags, out_flags);
    };
    sqlite3_vfs_register(&layer_, 1);
  }
  ~FullSyncsByDefault() {
    sqlite3_vfs_register(underlying_, 1);
    sqlite3_vfs_unregister(&layer_);
  }
  FullSyncsByDefault(const FullSyncsByDefault&) = delete;
  FullSyncsByDefault& operator=(const FullSyncsByDefault&) = delete;

 private:
  sqlite3_vfs* underlying_ = sqlite3_vfs_find(nullptr);
  sqlite3_vfs layer_;
};

#if defined(DBI_TEST_STORE_SYNCS_FULLY)
constexpr bool kStoreSyncsFully = true;
#else
constexpr bool kStoreSyncsFully = false;
#endif

class PowerCutTest : public FailureInjectionTest {
 protected:
  void SetUp() override {
#if defined(_WIN32)
    GTEST_SKIP() << "the power-cut model is POSIX's, where a folder is synced; Windows has none";
#endif
  }

  // What a store makes of the files a cut left: "" when Init opens them at
  // the current version, without a line, whole, holding the rows of one of
  // `allowed`; otherwise what is wrong.
  std::string AfterCut(const Files& files, const Lines& allowed) {
    const std::string folder = dir_.File("cut"), path = folder + "/store.db";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directory(folder);
    for (const auto& [name, content] : files) {
      std::ofstream(std::filesystem::path(folder) / name, std::ios::binary) << content;
    }
    log_.Clear();
    if (NewStore()->Init(path.c_str()) != 0 || !log_.Lines().empty()) {
      return "Init: " + (log_.Lines().empty() ? "-1" : log_.Lines()[0]);
    }
    RawDb raw(path);
    const Lines checks = raw.Rows(
        "SELECT (SELECT group_concat(integrity_check) FROM pragma_integrity_check), (SELECT "
        "count(*) FROM pragma_foreign_key_check), (SELECT group_concat(version) FROM db_version)");
    if (checks != Lines{std::string("ok|0|") + kCurrentVersion}) {
      return "integrity, foreign key faults, version: " + (checks.empty() ? "?" : checks[0]);
    }
    const std::string stored = StoredRows(raw, false);
    return std::count(allowed.begin(), allowed.end(), stored) != 0 ? "" : "rows: " + stored;
  }

  struct Cuts {
    int tried = 0;
    int damaged = 0;          // left a state AfterCut finds wrong
    int without_journal = 0;  // left a hot journal, and damage without it
    int full_syncs = 0;       // that the volatile cache was asked to drain
  };

  // A round of every operation, three times, on a new store in a folder of
  // its own on `cache`, cut at every sync, delete and file-creating open,
  // and torn before each sync. A cut may leave the operation in flight
  // whole or absent; SQLite's default synchronous decides what else it may
  // take: under FULL the journal is deleted without a folder sync and can
  // come back, undoing the last write acknowledged before the operation,
  // under EXTRA nothing. SQLite syncs a folder with a plain sync even where
  // it syncs files fully, so on a volatile cache the journal that EXTRA
  // deletes with a folder sync can still come back, as under FULL. Every
  // state is opened, and where it left a hot journal, opened once more
  // without it, to show that the checks see damage.
  Cuts CutRounds(const std::string& name, PowerCutDisk::Cache cache, bool must_be_whole) {
    const std::string folder = dir_.File(name);
    std::filesystem::create_directory(folder);
    const bool extra = RawDb(dir_.File("probe.db")).Rows("PRAGMA synchronous") == Lines{"3"};
    Cuts cuts;
    Model model;
    auto db = NewStore();
    Workload workload(*db, folder + "/store.db", model, "cut");
    disk.Follow(folder, cache);
    std::string before_last_write = ExpectedRows(model);
    for (int round = 0; round < 3; ++round) {
      for (const Op op : Workload::Round()) {
        const std::string before = ExpectedRows(model);
        EXPECT_TRUE(workload.Run(op)) << Name(op);
        const std::string after = ExpectedRows(model);
        Lines allowed = {before, after};
        if (!extra || cache == PowerCutDisk::Cache::kVolatile) {
          allowed.push_back(before_last_write);
        }
        for (Files& files : disk.TakeCuts()) {
          SCOPED_TRACE(name + ", " + Name(op) + ", cut " + std::to_string(++cuts.tried));
          const std::string damage = AfterCut(files, allowed);
          EXPECT_TRUE(damage.empty() || !must_be_whole) << damage;
          cuts.damaged += damage.empty() ? 0 : 1;
          const bool hot = files.count("store.db") != 0 && files.erase("store.db-journal") != 0;
          cuts.without_journal += hot && !AfterCut(files, allowed).empty() ? 1 : 0;
        }
        before_last_write = after == before ? before_last_write : before;
      }
    }
    db->Close();
    cuts.full_syncs = disk.FullSyncs();
    disk.Follow("");
    return cuts;
  }
};

// On a disk without a volatile cache every cut is whole, within the window
// above. On a drive with a volatile cache, the syncs SQLite makes by default
// leave damaged or lost states; with every sync a full one, none beyond it.
TEST_F(PowerCutTest, LoseNothingAcknowledgedButWhatTheSyncModeAllows) {
  using Cache = PowerCutDisk::Cache;
  struct Row {
    const char* disk;
    Cache cache;
    bool full_syncs;  // every sync made a full one, beside the store
  };
  for (const Row& row :
       {Row{"plain disk", Cache::kNone, false}, Row{"volatile cache", Cache::kVolatile, false},
        Row{"volatile cache, full syncs", Cache::kVolatile, true}}) {
    SCOPED_TRACE(row.disk);
    std::optional<FullSyncsByDefault> full_syncs;
    if (row.full_syncs) {
      full_syncs.emplace();
    }
    const bool drains = row.cache == Cache::kVolatile && (row.full_syncs || kStoreSyncsFully);
    const bool whole = row.cache == Cache::kNone || drains;
    const Cuts cuts = CutRounds(row.disk, row.cache, whole);
    EXPECT_EQ(cuts.damaged > 0, !whole) << "damage where the disk allows it";
    EXPECT_EQ(cuts.full_syncs > 0, drains);
    EXPECT_GT(cuts.without_journal, 0) << "no cut without its journal was seen as damage";
    std::printf("power cuts on a %s: %d tried, %d damaged, %d damaged without their journal\n",
                row.disk, cuts.tried, cuts.damaged, cuts.without_journal);
  }
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
