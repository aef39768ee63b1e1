#include "commands/command.h"

#include <iostream>
#include <optional>
#include <string>

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

int RunShow(const Options& options) {
  StoreReader reader;
  StoreView view;
  StoreRows rows;
  std::string error;
  const std::optional<FileSet> set = FindFileSet(options.file, error);
  if (!set || !reader.Open(*set, error)) {
    return FileError(options, error);
  }
  if (!reader.Read(view, rows, options.reveal_secrets, error)) {
    return FileError(options, "cannot read as a store: " + error);
  }
  const ShowSettings settings{options.file, ReferenceTime(options), options.reveal_secrets};
  if (options.json) {
    PrintShowJson(std::cout, view, rows, settings);
  } else {
    PrintShowText(std::cout, view, rows, settings);
  }
  // The rows before a damaged page have been printed by now: the status
  // tells that the listing is not whole.
  if (rows.failed()) {
    return FileError(options, "cannot read as a store: " + rows.error());
  }
  return kDone;
}

}  // namespace

const Command kShowCommand = {"show", kHelp, false, false, true, true, true, false, RunShow};

}  // namespace dbi
