// dbi recover's salvage over arbitrary bytes: it builds a store or gives
// up, never crashes, hangs or leaks, and a store it builds passes SQLite's
// integrity and foreign-key checks; its report is printed, every row left
// out included. A store file with nothing wrong is salvaged first, whole.

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "limits/work_budget.h"
#include "printing/recover_report.h"
#include "reading/sqlite_statement.h"
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
  std::string error;
  const dbi::Connection out = dbi::OpenMemory(error);
  // As dbi recover does: a schema text that loops stops within the budget.
  dbi::BoundWork(file.size());
  const bool salvaged = out && dbi::RecoverStore(file, out.get(), report, error);
  if (salvaged) {
    std::ostringstream printed;
    dbi::PrintRecoverJson(printed, report, {"in", "out", report.Written() > 0});
    if (!AllOk(out.get(), "PRAGMA integrity_check") ||
        !AllOk(out.get(), "PRAGMA foreign_key_check")) {
      __builtin_trap();
    }
  }
  return salvaged;
}

}  // namespace

// Only a salvage that succeeds is checked, so one that gave up on every
// input would pass any run: first, a sound store file the library wrote must
// come back with every row it holds (none left out, none missing), or the
// run stops here.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  std::ifstream in(TEST_STORE_FILE, std::ios::binary);
  const std::string store{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  dbi::RecoverReport report;
  if (store.empty() || !RecoveredSoundly(store, report) || !report.version_row_found ||
      report.Written() == 0 || report.RowsMissing()) {
    (void)std::fputs("salvage of " TEST_STORE_FILE ": not every row came back\n", stderr);
    __builtin_trap();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  dbi::RecoverReport report;
  RecoveredSoundly(std::string(reinterpret_cast<const char*>(data), size), report);
  return 0;
}
