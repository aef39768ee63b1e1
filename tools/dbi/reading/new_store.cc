#include "reading/new_store.h"

#include "reading/sqlite_statement.h"
#include "schema/schema.h"
#include "schema/statements.h"

namespace dbi {

namespace store = database_interface;

bool MakeNewStore(sqlite3* db, std::string& error) {
  if (!Exec(db, store::kDdl[store::kForeignKeysOn], error)) {
    return false;
  }
  int rc = SQLITE_OK;
  if (store::CreateMissingTables(db, rc) != store::kDdlCount) {
    error = sqlite3_errmsg(db);
    return false;
  }
  const Statement insert = Prepare(db, store::kVersionStmts[store::kInsertDbVersion].sql, error);
  if (!insert) {
    return false;
  }
  rc = sqlite3_bind_text(insert.get(), sqlite3_bind_parameter_index(insert.get(), ":version"),
                         store::kSchemaVersion, -1, SQLITE_STATIC);
  if (rc != SQLITE_OK || sqlite3_step(insert.get()) != SQLITE_DONE) {
    error = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

}  // namespace dbi
