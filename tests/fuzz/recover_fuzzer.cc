// dbi recover's salvage over arbitrary bytes: it builds a store or gives
// up, never crashes, hangs or leaks, and a store it builds passes SQLite's
// integrity and foreign-key checks; its report is printed, every row left
// out included.

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "recover_report.h"
#include "salvage.h"

namespace {

// Whether `sql` gives no row but "ok", as a healthy store's checks do.
bool AllOk(sqlite3* db, const char* sql) {
  sqlite3_stmt* stmt = nullptr;
  bool ok = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK;
  int rc = SQLITE_ROW;
  while (ok && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(stmt, 0);
    ok = text != nullptr && std::string(reinterpret_cast<const char*>(text)) == "ok";
  }
  sqlite3_finalize(stmt);
  return ok && rc == SQLITE_DONE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sqlite3* out = nullptr;
  if (sqlite3_open_v2(":memory:", &out, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    __builtin_trap();
  }
  dbi::SalvageReport report;
  std::string error;
  if (dbi::Salvage(std::string(reinterpret_cast<const char*>(data), size), out, report, error)) {
    std::ostringstream printed;
    dbi::PrintRecoverJson(printed, report, {"in", "out", report.Written() > 0});
    if (!AllOk(out, "PRAGMA integrity_check") || !AllOk(out, "PRAGMA foreign_key_check")) {
      __builtin_trap();
    }
  }
  sqlite3_close(out);
  return 0;
}
