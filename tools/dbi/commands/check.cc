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
    "Usage: dbi check [--json] FILE\n"
    "Runs PRAGMA integrity_check and PRAGMA foreign_key_check, compares the stored table\n"
    "texts with this library's, lists every trigger and view (the library creates none)\n"
    "and checks the schema version. Prints each finding on a line of its own. Opens FILE\n"
    "read-only and never changes it.\n"
    "Exit status: 0 healthy, 1 findings, 2 no readable file.\n"
    "\n"
    "  --json  print one JSON object\n";

int RunCheck(const Options& options) {
  StoreReader reader;
  std::string error;
  const std::optional<FileSet> set = FindFileSet(options.file, error);
  if (!set || !reader.Open(*set, error)) {
    return FileError(options, error);
  }
  const CheckReport report = reader.Check();
  if (options.json) {
    PrintCheckJson(std::cout, options.file, report);
  } else {
    PrintCheckText(std::cout, options.file, report);
  }
  return report.findings.empty() ? kDone : kNotDone;
}

}  // namespace

const Command kCheckCommand = {"check", kHelp, true, false, true, false, false, false, RunCheck};

}  // namespace dbi
