// dbi: looks into a store file without changing it (show, check), purges
// its expired session-cache entries through the library (purge), and
// salvages a damaged one into a new store file (recover).
// Exit status: 0 done or healthy, 1 findings or refused, 2 usage or no
// readable file, 3 the output could not be written, 4 out of memory.

#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "clock.h"
#include "command_line.h"
#include "database_interface/database_interface.h"
#include "escaping_log_sink.h"
#include "file_set.h"
#include "private_file.h"
#include "recover_report.h"
#include "report.h"
#include "salvage.h"
#include "sqlite_guard.h"
#include "store_reader.h"
#include "utc_time.h"
#include "whole_file.h"

namespace dbi {

namespace {

constexpr int kDone = 0;
constexpr int kNotDone = 1;
constexpr int kUsageOrNoFile = 2;
constexpr int kOutputError = 3;
constexpr int kOutOfMemory = 4;

constexpr sqlite3_int64 kSqliteHeapLimit = sqlite3_int64{512} << 20;

int FileError(const Options& options, const std::string& error) {
  std::cerr << "dbi: " << Quoted(options.file) << ": " << Escaped(error) << '\n';
  return kUsageOrNoFile;
}

// Why purge will not open the file through the library without --force, or
// "" when it may.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): what was found, in the order it was
std::string PurgeRefusal(const FileSet& set, const StoreReader& reader, const StoreView& view,
                         bool readable, const std::string& error) {
  if (reader.hot_journal()) {
    return error + "; opening it with this library would roll that write back first";
  }
  // The library never leaves either behind; opening the file would act on
  // what someone else left there, and then delete it.
  if (set.wal) {
    return "a -wal is beside it, which opening it with this library would fold into it and "
           "delete";
  }
  if (set.journal) {
    return "a -journal is beside it, which opening it with this library would delete";
  }
  if (readable && !view.stored_code.empty()) {
    return Counted(view.stored_code.size(), "trigger or view", "triggers and views") +
           " that this library never creates would run inside it (see dbi check)";
  }
  const Opening opening = readable ? view.opening : Opening::kRefuse;
  if (opening == Opening::kNothing || opening == Opening::kMigrate) {
    return "";
  }
  return (readable ? "" : error + "; ") + "opening would " + OpeningEffect(opening);
}

int64_t ReferenceTime(const Options& options) {
  return options.now_ms.value_or(database_interface::NowMilliseconds());
}

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

// The session-cache rows of `file` as it is now, or -1. A new reader each
// time: a file in WAL mode with nothing beside it is read as immutable, and
// such a reader keeps the pages it has read, blind to the library's change.
int64_t CountSessionRows(const std::string& file) {
  std::string error;
  StoreReader reader;
  const std::optional<FileSet> set = FindFileSet(file, error);
  return set && reader.Open(*set, error) ? reader.CountRows("session_cache") : -1;
}

// Decided on a read-only look first: the library's Init would empty a file
// of a newer schema, and would create tables in a file that is no store.
// The file is then opened by the name it resolved to, the one looked at.
int RunPurge(const Options& options) {
  std::string error;
  const std::optional<FileSet> set = FindFileSet(options.file, error);
  if (!set) {
    return FileError(options, error);
  }
  // Rolling such a journal back would delete the file it names: whatever a
  // stranger chose, and no store of this library's ever has one.
  if (set->journal && database_interface::NamesSuperJournal(set->path + "-journal")) {
    std::cerr << "dbi purge: " << Quoted(options.file)
              << ": its -journal names a super-journal, another file that rolling it back "
                 "would delete; nothing done, not even with --force\n";
    return kNotDone;
  }
  {
    StoreReader reader;
    StoreView view;
    if (!reader.Open(*set, error)) {
      return FileError(options, error);
    }
    const bool readable = reader.Read(view, false, error);
    const std::string refusal = PurgeRefusal(*set, reader, view, readable, error);
    if (!refusal.empty() && !options.force) {
      std::cerr << "dbi purge: " << Quoted(options.file) << ": " << Escaped(refusal)
                << "; nothing done (--force opens it anyway)\n";
      return kNotDone;
    }
  }

  const int64_t now = ReferenceTime(options);
  base::IBaseLogInterface::SetLogInstance(std::make_shared<EscapingLogSink>());
  const auto db = database_interface::IDatabaseInterface::CreateDatabaseInterface();
  if (db->Init(set->path.c_str()) != 0) {
    std::cerr << "dbi purge: " << Quoted(options.file)
              << ": the library cannot open it (see its log above)\n";
    return kNotDone;
  }
  // The count is told only when both readings worked: a failed one is -1.
  const int64_t before = CountSessionRows(set->path);
  const int32_t deleted = db->DeleteSessionCache(now);
  const int64_t after = CountSessionRows(set->path);
  db->Close();
  if (deleted != 0) {
    std::cerr << "dbi purge: " << Quoted(options.file) << ": DeleteSessionCache failed\n";
    return kNotDone;
  }
  const std::string expiry = " (expiry before " + FormatUtc(now) + ") from " + Quoted(options.file);
  // cppcheck-suppress knownConditionTrueFalse ; two readings of a file changed in between
  if (before < 0 || after < 0 || after > before) {
    std::cout << "Removed the expired session-cache entries" << expiry
              << "; how many could not be counted\n";
    return kDone;
  }
  const auto removed = static_cast<size_t>(before - after);
  std::cout << "Removed "
            << Counted(removed, "expired session-cache entry", "expired session-cache entries")
            << expiry << "; " << after << " left\n";
  return kDone;
}

// The serialized store that Salvage built in `db`, or "" when there is none.
std::string Serialized(sqlite3* db) {
  sqlite3_int64 size = 0;
  unsigned char* bytes = sqlite3_serialize(db, "main", &size, 0);
  if (bytes == nullptr) {
    throw std::bad_alloc();
  }
  std::string serialized(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
  sqlite3_free(bytes);
  return serialized;
}

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
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr);
  const std::unique_ptr<sqlite3, int (*)(sqlite3*)> out(db, &sqlite3_close_v2);
  if (rc != SQLITE_OK) {
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

int Run(const std::vector<std::string>& args) {
  const CommandLine line = ParseCommandLine(args);
  if (!line.error.empty()) {
    std::cerr << Escaped(line.error) << '\n';
    return kUsageOrNoFile;
  }
  if (!line.help.empty()) {
    std::cout << line.help;
    return kDone;
  }
  switch (line.options.command) {
    case Command::kShow:
      return RunShow(line.options);
    case Command::kCheck:
      return RunCheck(line.options);
    case Command::kPurge:
      return RunPurge(line.options);
    case Command::kRecover:
      return RunRecover(line.options);
  }
  return kUsageOrNoFile;
}

}  // namespace

}  // namespace dbi

// A report cut short is no report: an output that cannot be written (a full
// disk, a closed pipe) and running out of memory end with statuses of their
// own, never with 0 and never with an abort.
int main(int argc, char** argv) {
  // A store of this library's takes a few megabytes to read or salvage; a
  // crafted file can ask SQLite for gigabytes (values computed on reading,
  // payloads and rows the recovery takes at their word). Far below a small
  // machine's memory, this turns that into an error before the system's
  // out-of-memory killer picks a process.
  (void)sqlite3_hard_heap_limit64(dbi::kSqliteHeapLimit);
#if defined(SIGPIPE)
  // A closed pipe is an output that cannot be written: a status, not death.
  (void)std::signal(SIGPIPE, SIG_IGN);
#endif
  // Before any file is opened: a file swapped for a FIFO after it was
  // judged must not block dbi, and a planted journal must not make purge
  // delete the file it names. A system without the unix layer has neither.
  (void)database_interface::GuardSqliteFiles(database_interface::FileSystems::kLocalOnly);
  int status = dbi::kDone;
  try {
    status = dbi::Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::bad_alloc&) {
    (void)std::fputs("dbi: out of memory\n", stderr);
    return dbi::kOutOfMemory;
  }
  if (!std::cout.flush()) {
    (void)std::fputs("dbi: cannot write the output\n", stderr);
    return dbi::kOutputError;
  }
  return status;
}
