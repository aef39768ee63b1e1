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

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "files/sqlite_guard.h"
#include "support/test_db.h"

namespace dbi_test {
namespace {

class LifecycleTest : public StoreTest {};

TEST_F(LifecycleTest, InitAndCloseTakeTurnsAndOperationsRunOnlyInBetween) {
  auto db = NewStore();
  auto other = NewStore();
  EXPECT_EQ(db->Init(nullptr), -1);
  db->Close();  // never opened: nothing happens
  ExpectEveryRecordOperationRefused(*db);
  // A sink that throws while Init reports a failure, with the connection open
  // and part of the statements prepared: the exception reaches the caller and
  // the instance is closed again, not stuck refusing every later Init.
  RawDb(dir_.File("bad.db")).Exec("CREATE TABLE instance_info (id INTEGER PRIMARY KEY)");
  log_.OnNextLine([] { throw std::runtime_error("sink"); });
  EXPECT_THROW(db->Init(dir_.File("bad.db").c_str()), std::runtime_error);

  ASSERT_EQ(db->Init(path_.c_str()), 0);
  EXPECT_EQ(db->Init(dir_.File("other.db").c_str()), -1);
  ExpectEveryRecordOperationRefused(*other);  // opening one opens no other
  ASSERT_EQ(db->InsertSessionCache("k", "v", 10), 0);

  db->Close();
  db->Close();
  ExpectEveryRecordOperationRefused(*db);
  EXPECT_TRUE(log_.Lines().empty());
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

#if !defined(_WIN32)
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
      std::ofstream(path + "-journal", std::ios::binary | std::ios::app)
          << SuperJournalNaming(super_journal);
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
  const std::string folder_path = dir.File("a_folder"), missing = dir.File("missing/store.db");
  std::filesystem::create_directory(folder_path);
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
      // Loading a schema recurses once per level of an expression: SQLite's
      // depth limit must refuse this before a small stack runs out.
      {"a CHECK 300,000 levels deep",
       Versioned(now,
                 "CREATE TABLE deep(a); PRAGMA writable_schema = ON; UPDATE sqlite_master "
                 "SET sql = 'CREATE TABLE deep(a CHECK(1' || replace(hex(zeroblob(300000)), "
                 "'00', '+1') || '))' WHERE name = 'deep'"),
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
      NewOrRefused("a folder", Named(folder_path), false, folder_path),
      NewOrRefused("a missing folder", Named(missing), false, missing),
  };
#if !defined(_WIN32)
  openings.push_back(NewOrRefused("no file, by a one-letter name", Named("n"), true));
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
  // A write cut off is rolled back, with the super-journal its journal names
  // where SQLite named it; but one naming another file would have SQLite
  // delete that file too: here one of the user's (checked after the table).
  const std::string planted = dir.File("planted.db"), host = dir.File("host.db-mj0A1B2C9D3");
  std::ofstream(dir.File("victim")) << "not SQLite's to delete";
  std::ofstream(host) << "host.db-journal";
  openings.push_back({"a store whose journal names SQLite's super-journal",
                      HotJournal(dir.File("hosted.db"), host),
                      0,
                      {},
                      "1:" + now + kept});
  openings.push_back(NewOrRefused("a store whose journal names another file",
                                  HotJournal(planted, dir.File("victim")), false, planted));
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
    const std::string file = opening.make(path_), before = FileContents(file);
    const bool existed = std::filesystem::exists(file);
    const int mode = ModeOf(file);
    log_.Clear();
    EXPECT_EQ(db->Init(file.c_str()), opening.result);
    EXPECT_EQ(log_.Lines(), opening.lines);
    if (opening.result != 0) {
      ExpectEveryRecordOperationRefused(*db);
      EXPECT_EQ(FileContents(file), before);
      EXPECT_EQ(std::filesystem::exists(file), existed);
      continue;
    }
    db->Close();
    EXPECT_EQ(ModeOf(file), existed ? mode : 0600);
    RawDb raw(file);
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
  EXPECT_EQ(FileContents(dir_.File("victim")), "not SQLite's to delete");
  EXPECT_TRUE(std::filesystem::exists(dir_.File("planted.db-journal")));
#if !defined(_WIN32)
  umask(host_umask);
  std::filesystem::current_path(host_folder);
#endif
}

#if !defined(_WIN32)
// Journals planted while the store is open, after Init's look: where the
// store's SQLite is its own (the bundled copy, which Init guards; guarded
// here by hand), one naming another file as its super-journal fails the call
// and leaves both files, since the rollback would delete the one it names;
// one naming a super-journal of SQLite's form is rolled back.
TEST_F(LifecycleTest, AJournalPlantedWhileTheStoreIsOpenDeletesNoOtherFile) {
  ASSERT_TRUE(database_interface::GuardSqliteFiles());
  const std::string victim = dir_.File("victim"), host = dir_.File("host.db-mj0A1B2C9D3");
  std::ofstream(victim) << "not SQLite's to delete";
  std::ofstream(host) << "host.db-journal";
  for (const std::string& super_journal : {victim, host}) {
    const bool foreign = super_journal == victim;
    const std::string path = dir_.File(foreign ? "planted.db" : "hosted.db");
    const std::string journal = path + "-journal";
    HotJournal(path, super_journal)(path);
    std::filesystem::rename(journal, journal + ".aside");
    auto db = OpenStore(path);
    std::filesystem::rename(journal + ".aside", journal);
    std::string value;
    log_.Clear();
    EXPECT_EQ(db->SelectSessionCache("hot1", 0, value), foreign ? -1 : 0);
    EXPECT_EQ(WithoutSql(log_.Lines()),
              foreign ? Lines{"[database]database_interface::CDatabase::SelectSessionCache "
                              "sqlite3_step with sql[] failed:unable to open database file"}
                      : Lines{});
    EXPECT_EQ(std::filesystem::exists(journal), foreign);
  }
  EXPECT_TRUE(std::filesystem::exists(victim));
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

}  // namespace
}  // namespace dbi_test
