// dbi recover's salvage over arbitrary bytes: it builds a store or gives
// up, never crashes, hangs or leaks, and a store it builds passes SQLite's
// integrity and foreign-key checks; its report is printed, every row left
// out included. A store file with nothing wrong is salvaged first, whole.

#include <sqlite3.h>

#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "limits/work_budget.h"
#include "printing/recover_report.h"
#include "recover/recovered_store.h"

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

// Salvages `file` into a new store in memory and traps unless a store it
// builds passes the checks, its report printed; whether it built one.
bool RecoveredSoundly(const std::string& file, dbi::RecoverReport& report) {
  sqlite3* out = nullptr;
  if (sqlite3_open_v2(":memory:", &out, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    __builtin_trap();
  }
  std::string error;
  // As dbi recover does: a schema text that loops stops within the budget.
  dbi::BoundWork(file.size());
  const bool salvaged = dbi::RecoverStore(file, out, report, error);
  if (salvaged) {
    std::ostringstream printed;
    dbi::PrintRecoverJson(printed, report, {"in", "out", report.Written() > 0});
    if (!AllOk(out, "PRAGMA integrity_check") || !AllOk(out, "PRAGMA foreign_key_check")) {
      __builtin_trap();
    }
  }
  sqlite3_close(out);
  return salvaged;
}

}  // namespace

// Only a salvage that succeeds is checked, so one that gave up on every
// input would pass any run: first, a sound store file the library wrote must
// come back with every row it holds, or the run stops here.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  std::ifstream in(TEST_STORE_FILE, std::ios::binary);
  const std::string store{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  dbi::RecoverReport report;
  bool whole = !store.empty() && RecoveredSoundly(store, report) && report.version_row_found &&
               report.Written() > 0 && report.left_out_rows.empty();
  for (const dbi::TableRecovered& table : report.tables) {
    // Its version row is read, never copied: the new store has its own.
    whole = whole && (table.written == table.found || table.name == "db_version");
  }
  if (!whole) {
    std::fprintf(stderr, "salvage of %s: not every row came back (%" PRId64 " written)\n",
                 TEST_STORE_FILE, report.Written());
    __builtin_trap();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  dbi::RecoverReport report;
  RecoveredSoundly(std::string(reinterpret_cast<const char*>(data), size), report);
  return 0;
}
