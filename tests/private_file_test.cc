// The file calls Init and dbi make before SQLite sees a file: what they
// read, and which file they remove. A fault here shows through the store
// only as a byte too few in a journal's trailer, or an empty file left
// behind by a failed Init, so they are checked on files made for the case.

#include "files/private_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "support/file_folder.h"

namespace database_interface {
namespace {

namespace fs = std::filesystem;

using PrivateFileTest = FileFolderTest;

TEST_F(PrivateFileTest, ReadPlainBytesGivesTheAskedRangeOrNone) {
  const std::string file = Write("file", "abcdef");
  struct Row {
    uint64_t offset = 0;
    size_t count = 0;
    std::optional<std::string> bytes;
  };
  const Row rows[] = {
      {0, 3, "abc"},
      {2, 2, "cd"},
      {1, 1, "b"},
      {4, 10, "abcdef"},      // more than the file holds: all of it
      {UINT64_MAX, 2, "ef"},  // past the end: the last bytes
      {0, 0, ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ReadPlainBytes(file, row.offset, row.count, false), row.bytes)
        << row.offset << "+" << row.count;
  }
  EXPECT_EQ(ReadPlainBytes((dir_ / "missing").string(), 0, 1, false), std::nullopt);
  EXPECT_EQ(ReadPlainBytes(dir_.string(), 0, 1, false), std::nullopt) << "a folder has no bytes";
#if defined(__unix__) || defined(__APPLE__)
  const std::string fifo = (dir_ / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadPlainBytes(fifo, 0, 1, false), std::nullopt) << "refused, not waited on";
  EXPECT_FALSE(IsPlainFile(fifo, false));
  // A folder opens for reading, as SQLite opens one to sync it, and what
  // opens blocks as it was asked to.
  for (const std::string& path : {file, dir_.string()}) {
    const int fd = OpenPlainFile(path.c_str(), O_RDONLY, 0, false);
    ASSERT_GE(fd, 0) << path;
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << path;
    (void)close(fd);
  }
  EXPECT_EQ(KindOf(file), FileKind::kRegular);
#endif
#if defined(__linux__)
  EXPECT_EQ(KindOf("/proc/self/status"), FileKind::kOther) << "the kernel's state is no file";
#endif
  EXPECT_TRUE(IsPlainFile(file, false));
}

// A journal's last 16 bytes: the super-journal name's length (big-endian),
// a checksum, then the magic.
enum class Magic { kJournal, kOther };

std::string Trailer(uint32_t name_length, Magic magic_kind = Magic::kJournal) {
  const unsigned char first_magic_byte = magic_kind == Magic::kJournal ? 0xd9 : 0xd8;
  std::string bytes = {static_cast<char>(name_length >> 24), static_cast<char>(name_length >> 16),
                       static_cast<char>(name_length >> 8), static_cast<char>(name_length)};
  bytes += std::string(4, '\x5a');
  const unsigned char magic[8] = {first_magic_byte, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7};
  bytes.append(reinterpret_cast<const char*>(magic), sizeof magic);
  return bytes;
}

TEST_F(PrivateFileTest, OnlyAJournalEndingInANamedSuperJournalNamesOne) {
  struct Row {
    const char* name;
    std::string bytes;
    bool names;
  };
  const Row rows[] = {
      {"named", "journal pages" + Trailer(9), true},
      {"named_long", Trailer(0x01000000), true},
      {"unnamed", "journal pages" + Trailer(0), false},
      {"other_magic", "journal pages" + Trailer(9, Magic::kOther), false},
      {"short", Trailer(9).substr(1), false},
      {"empty", "", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(NamesSuperJournal(Write(row.name, row.bytes)), row.names) << row.name;
  }
  EXPECT_FALSE(NamesSuperJournal((dir_ / "missing").string()));
}

TEST_F(PrivateFileTest, OnlyTheEmptyFileMadeIsRemoved) {
  if (!FilesHaveModes()) {
    GTEST_SKIP() << "no file modes or inodes on this system";
  }
  const std::string path = (dir_ / "store").string();
  FileId made;
  ASSERT_TRUE(CreatePrivateFile(path, made));
  EXPECT_FALSE(CreatePrivateFile(path, made)) << "an existing file is not made again";
  EXPECT_TRUE(IsPrivateFile(path, made));
  RemovePrivateFileIfEmpty(path, made);
  EXPECT_FALSE(fs::exists(path));

  ASSERT_TRUE(CreatePrivateFile(path, made));
  Write("store", "written by someone else");
  RemovePrivateFileIfEmpty(path, made);
  EXPECT_TRUE(fs::exists(path)) << "no longer empty";

  // The made file moved away while it lives, so the name's new file cannot
  // reuse its inode.
  fs::rename(path, dir_ / "moved");
  Write("store", "");
  EXPECT_FALSE(IsPrivateFile(path, made)) << "another file under the name";
  RemovePrivateFileIfEmpty(path, made);
  EXPECT_TRUE(fs::exists(path)) << "another file under the name";

#if defined(__unix__) || defined(__APPLE__)
  const std::string open_file = (dir_ / "open").string();
  ASSERT_TRUE(CreatePrivateFile(open_file, made));
  ASSERT_EQ(chmod(open_file.c_str(), 0640), 0);
  EXPECT_FALSE(IsPrivateFile(open_file, made)) << "readable by the group";
#endif
}

}  // namespace
}  // namespace database_interface
