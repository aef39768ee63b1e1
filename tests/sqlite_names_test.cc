// Which file SQLite opens for a URI, as Init asks it before it makes one:
// the rows where the probe's answer decides whether a file is made.

#include "files/sqlite_names.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "support/file_folder.h"

namespace database_interface {
namespace {

using SqliteNamesTest = FileFolderTest;

TEST_F(SqliteNamesTest, AUriOpensItsFileThroughAUnixLayerOrNone) {
#if defined(_WIN32)
  GTEST_SKIP() << "a URI names a Windows path in a form of its own, and no unix layer exists";
#endif
  if (sqlite3_compileoption_used("USE_URI") == 0) {
    GTEST_SKIP() << "this SQLite reads every name as a path";
  }
  const std::string file = (dir_ / "a.db").string();
  struct Row {
    std::string uri;
    OpenTarget::Kind kind;
    bool created;
  };
  const Row rows[] = {
      {"file:" + file, OpenTarget::kFile, true},
      {"file:" + file + "?mode=ro", OpenTarget::kFile, false},
      {"file:" + file + "?vfs=unix-dotfile", OpenTarget::kFile, true},
      {"file:" + file + "?vfs=memdb", OpenTarget::kNoFile, false},  // another layer's file
      {"file::memory:", OpenTarget::kNoFile, false},
  };
  for (const Row& row : rows) {
    const OpenTarget target = WhatUriOpens(row.uri.c_str());
    EXPECT_EQ(target.kind, row.kind) << row.uri;
    EXPECT_EQ(target.file, row.kind == OpenTarget::kFile ? FullPathname(file) : "") << row.uri;
    EXPECT_EQ(target.created, row.created) << row.uri;
  }
}

}  // namespace
}  // namespace database_interface
