// The file calls Init and dbi make before SQLite sees a file: what they
// read, and which file they remove. A fault here shows through the store
// only as a byte too few in a journal's trailer, or an empty file left
// behind by a failed Init, so they are checked on files made for the case.

#include "files/plain_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/stat.h>
#endif

#include "files/store_file.h"
#include "support/file_folder.h"

namespace database_interface {
namespace {

namespace fs = std::filesystem;

using PlainFileTest = FileFolderTest;

TEST_F(PlainFileTest, OnlyARegularFileOfItsOwnIsAFile) {
  EXPECT_EQ(KindOf(Write("file", "abcdef")), FileKind::kRegular);
  EXPECT_EQ(KindOf(dir_.string()), FileKind::kOther);
  EXPECT_EQ(KindOf((dir_ / "missing").string()), FileKind::kMissing);
#if defined(__unix__) || defined(__APPLE__)
  const std::string fifo = (dir_ / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(KindOf(fifo), FileKind::kOther) << "looked at, not waited on";
#endif
#if defined(__linux__)
  EXPECT_EQ(KindOf("/proc/self/status"), FileKind::kOther) << "the kernel's state is no file";
#endif
}

// Only a name SQLite would give one of its super-journals is left for the
// rollback to delete; every other is a stranger's choice. A journal that
// names none, or whose name SQLite would not read, harms nothing.
TEST_F(PlainFileTest, AJournalNamesAForeignFileUnlessSqliteMadeTheName) {
  struct Row {
    const char* why;
    std::string journal;
    bool foreign;
  };
  const std::string host = (dir_ / "host.db").string();
  const Row rows[] = {
      {"SQLite's own", "pages" + dbi_test::SuperJournalNaming(host + "-mj0A1B2C9D3"), false},
      {"the user's file", "pages" + dbi_test::SuperJournalNaming((dir_ / "victim").string()), true},
      {"SQLite's form after a NUL",
       dbi_test::SuperJournalNaming((dir_ / "victim").string() + '\0' + "-mj0A1B2C9D3"), true},
      {"lower-case digits", dbi_test::SuperJournalNaming(host + "-mj0a1b2c9d3"), true},
      {"no 9 where SQLite puts one", dbi_test::SuperJournalNaming(host + "-mj0A1B2C8D3"), true},
      {"one digit short", dbi_test::SuperJournalNaming(host + "-mj0A1B29D3"), true},
      {"no database's name", dbi_test::SuperJournalNaming("-mj0A1B2C9D3"), true},
      {"no super-journal", "pages" + dbi_test::SuperJournalNaming(""), false},
      {"no magic", "pages" + dbi_test::SuperJournalNaming("/victim", 7) + "x", false},
      {"a name longer than the journal", dbi_test::SuperJournalNaming("/victim").substr(5), false},
  };
  for (const Row& row : rows) {
    const std::string store = (dir_ / "store").string();
    Write("store-journal", row.journal);
    EXPECT_EQ(JournalNamesForeignFile(store), row.foreign) << row.why;
    fs::remove(store + "-journal");
  }
}

TEST_F(PlainFileTest, OnlyTheEmptyFileMadeIsRemoved) {
  const std::string path = (dir_ / "store").string();
  if (!CreateOwnerOnlyFile(path)) {
    GTEST_SKIP() << "no file modes on this system";
  }
  EXPECT_FALSE(CreateOwnerOnlyFile(path)) << "an existing file is not made again";
  RemoveIfStillEmpty(path);
  EXPECT_FALSE(fs::exists(path));

  ASSERT_TRUE(CreateOwnerOnlyFile(path));
  Write("store", "written by someone else");
  RemoveIfStillEmpty(path);
  EXPECT_TRUE(fs::exists(path)) << "no longer empty";
}

}  // namespace
}  // namespace database_interface
