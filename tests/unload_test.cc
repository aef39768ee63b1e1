// A host that loads the store as a plug-in, opens stores by a plain and by a
// file: name, and unloads it again keeps its own SQLite as it was: the same
// file-system layers, none left behind by the store to be walked into after
// its code is gone, and still working.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "database_interface/database_interface.h"
#include "support/file_folder.h"

namespace {

std::vector<std::string> Layers() {
  std::vector<std::string> names;
  for (const sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr); vfs != nullptr; vfs = vfs->pNext) {
    names.emplace_back(vfs->zName);
  }
  return names;
}

TEST(UnloadTest, AHostsSqliteIsAsItWasAfterTheStoreIsUnloaded) {
  const std::vector<std::string> before = Layers();
  const dbi_test::TempDir dir;
  void* library = dlopen(TEST_STORE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();  // NOLINT(concurrency-mt-unsafe): one thread
  using Create = std::shared_ptr<database_interface::IDatabaseInterface> (*)();
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): what dlsym finds is a function
  const auto create = reinterpret_cast<Create>(
      dlsym(library, "_ZN18database_interface18IDatabaseInterface23CreateDatabaseInterfaceEv"));
  ASSERT_NE(create, nullptr) << dlerror();  // NOLINT(concurrency-mt-unsafe): one thread
  {
    const auto db = create();
    // A URI, here relative to the current folder, names only SQLite's file.
    std::filesystem::current_path(dir.path());
    const std::string names[] = {dir.File("plain.db"), "file:uri.db?mode=rwc"};
    for (const std::string& name : names) {
      EXPECT_EQ(db->Init(name.c_str()), 0) << name;
      db->Close();
    }
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
  EXPECT_EQ(dlclose(library), 0);
  EXPECT_EQ(Layers(), before);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(dir.File("host.db").c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "CREATE TABLE t(x)", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

}  // namespace
