// Which files dbi hands to SQLite, and how: the set beside a store file is
// judged from names, kinds and a few bytes, since SQLite would create,
// delete or block on what it finds there. Whether the folder stays as it
// was is the end-to-end test's; here, each kind of set gets its decision.

#include "reading/file_set.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <optional>
#include <string>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "recover/new_file.h"
#include "recover/system_files.h"
#include "support/file_folder.h"

namespace dbi {
namespace {

namespace fs = std::filesystem;

// A database header whose read version (byte 19) is `read_version`: 2 is WAL.
std::string Header(char read_version) {
  std::string header = "SQLite format 3";
  header += '\0';
  header.resize(100, '\0');
  header[18] = 1;
  header[19] = read_version;
  return header;
}

std::string WalHeader() {
  return std::string("\x37\x7f\x06\x82", 4) + std::string(28, '\0');
}

class DbiFileSetTest : public FileFolderTest {
 protected:
  // FindFileSet's refusal of `name`, or what ReadOnlyParameters makes of
  // the set: its parameters or its refusal.
  std::string Decision(const std::string& name) const {
    std::string error;
    const std::optional<FileSet> set = FindFileSet((dir_ / name).string(), error);
    if (!set) {
      return "refused: " + error;
    }
    const std::string parameters = ReadOnlyParameters(*set, error);
    return parameters.empty() ? "refused: " + error : parameters;
  }
  // Whether `name`'s decision begins with `start`, the words that tell it apart.
  bool Begins(const std::string& name, const std::string& start) const {
    return Decision(name).rfind(start, 0) == 0;
  }
};

TEST_F(DbiFileSetTest, EachSetBesideAFileGetsItsWayOfReadingOrItsRefusal) {
  struct Row {
    const char* name;
    std::string file;
    const char* journal;  // what lies beside the file, when anything
    const char* wal;
    bool shm;
    const char* decision;
  };
  const Row rows[] = {
      {"rollback", Header(1), nullptr, nullptr, false, "mode=ro&readonly_shm=1"},
      {"closed_wal", Header(2), nullptr, nullptr, false, "mode=ro&immutable=1"},
      {"hot", Header(1), "pages", nullptr, false, "mode=ro&readonly_shm=1"},
      {"live_wal", Header(2), nullptr, "wal", true, "mode=ro&readonly_shm=1"},
      {"empty_with_wal", Header(2).substr(0, 99), nullptr, "wal", true,
       "refused: is shorter than a database header, with a -wal beside it"},
      {"wal_without_header", Header(2), nullptr, "", true, "refused: its -wal holds no WAL header"},
      {"wal_without_shm", Header(2), nullptr, "wal", false,
       "refused: in WAL mode with a -wal file but no -shm"},
  };
  for (const Row& row : rows) {
    Write(row.name, row.file);
    if (row.journal != nullptr) {
      Write(std::string(row.name) + "-journal", row.journal);
    }
    if (row.wal != nullptr) {
      Write(std::string(row.name) + "-wal", *row.wal == '\0' ? "" : WalHeader());
    }
    if (row.shm) {
      Write(std::string(row.name) + "-shm", "");
    }
    EXPECT_TRUE(Begins(row.name, row.decision)) << Decision(row.name);
  }
}

TEST_F(DbiFileSetTest, OnlyARegularFileWithRegularFilesBesideItIsASet) {
  fs::create_directory(dir_ / "folder.db");
  EXPECT_EQ(Decision("missing.db"), "refused: no such file");
  EXPECT_EQ(Decision("folder.db"), "refused: is a folder, not a store file");
#if defined(__unix__) || defined(__APPLE__)
  const std::string target = Write("target.db", Header(1));
  fs::create_symlink("target.db", dir_ / "link.db");
  fs::create_symlink("gone.db", dir_ / "dangling.db");
  std::string error;
  const std::optional<FileSet> set = FindFileSet((dir_ / "link.db").string(), error);
  ASSERT_TRUE(set) << error;
  EXPECT_EQ(set->path, fs::canonical(target).string()) << "the link's target, as SQLite opens it";
  EXPECT_EQ(Decision("dangling.db"), "refused: a symbolic link to nothing");
  ASSERT_EQ(mkfifo((dir_ / "fifo.db").c_str(), 0600), 0);
  EXPECT_TRUE(Begins("fifo.db", "refused: is not a regular file")) << Decision("fifo.db");
  EXPECT_EQ(OpenPlainFile((dir_ / "fifo.db").c_str(), O_RDONLY, 0), -1) << "not waited on";
  // A folder opens for reading, as SQLite opens one to sync it, and what
  // opens blocks as it was asked to.
  for (const std::string& path : {target, dir_.string()}) {
    const int fd = OpenPlainFile(path.c_str(), O_RDONLY, 0);
    ASSERT_GE(fd, 0) << path;
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << path;
    (void)close(fd);
  }
  fs::create_symlink("target.db", dir_ / "target.db-wal");
  EXPECT_TRUE(Begins("link.db", "refused: a -journal, -wal or -shm beside it is not a regular"))
      << Decision("link.db");
#endif
}

// Salvage looks for a free name first; this is the name taken while the new
// file was written, which must stay as it was.
TEST_F(DbiFileSetTest, ANewFileGoesOnlyWhereNothingIs) {
  const std::string taken = Write("taken.db", "theirs");
  std::string error;
  EXPECT_EQ(PublishNewFile(taken, "ours", error), Publish::kTaken) << error;
  EXPECT_EQ(PublishNewFile((dir_ / "free.db").string(), "ours", error), Publish::kWritten) << error;
  EXPECT_EQ(fs::file_size(taken), 6U);
  EXPECT_EQ(fs::file_size(dir_ / "free.db"), 4U);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace dbi
