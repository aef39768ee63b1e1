// Opening and closing a store: the connection states, what every operation
// answers when the store is not open, and what Init does with each kind of
// file a host may hand it: a new or empty file gets the tables and the
// current version (a new one is the owner's alone, whatever the umask), and
// an older, newer or current version gets what the README's table of
// versions says, its rows checked one by one. A file
// that holds no store of ours, or whose version cannot be read, is refused
// with its lines and left byte for byte as it was, and a refused path leaves
// no file. One instance opens every file in turn, so the table also shows
// that a refusal leaves it closed, able to open the next file, and holding
// no descriptor.

#include <gtest/gtest.h>
#include <sqlite3.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "files/open_flags.h"
#include "files/sqlite_guard.h"
#include "support/test_db.h"

namespace dbi_test {
namespace {

class LifecycleTest : public StoreTest {};

struct ThrowingSink final : base::IBaseLogInterface {
  void WriteLog(const int32_t& /*level*/, const int32_t& /*tid*/, const char* format,
                ...) override {
    throw std::runtime_error(format);
  }
};

TEST_F(LifecycleTest, InitAndCloseTakeTurnsAndOperationsRunOnlyInBetween) {
  auto db = NewStore();
  auto other = NewStore();
  EXPECT_EQ(db->Init(nullptr), -1);
  db->Close();  // never opened: nothing happens
  ExpectEveryRecordOperationRefused(*db);

  ASSERT_EQ(db->Init(path_.c_str()), 0);
  EXPECT_EQ(db->Init(dir_.File("other.db").c_str()), -1);
  ExpectEveryRecordOperationRefused(*other);  // opening one opens no other
  ASSERT_EQ(db->InsertSessionCache("k", "v", 10), 0);

  db->Close();
  db->Close();
  ExpectEveryRecordOperationRefused(*db);
  EXPECT_TRUE(log_.Lines().empty());
}

// A sink that throws while Init reports a failure, with the connection open
// and part of the statements prepared: the exception reaches the caller and
// the instance is closed again, not stuck refusing every later Init.
TEST_F(LifecycleTest, AnExceptionOutOfAFailingInitLeavesTheInstanceClosedAndReopenable) {
  RawDb(path_).Exec("CREATE TABLE instance_info (id INTEGER PRIMARY KEY)");
  auto db = NewStore();
  base::IBaseLogInterface::SetLogInstance(std::make_shared<ThrowingSink>());
  EXPECT_THROW(db->Init(path_.c_str()), std::runtime_error);
  base::IBaseLogInterface::SetLogInstance(nullptr);
  ASSERT_EQ(db->Init(dir_.File("good.db").c_str()), 0);
  EXPECT_EQ(db->InsertSessionCache("k", "v", 10), 0);
}

// A file's owner, group and other permissions, or -1 when there is no file;
// always 0600 where the system has no such modes.
int ModeOf(const std::string& path) {
#if defined(_WIN32)
  (void)path;
  return 0600;
#else
  struct stat file = {};
  return stat(path.c_str(), &file) == 0 ? static_cast<int>(file.st_mode & 0777) : -1;
#endif
}

// The file a chain of symbolic links at `path` ends in, followed one link at
// a time as SQLite follows them: the system stops at 40 in one lookup.
std::string FinalFile(std::filesystem::path path) {
  std::error_code error;
  for (int links = 0; links < 1000 && std::filesystem::is_symlink(path, error); ++links) {
    path = path.parent_path() / std::filesystem::read_symlink(path, error);
  }
  return path.string();
}

// Writes the file to open, given the test's store path, and returns the
// path to open (another one for a folder).
using MakeFile = std::function<std::string(const std::string& path)>;

struct Opening {
  std::string file;  // what the path holds
  MakeFile make;
  int32_t result;
  Lines lines;
  // After a successful Init: db_version's rows as "id:version", then Counts().
  std::string after = {};
  // Other files that Init must leave as they were.
  std::vector<std::string> untouched = {};
  // A new file is its owner's alone: made so for a plain path, and by
  // SQLite's own rules for a URI.
  bool owner_only = true;
};

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a version, then what to run after
MakeFile Versioned(const std::string& version, const std::string& then_sql = "") {
  return [=](const std::string& path) {
    CopyStoreFile(path, version);
    RawDb(path).Exec(then_sql);
    return path;
  };
}

MakeFile Bytes(const std::string& bytes) {
  return [=](const std::string& path) {
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  };
}

// A name taken as it is: nothing made for it.
MakeFile Named(const std::string& path) {
  return [=](const std::string&) { return path; };
}

// A folder where the file should be.
MakeFile Folder(const std::string& path) {
  return [=](const std::string&) {
    std::filesystem::create_directory(path);
    return path;
  };
}

#if !defined(_WIN32)
// Whether SQLite itself opens `path` with the store's flags; the file it
// made, if any, goes again.
bool SqliteOpens(const std::string& path) {
  sqlite3* db = nullptr;
  const bool opened =
      sqlite3_open_v2(path.c_str(), &db, database_interface::kOpenFlags, nullptr) == SQLITE_OK;
  (void)sqlite3_close(db);
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  return opened;
}

// A chain of 150 symbolic links in the new folder `folder`, each to the next
// by a relative name, the last to no file; returns the first.
std::string Chain(const std::string& folder) {
  std::filesystem::create_directory(folder);
  for (int i = 0; i < 150; ++i) {
    std::filesystem::create_symlink("l" + std::to_string(i + 1), folder + "/l" + std::to_string(i));
  }
  return folder + "/l0";
}

// Makes a FIFO at `path` and returns the path: opening a FIFO for reading
// waits for a writer.
std::string Fifo(const std::string& path) {
  EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
  return path;
}
#endif

// A store with the journal of a write that was cut off beside it, at
// `path`: the files are copied while the write is open, its pages already
// spilled into the file by a one-page cache. With `super_journal`, the
// journal ends naming that file as its super-journal.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): where, then what it names
MakeFile HotJournal(const std::string& path, const std::string& super_journal = "") {
  return [=](const std::string&) {
    const std::string source = path + ".source";
    CopyStoreFile(source, kCurrentVersion);
    RawDb writer(source);
    writer.Exec(
        "PRAGMA cache_size = 1; BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
        "FROM n LIMIT 300) INSERT INTO session_cache (session_key, session_value, expire_time) "
        "SELECT 'hot' || i, randomblob(1000), 0 FROM n");
    std::filesystem::copy_file(source, path);
    std::filesystem::copy_file(source + "-journal", path + "-journal");
    writer.Exec("ROLLBACK");
    if (!super_journal.empty()) {
      // The name's page number, the name, its length and byte sum, the magic.
      const auto be32 = [](uint32_t value) {
        return std::string{static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
      };
      const uint32_t sum = std::accumulate(
          super_journal.begin(), super_journal.end(), uint32_t{0},
          [](uint32_t total, char c) { return total + static_cast<unsigned char>(c); });
      std::ofstream(path + "-journal", std::ios::binary | std::ios::app)
          << be32(1) << super_journal << be32(static_cast<uint32_t>(super_journal.size()))
          << be32(sum) << std::string("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8);
    }
    return path;
  };
}

Lines Refusal(const std::string& line, const std::string& step) {
  return {"[database]" + line, "[database]" + step + " failed"};
}

// A row for a name that Init opens as a new store when `opens`, or else
// refuses at SQLite's open of `path`.
Opening NewOrRefused(std::string file, MakeFile make, bool opens, const std::string& path = "") {
  const Lines refused = {"[database]Open sqlite3 file[" + path +
                         "] failed:unable to open database file"};
  return {std::move(file), std::move(make), opens ? 0 : -1, opens ? Lines{} : refused,
          "1:" + std::string(kCurrentVersion) + " 0|0|0|0|0"};
}

std::vector<Opening> Openings(const TempDir& dir) {
  const std::string now = kCurrentVersion, kept = " 1|1|1|2|1";
  const std::string create =
      "database_interface::CDatabase::CreateTable sqlite3_exec with sql[CREATE "
      "TABLE IF NOT EXISTS db_version(id INTEGER PRIMARY KEY AUTOINCREMENT, "
      "version VARCHAR(64) NOT NULL)] failed:";
  std::string deep_sum = "1";
  while (deep_sum.size() < 600000) {
    deep_sum += "+1";
  }
  const std::string folder_path = dir.File("a_folder"), missing = dir.File("missing/store.db");
  std::vector<Opening> openings = {
      NewOrRefused("no file", MakeFile([](const std::string& path) { return path; }), true),
      NewOrRefused("an empty file", Bytes(""), true),
      {"no version row", Versioned("1.0.0", "DELETE FROM db_version"), 0, {}, "2:" + now + kept},
      {"several version rows, the first older",
       Versioned("1.12.0", "INSERT INTO db_version (version) VALUES ('9.9.9'), ('junk')"),
       0,
       {},
       "1:" + now + ",2:9.9.9,3:junk" + kept},
      {"bytes of no database", Bytes(std::string(8192, 'x')), -1,
       Refusal(create + "file is not a database", "CreateTable")},
      // A store cut short: its first page (the schema) is there, its tables not.
      {"a truncated store", Bytes(FileContents(TEST_STORE_FILE).substr(0, 4096)), -1,
       Refusal(create + "database disk image is malformed", "CreateTable")},
      // Loading a schema recurses once per level of an expression: SQLite's
      // depth limit must refuse this before a small stack runs out.
      {"a CHECK 300,000 levels deep",
       Versioned(now,
                 "CREATE TABLE deep(a); PRAGMA writable_schema = ON; UPDATE sqlite_master "
                 "SET sql = 'CREATE TABLE deep(a CHECK(" +
                     deep_sum + "))' WHERE name = 'deep'"),
       -1, Refusal(create + "database disk image is malformed", "CreateTable")},
      {"our tables' names with other columns",
       Versioned("", "DROP TABLE db_version; CREATE TABLE db_version(name, value)"), -1,
       Refusal("prepare sql[SELECT id, version from db_version LIMIT 1] failed:SQL logic error",
               "InitStmt")},
      // Record statement 9 is the first that cannot compile; 10 would fail too
      // but is never prepared.
      {"an instance_info without protocol_type",
       Versioned(now,
                 "DROP TABLE instance_info; CREATE TABLE instance_info (id INTEGER PRIMARY "
                 "KEY, instance_no TEXT, session_id TEXT, business_type int, start_recode_id "
                 "INTEGER, create_time BIGINT)"),
       -1,
       Refusal("prepare sql[INSERT OR REPLACE INTO instance_info  (instance_no, session_id, "
               "business_type, protocol_type, start_recode_id, create_time) VALUES (:instance_no, "
               ":session_id, :business_type, :protocol_type, :start_recode_id, :create_time) "
               "RETURNING id] failed:SQL logic error",
               "InitStmt")},
      NewOrRefused("a folder", Folder(folder_path), false, folder_path),
      NewOrRefused("a missing folder", Named(missing), false, missing),
  };
#if !defined(_WIN32)
  // SQLite follows the chain, each target relative to its link's folder.
  openings.push_back(NewOrRefused(
      "a dangling symbolic link",
      [&dir](const std::string&) {
        std::filesystem::create_directory(dir.File("links"));
        std::filesystem::create_symlink("hop.db", dir.File("links/store.db"));
        std::filesystem::create_symlink("linked.db", dir.File("links/hop.db"));
        return dir.File("links/store.db");
      },
      true));
  // Read as a URI (SQLite's build or its host may turn URIs on), this names
  // uri.db in the current folder, the test's; read as a path, it is a link
  // by that whole text to the same file. Either way SQLite's to make.
  Opening uri = NewOrRefused(
      "a file: name",
      [](const std::string&) {
        std::string name = "file:ur%69.db?mode=rwc";
        std::filesystem::create_symlink("uri.db", name);
        return name;
      },
      true);
  uri.owner_only = false;
  openings.push_back(std::move(uri));
  // A name whose reading differs between SQLite versions (3.35 follows 100
  // links, 3.40 200): whatever the SQLite the store runs on opens, Init
  // opens, and owner-only.
  const std::string chain = Chain(dir.File("chain"));
  openings.push_back(NewOrRefused("a chain of 150 symbolic links", Named(chain),
                                  SqliteOpens(Chain(dir.File("chain-probe"))), chain));
  const std::string fifo = dir.File("fifo.db"), journaled = dir.File("journaled.db");
  openings.push_back(NewOrRefused(
      "a FIFO", [=](const std::string&) { return Fifo(fifo); }, false, fifo));
  // SQLite would open the journal to see whether it is hot.
  openings.push_back(NewOrRefused(
      "a store with a FIFO for its journal",
      [=](const std::string&) {
        CopyStoreFile(journaled, now);
        Fifo(journaled + "-journal");
        return std::string(journaled);  // a copy: the capture is const
      },
      false, journaled));
#endif
  // A write cut off is rolled back; but a journal naming a super-journal
  // would have SQLite delete that file too: here one of the user's. One
  // that SQLite named is rolled back with its super-journal, as SQLite does.
  const std::string hot = dir.File("hot.db"), planted = dir.File("planted.db");
  const std::string victim = dir.File("victim"), host = dir.File("host.db-mj0A1B2C9D3");
  std::ofstream(victim) << "not SQLite's to delete";
  std::ofstream(host) << "host.db-journal";
  openings.push_back({"a store with a hot journal", HotJournal(hot), 0, {}, "1:" + now + kept});
  openings.push_back({"a store whose journal names SQLite's super-journal",
                      HotJournal(dir.File("hosted.db"), host),
                      0,
                      {},
                      "1:" + now + kept});
  Opening super_journal = NewOrRefused("a store whose journal names another file",
                                       HotJournal(planted, victim), false, planted);
  super_journal.untouched = {planted + "-journal", victim};
  openings.push_back(std::move(super_journal));
  // Rebuilt: the tables are dropped, so their ids start again from 1.
  const std::string migrated = "1:" + now + kept, rebuilt = "1:" + now + " 0|0|0|0|1";
  for (const std::string older : {"1.12.0", "1.11.9", "0.9.0", "1.12.5", "1.9.0", "-1.0.0"}) {
    // cppcheck-suppress useStlAlgorithm ; rows added one by one read plainer
    openings.push_back({"version " + older, Versioned(older), 0, {}, migrated});
  }
  for (const std::string newer : {"1.13.1", "2.0.0", "1.14.0"}) {
    // cppcheck-suppress useStlAlgorithm ; rows added one by one read plainer
    openings.push_back({"version " + newer, Versioned(newer), 0, {}, rebuilt});
  }
  // NOLINTBEGIN(performance-inefficient-string-concatenation): a table built once
  for (const std::string same : {"1.13.0", "1.13.0.", " 1.13.0", "1.13.0abc", "+1.13.0"}) {
    // cppcheck-suppress useStlAlgorithm ; rows added one by one read plainer
    openings.push_back({"version " + same, Versioned(same), 0, {}, "1:" + same + kept});
  }
  for (const std::string bad : {"1.13", "1.13.0.0", "", "1..0", "a.b.c", "1.99999999999.0"}) {
    // cppcheck-suppress useStlAlgorithm ; rows added one by one read plainer
    openings.push_back(
        {"version " + bad,
         Versioned(bad),
         -1,
         {"[database]database_interface::CDatabase::VersionCompare VersionSplit with version[" +
              bad + "] failed",
          "[database]VersionCompare with[" + bad + "][" + now + "] failed",
          "[database]CheckAndUpdateDb failed"}});
  }
  // NOLINTEND(performance-inefficient-string-concatenation)
  return openings;
}

TEST_F(LifecycleTest, EachKindOfFileIsOpenedOrRefusedAsItMustBe) {
  const std::string schema_sql = "SELECT sql FROM sqlite_master ORDER BY name";
  const Lines schema = RawDb(TEST_STORE_FILE).Rows(schema_sql);
  auto db = NewStore();
  const int64_t descriptors = OpenDescriptorCount();
#if !defined(_WIN32)
  // The store holds a secret: another local user must not read a new file,
  // whatever umask the host runs under. A file that exists keeps its mode.
  const mode_t host_umask = umask(022);
  // Relative names are the test folder's.
  const std::filesystem::path host_folder = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
#endif
  for (const Opening& opening : Openings(dir_)) {
    SCOPED_TRACE(opening.file);
    std::filesystem::remove(path_);
    const std::string path = opening.make(path_), file = FinalFile(path),
                      before = FileContents(file);
    const bool existed = std::filesystem::exists(file);
    const int mode = ModeOf(file);
    std::vector<std::string> untouched(opening.untouched.size());
    std::transform(opening.untouched.begin(), opening.untouched.end(), untouched.begin(),
                   FileContents);
    log_.Clear();
    EXPECT_EQ(db->Init(path.c_str()), opening.result);
    EXPECT_EQ(log_.Lines(), opening.lines);
    if (opening.result != 0) {
      ExpectEveryRecordOperationRefused(*db);
      EXPECT_EQ(FileContents(file), before);
      EXPECT_EQ(std::filesystem::exists(file), existed);
      for (size_t i = 0; i < untouched.size(); ++i) {
        EXPECT_EQ(FileContents(opening.untouched[i]), untouched[i]) << opening.untouched[i];
      }
      continue;
    }
    db->Close();
    if (opening.owner_only) {
      EXPECT_EQ(ModeOf(file), existed ? mode : 0600);
    }
    RawDb raw(path);
    EXPECT_EQ(raw.Rows("SELECT group_concat(row) FROM (SELECT id || ':' || version AS row FROM "
                       "db_version ORDER BY id)")[0] +
                  " " + raw.Counts(),
              opening.after);
    EXPECT_EQ(raw.Rows(schema_sql), schema);
    // Ids go on after the rows kept, or start again where none are.
    EXPECT_EQ(raw.Rows("SELECT (SELECT count(*) FROM start_recode) = "
                       "ifnull((SELECT seq FROM sqlite_sequence WHERE name = 'start_recode'), 0)"),
              Lines{"1"});
  }
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
#if !defined(_WIN32)
  umask(host_umask);
  std::filesystem::current_path(host_folder);
#endif
}

#if !defined(_WIN32)
// A journal naming another file as its super-journal, planted while the
// store is open, after Init's look: where the store's SQLite is its own (the
// bundled copy, which Init guards; guarded here by hand) the call fails and
// leaves both files, since the rollback would delete the one it names.
TEST_F(LifecycleTest, AJournalPlantedWhileTheStoreIsOpenDeletesNoOtherFile) {
  ASSERT_TRUE(database_interface::GuardSqliteFiles(database_interface::FileSystems::kAny));
  const std::string victim = dir_.File("victim"), journal = path_ + "-journal";
  std::ofstream(victim) << "not SQLite's to delete";
  HotJournal(path_, victim)(path_);
  std::filesystem::rename(journal, journal + ".aside");
  auto db = OpenStore(path_);
  std::filesystem::rename(journal + ".aside", journal);
  std::string value;
  EXPECT_EQ(db->SelectSessionCache("k", 0, value), -1);
  EXPECT_EQ(WithoutSql(log_.Lines()),
            Lines{"[database]database_interface::CDatabase::SelectSessionCache sqlite3_step with "
                  "sql[] failed:unable to open database file"});
  EXPECT_TRUE(std::filesystem::exists(victim));
  EXPECT_TRUE(std::filesystem::exists(journal));
}
#endif

#if defined(__linux__)
// Runs `command` in the shell, as a host's administrator would.
int Shell(const std::string& command) {
  return std::system(command.c_str());  // NOLINT(cert-env33-c,concurrency-mt-unsafe): one thread
}

// A store on a view of a folder that shows every file with one fixed mode,
// as vfat and exFAT cards, CIFS shares and FUSE views such as Android's
// shared storage do.
TEST_F(LifecycleTest, ANewStoreOpensWhereTheFileSystemShowsFixedModes) {
  const std::string real = dir_.File("real"), view = dir_.File("view");
  std::filesystem::create_directory(real);
  std::filesystem::create_directory(view);
  if (Shell("command -v bindfs >/dev/null") != 0) {
    GTEST_SKIP() << "no bindfs for a FUSE view (make test installs it)";
  }
  if (Shell("bindfs --perms=a+rX --chmod-ignore '" + real + "' '" + view + "' 2>/dev/null") != 0) {
    GTEST_SKIP() << "bindfs cannot mount here: no /dev/fuse, or no right to mount";
  }
  auto db = NewStore();
  EXPECT_EQ(db->Init((view + "/store.db").c_str()), 0);
  EXPECT_EQ(db->InsertSessionCache("k", "v", 10), 0);
  db->Close();
  EXPECT_EQ(ModeOf(view + "/store.db"), 0644) << "the view shows its one mode";
  EXPECT_EQ(ModeOf(real + "/store.db"), 0600) << "owner-only where modes are kept";
  EXPECT_EQ(Shell("umount '" + view + "'"), 0);
}
#endif

#if !defined(_WIN32)
// The host's SQLite, in a child killed where a commit over the host's own
// database and the attached store deletes its super-journal: the journals of
// both are synced and name it, the commit point not yet passed. `meanwhile`
// runs before the child starts its commit, in this process, which the child
// left before any SQLite state of its was made.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the host's file, then the store
void KillHostInsideACommitOverBoth(const std::string& host, const std::string& store,
                                   const std::function<void()>& meanwhile) {
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  const pid_t child = fork();
  if (child == 0) {
    static sqlite3_vfs* const underlying = sqlite3_vfs_find(nullptr);
    static sqlite3_vfs dying = *underlying;
    dying.zName = "dying";
    dying.xDelete = [](sqlite3_vfs* /*vfs*/, const char* name, int sync) {
      if (std::strstr(name, "-mj") != nullptr) {
        _exit(0);
      }
      return underlying->xDelete(underlying, name, sync);
    };
    sqlite3* db = nullptr;
    const std::string sql =
        "CREATE TABLE IF NOT EXISTS t(x); ATTACH '" + store +
        "' AS store; BEGIN; INSERT INTO t VALUES (1); INSERT INTO store.session_cache "
        "(session_key, session_value, expire_time) VALUES ('cut', 'v', 10); COMMIT;";
    char byte = 0;
    if (read(go[0], &byte, 1) == 1 && sqlite3_vfs_register(&dying, 1) == SQLITE_OK &&
        sqlite3_open(host.c_str(), &db) == SQLITE_OK) {
      (void)sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    }
    _exit(1);  // the commit never reached its super-journal
  }
  meanwhile();
  int status = 0;
  ASSERT_TRUE(write(go[1], "g", 1) == 1 && waitpid(child, &status, 0) == child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the host was not cut there";
  ASSERT_TRUE(std::filesystem::exists(store + "-journal"));
}

TEST_F(LifecycleTest, AStoreCutInsideAHostsCommitOverItIsRolledBackOpenOrNot) {
  std::shared_ptr<IDatabaseInterface> db;
  std::string value = "untouched";
  KillHostInsideACommitOverBoth(dir_.File("host1.db"), path_, [&] { db = OpenStore(path_); });
  EXPECT_EQ(db->SelectSessionCache("cut", 0, value), 0) << "rolled back by the open store";
  db->Close();
  KillHostInsideACommitOverBoth(dir_.File("host2.db"), path_, [] {});
  ASSERT_EQ(db->Init(path_.c_str()), 0);
  EXPECT_EQ(db->SelectSessionCache("cut", 0, value), 0) << "rolled back by Init";
  EXPECT_EQ(value, "untouched");
  EXPECT_FALSE(std::filesystem::exists(path_ + "-journal"));
  EXPECT_EQ(log_.Lines(), Lines{});
}
#endif

}  // namespace
}  // namespace dbi_test
