#include "commands/command.h"

#include <sqlite3.h>

#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "printing/recover_report.h"
#include "printing/report.h"
#include "reading/file_set.h"
#include "reading/sqlite_statement.h"
#include "salvage/salvage.h"
#include "salvage/whole_file.h"

namespace dbi {

namespace {

constexpr const char* kHelp =
    "Usage: dbi recover [--json] FILE OUT\n"
    "Salvages a damaged store file. Reads FILE into memory, never changing it or creating\n"
    "anything beside it, gets back every row SQLite's recovery extension can read (through\n"
    "the first page of a new store when FILE's own is unusable) and writes OUT: a new store\n"
    "at this library's schema version with every row that fits, with its id. A core or\n"
    "instance record whose start is gone, a second row with the same id or session key (the\n"
    "later expiry stays), a value of the wrong type and a row in no store table are left out\n"
    "and counted. OUT must not exist; it is made owner-only, and only once complete.\n"
    "FILE may hold at most 128 MiB, far more than any store; dbi's SQLite gets 512 MiB.\n"
    "Exit status: 0 rows salvaged (some may have been left out), 1 OUT exists or nothing\n"
    "could be salvaged, 2 usage error or FILE unreadable or too large, 3 OUT could not be\n"
    "written, 4 out of memory.\n"
    "\n"
    "  --json  print one JSON object, with every row left out\n";

void PrintRecoverReport(const Options& options, const SalvageReport& report, bool written) {
  const RecoverSettings settings{options.file, options.output, written};
  if (options.json) {
    PrintRecoverJson(std::cout, report, settings);
  } else {
    PrintRecoverText(std::cout, report, settings);
  }
}

// Salvaged rows have been read before OUT is made, so a refusal (OUT is
// there) costs no work; OUT is taken only once the new store is complete.
int RunRecover(const Options& options) {
  const std::string refusal = Quoted(options.output) + " already exists; nothing done\n";
  if (PathTaken(options.output)) {
    std::cerr << "dbi recover: " << refusal;
    return kNotDone;
  }
  std::string error;
  const std::optional<FileSet> set = FindStoreFile(options.file, error);
  const std::optional<std::string> bytes =
      set ? ReadWholeFile(set->path, error) : std::optional<std::string>();
  if (!bytes) {
    return FileError(options, error);
  }
  const Connection out = OpenMemory(error);
  if (!out) {
    throw std::bad_alloc();  // an in-memory database fails only for memory
  }
  SalvageReport report;
  if (!Salvage(*bytes, out.get(), report, error)) {
    std::cerr << "dbi recover: " << Quoted(options.file)
              << ": nothing could be salvaged: " << Escaped(error) << '\n';
    return kNotDone;
  }
  if (report.Written() == 0) {
    PrintRecoverReport(options, report, false);
    return kNotDone;
  }
  switch (PublishNewFile(options.output, Serialized(out.get()), error)) {
    case Publish::kWritten:
      PrintRecoverReport(options, report, true);
      return kDone;
    case Publish::kTaken:
      std::cerr << "dbi recover: " << refusal;
      return kNotDone;
    case Publish::kFailed:
      break;
  }
  std::cerr << "dbi recover: cannot write " << Quoted(options.output) << ": " << Escaped(error)
            << '\n';
  return kOutputError;
}

}  // namespace

const Command kRecoverCommand = {"recover", kHelp, true,  true,      true,
                                 false,     false, false, RunRecover};

}  // namespace dbi
