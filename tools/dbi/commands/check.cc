#include "commands/command.h"

#include <iostream>
#include <optional>
#include <string>

#include "limits/work_budget.h"
#include "printing/held_output.h"
#include "printing/report.h"
#include "reading/file_set.h"
#include "reading/health_check.h"
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

// The file is let go of before anything is written, as for show.
int RunCheck(const Options& options) {
  std::string error;
  const std::optional<FileSet> set = FindFileSet(options.file, error);
  if (!set) {
    return FileError(options, error);
  }
  BoundWork(set->bytes_read());
  CheckReport report;
  {
    StoreReader reader;
    if (!reader.Open(*set, error)) {
      return FileError(options, error);
    }
    report = CheckHealth(reader);
  }
  HeldOutput output(set->bytes_read());
  if (options.json) {
    PrintCheckJson(output.stream(), options.file, report);
  } else {
    PrintCheckText(output.stream(), options.file, report);
  }
  std::cout << output.text();
  if (output.cut()) {
    return FileError(options, HeldOutput::CutReason());
  }
  return report.findings.empty() ? kDone : kNotDone;
}

}  // namespace

const Command kCheckCommand = {"check", kHelp, Files::kFile, kJson, RunCheck};

}  // namespace dbi
