#include "commands/command.h"

#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "database_interface/database_interface.h"
#include "files/store_file.h"
#include "limits/work_budget.h"
#include "printing/escaping_log_sink.h"
#include "printing/report.h"
#include "printing/utc_time.h"
#include "reading/file_set.h"
#include "reading/store_reader.h"
#include "reading/store_tables.h"

namespace dbi {

namespace {

constexpr const char* kHelp =
    "Usage: dbi purge [--now MS] [--force] FILE\n"
    "Opens FILE with the library and deletes the session-cache entries whose expiry lies\n"
    "before now. Refuses, without opening it, a file that opening would empty (a newer\n"
    "schema), refuse (an unreadable version or no database) or stamp (no version), and\n"
    "one with a hot journal, a -journal or -wal beside it, or triggers or views.\n"
    "Exit status: 0 purged, 1 refused or failed, 2 no readable file.\n"
    "\n"
    "  --now MS  purge against MS milliseconds since the Unix epoch\n"
    "  --force   open the file even so: a hot journal is rolled back (its write is lost)\n"
    "            and a -wal folded in; a journal that names a super-journal (another\n"
    "            file that rolling it back would delete) is refused even so\n";

// Why purge will not open the file through the library: "" when it may.
struct Refusal {
  std::string reason;
  bool forced_past = true;  // whether --force opens it even so
};

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): what was found, in the order it was
Refusal PurgeRefusal(const FileSet& set, const StoreReader& reader, const StoreView& view,
                     bool readable, const std::string& error) {
  if (reader.hot_journal()) {
    return {error + "; opening it with this library would roll that write back first"};
  }
  // The library never leaves either behind; opening the file would act on
  // what someone else left there, and then delete it.
  if (set.wal) {
    return {
        "a -wal is beside it, which opening it with this library would fold into it and "
        "delete"};
  }
  if (set.journal) {
    return {"a -journal is beside it, which opening it with this library would delete"};
  }
  // The library would fail on it too, or work on it without end.
  if (!readable) {
    return {"its rows cannot all be read (" + error + ")", false};
  }
  if (!view.stored_code.empty()) {
    return {Counted(view.stored_code.size(), "trigger or view", "triggers and views") +
            " that this library never creates would run inside it (see dbi check)"};
  }
  if (view.opening == database_interface::Opening::kNothing ||
      view.opening == database_interface::Opening::kMigrate) {
    return {};
  }
  return {"opening would " + OpeningEffect(view.opening),
          view.opening != database_interface::Opening::kRefuse};
}

// The session-cache rows of `file` as it is now, or -1. A new reader each
// time: a file in WAL mode with nothing beside it is read as immutable, and
// such a reader keeps the pages it has read, blind to the library's change.
int64_t CountSessionRows(const std::string& file) {
  std::string error;
  StoreReader reader;
  const std::optional<FileSet> set = FindFileSet(file, error);
  return set && reader.Open(*set, error) ? reader.CountRows(SessionTable()) : -1;
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
  if (set->journal && database_interface::JournalNamesForeignFile(set->path)) {
    std::cerr << "dbi purge: " << Quoted(options.file)
              << ": its -journal names a super-journal, another file that rolling it back "
                 "would delete; nothing done, not even with --force\n";
    return kNotDone;
  }
  BoundWork(set->bytes_read());
  {
    StoreReader reader;
    StoreView view;
    if (!reader.Open(*set, error)) {
      return FileError(options, error);
    }
    const bool readable = reader.Read(view, false, error);
    const Refusal refusal = PurgeRefusal(*set, reader, view, readable, error);
    if (!refusal.reason.empty() && (!options.force || !refusal.forced_past)) {
      std::cerr << "dbi purge: " << Quoted(options.file) << ": " << Escaped(refusal.reason)
                << (refusal.forced_past ? "; nothing done (--force opens it anyway)\n"
                                        : "; nothing done, not even with --force\n");
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
  const std::string expiry = " (expiry before " + TimeText(now) + ") from " + Quoted(options.file);
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

}  // namespace

const Command kPurgeCommand = {"purge", kHelp, Files::kFile, kNow | kForce, RunPurge};

}  // namespace dbi
