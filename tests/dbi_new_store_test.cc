// The one maker of a new store, which dbi's salvage and its replacement
// first pages use: every table and the version row in a sound connection,
// and where a step is refused, that step's reason and nothing after it.

#include "reading/new_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "schema/schema.h"
#include "support/refusing_authorizer.h"

namespace dbi {
namespace {

std::string Version(sqlite3* db) {
  sqlite3_stmt* stmt = nullptr;
  std::string version;
  if (sqlite3_prepare_v2(db, "SELECT version FROM db_version", -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    version = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
  }
  sqlite3_finalize(stmt);
  return version;
}

TEST(DbiNewStoreTest, AStoreIsMadeWholeOrItsFirstRefusedStepIsTold) {
  struct Row {
    const char* name;
    int refused;  // the authorizer's action refused on the store's objects, or 0
    bool made;
    const char* version;  // the version row afterwards
  };
  const Row rows[] = {
      {"sound", 0, true, database_interface::kSchemaVersion},
      {"foreign keys refused", SQLITE_PRAGMA, false, ""},
      {"a table refused", SQLITE_CREATE_TABLE, false, ""},
      {"the version row refused", SQLITE_INSERT, false, ""},
  };
  for (const Row& row : rows) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    const ::dbi_test::Refusal refusal{row.refused};
    ::dbi_test::RefuseOn(db, refusal);
    std::string error;
    EXPECT_EQ(MakeNewStore(db, error), row.made) << row.name;
    EXPECT_EQ(error, row.made ? "" : "not authorized") << row.name;
    sqlite3_set_authorizer(db, nullptr, nullptr);
    EXPECT_EQ(Version(db), row.version) << row.name;
    // A statement left unfinalized would keep the connection from closing.
    EXPECT_EQ(sqlite3_close(db), SQLITE_OK) << row.name;
  }
}

}  // namespace
}  // namespace dbi
