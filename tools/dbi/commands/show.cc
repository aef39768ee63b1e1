#include "commands/command.h"

#include <iostream>
#include <optional>
#include <string>

#include "limits/work_budget.h"
#include "printing/held_output.h"
#include "printing/report.h"
#include "reading/file_set.h"
#include "reading/store_reader.h"

namespace dbi {

namespace {

constexpr const char* kHelp =
    "Usage: dbi show [--json] [--reveal-secrets] [--now MS] [FILE]\n"
    "Lists the file's schema version and what opening it with this library would do, the\n"
    "row counts, every start record with its core and instance records, the session-cache\n"
    "entries with their expiry in UTC, and the stored key pairs' lengths; warns about\n"
    "triggers and views. Opens FILE read-only (default ./qvdata) and never changes it.\n"
    "\n"
    "  --json            print one JSON object\n"
    "  --reveal-secrets  read and print the key pairs instead of their lengths\n"
    "  --now MS          judge expiry against MS milliseconds since the Unix epoch\n";

// Everything is read and printed into memory first, and the file let go
// of, before a byte is written: a reader slow to take the output must not
// hold the store while an app writes to it.
int RunShow(const Options& options) {
  std::string error;
  const std::optional<FileSet> set = FindFileSet(options.file, error);
  if (!set) {
    return FileError(options, error);
  }
  BoundWork(set->bytes_read());
  HeldOutput listing(set->bytes_read());
  {
    StoreReader reader;
    StoreView view;
    StoreRows rows;
    if (!reader.Open(*set, error)) {
      return FileError(options, error);
    }
    if (!reader.Read(view, rows, options.reveal_secrets, error)) {
      return FileError(options, "cannot read as a store: " + error);
    }
    const ShowSettings settings{options.file, ReferenceTime(options), options.reveal_secrets};
    if (options.json) {
      PrintShowJson(listing.stream(), view, rows, settings);
    } else {
      PrintShowText(listing.stream(), view, rows, settings);
    }
    error = rows.error();
  }
  std::cout << listing.text();
  // The rows before a damaged page are printed, or those before the bound:
  // the status tells that the listing is not whole.
  if (!error.empty()) {
    return FileError(options, "cannot read as a store: " + error);
  }
  return listing.cut() ? FileError(options, HeldOutput::CutReason()) : kDone;
}

}  // namespace

const Command kShowCommand = {"show", kHelp, Files::kFileOrDefault, kJson | kRevealSecrets | kNow,
                              RunShow};

}  // namespace dbi
