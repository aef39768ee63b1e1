#include "commands/command.h"

#include <sqlite3.h>

#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "limits/work_budget.h"
#include "printing/held_output.h"
#include "printing/recover_report.h"
#include "printing/text.h"
#include "reading/file_set.h"
#include "reading/sqlite_statement.h"
#include "recover/file_read.h"
#include "recover/new_file.h"
#include "recover/recovered_store.h"

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
    "FILE may hold at most 128 MiB, far more than any store; dbi holds at most 512 MiB in all.\n"
    "Exit status: 0 every row salvaged, 1 rows known to be missing (left out, on pages\n"
    "lost or damaged), OUT exists or nothing could be salvaged, 2 usage error or FILE\n"
    "unreadable or too large, 3 OUT could not be written, 4 out of memory.\n"
    "\n"
    "  --json  print one JSON object, with every row left out\n";

// The report, bounded by the file's size as every command's output is: the
// rows left out are listed one by one.
int PrintRecoverReport(const Options& options, const RecoverReport& report, bool written,
                       uint64_t file_bytes) {
  const RecoverSettings settings{options.file, options.output, written};
  HeldOutput output(file_bytes);
  if (options.json) {
    PrintRecoverJson(output.stream(), report, settings);
  } else {
    PrintRecoverText(output.stream(), report, settings);
  }
  std::cout << output.text();
  if (output.cut()) {
    return FileError(options, HeldOutput::CutReason());
  }
  return written && !report.RowsMissing() ? kDone : kNotDone;
}

// Recovered rows have been read before OUT is made, so a refusal (OUT is
// there) costs no work; OUT is taken only once the new store is complete.
int RunRecover(const Options& options) {
  const std::string refusal = Quoted(options.output) + " already exists; nothing done\n";
  if (PathTaken(options.output)) {
    std::cerr << "dbi recover: " << refusal;
    return kNotDone;
  }
  std::string error;
  const std::optional<FileSet> set = FindStoreFile(options.file, error);
  std::optional<std::string> bytes =
      set ? ReadWholeFile(set->path, error) : std::optional<std::string>();
  if (!bytes) {
    return FileError(options, error);
  }
  const uint64_t file_bytes = bytes->size();
  BoundWork(file_bytes);
  const Connection out = OpenMemory(error);
  if (!out) {
    throw std::bad_alloc();  // a database in memory fails only for memory
  }
  RecoverReport report;
  if (!RecoverStore(std::move(*bytes), out.get(), report, error)) {
    std::cerr << "dbi recover: " << Quoted(options.file)
              << ": nothing could be salvaged: " << Escaped(error) << '\n';
    return kNotDone;
  }
  if (report.Written() == 0) {
    return PrintRecoverReport(options, report, false, file_bytes);
  }
  switch (PublishNewFile(options.output, Serialized(out.get()), error)) {
    case Publish::kWritten:
      return PrintRecoverReport(options, report, true, file_bytes);
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

const Command kRecoverCommand = {"recover", kHelp, Files::kFileAndOut, kJson, RunRecover};

}  // namespace dbi
