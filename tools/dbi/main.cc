// dbi: looks into a store file without changing it (show, check), and
// purges its expired session-cache entries through the library (purge).
// Exit status: 0 done or healthy, 1 findings or refused, 2 usage or no
// readable file.

#include <iostream>
#include <memory>
#include <string>

#include "clock.h"
#include "command_line.h"
#include "database_interface/database_interface.h"
#include "report.h"
#include "store_reader.h"
#include "utc_time.h"

namespace dbi {

namespace {

constexpr int kDone = 0;
constexpr int kNotDone = 1;
constexpr int kUsageOrNoFile = 2;

int FileError(const Options& options, const std::string& error) {
  std::cerr << "dbi: " << Quoted(options.file) << ": " << error << '\n';
  return kUsageOrNoFile;
}

int64_t ReferenceTime(const Options& options) {
  return options.now_ms.value_or(database_interface::NowMilliseconds());
}

int RunShow(const Options& options) {
  StoreReader reader;
  StoreView view;
  std::string error;
  if (!reader.Open(options.file, error)) {
    return FileError(options, error);
  }
  if (!reader.Read(view, error)) {
    return FileError(options, "cannot read as a store: " + error);
  }
  const ShowSettings settings{options.file, ReferenceTime(options), options.reveal_secrets};
  if (options.json) {
    PrintShowJson(std::cout, view, settings);
  } else {
    PrintShowText(std::cout, view, settings);
  }
  return kDone;
}

int RunCheck(const Options& options) {
  StoreReader reader;
  std::string error;
  if (!reader.Open(options.file, error)) {
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

// Decided on a read-only look first: the library's Init would empty a file
// of a newer schema, and would create tables in a file that is no store.
int RunPurge(const Options& options) {
  std::string error;
  {
    StoreReader reader;
    StoreView view;
    if (!reader.Open(options.file, error)) {
      return FileError(options, error);
    }
    const bool readable = reader.Read(view, error);
    const Opening opening = readable ? view.opening : Opening::kRefuse;
    const bool safe = opening == Opening::kNothing || opening == Opening::kMigrate;
    if (!safe && !options.force) {
      std::cerr << "dbi purge: " << Quoted(options.file) << ": " << (readable ? "" : error + "; ")
                << "opening would " << OpeningEffect(opening)
                << "; nothing done (--force opens it anyway)\n";
      return kNotDone;
    }
  }

  const int64_t now = ReferenceTime(options);
  const auto db = database_interface::IDatabaseInterface::CreateDatabaseInterface();
  if (db->Init(options.file.c_str()) != 0) {
    std::cerr << "dbi purge: " << Quoted(options.file)
              << ": the library cannot open it (see its log above)\n";
    return kNotDone;
  }
  StoreReader counter;
  counter.Open(options.file, error);
  const int64_t before = counter.CountRows("session_cache");
  const int32_t deleted = db->DeleteSessionCache(now);
  const int64_t after = counter.CountRows("session_cache");
  db->Close();
  if (deleted != 0) {
    std::cerr << "dbi purge: " << Quoted(options.file) << ": DeleteSessionCache failed\n";
    return kNotDone;
  }
  const auto removed = static_cast<size_t>(before - after);
  std::cout << "Removed "
            << Counted(removed, "expired session-cache entry", "expired session-cache entries")
            << " (expiry before " << FormatUtc(now) << ") from " << Quoted(options.file) << "; "
            << after << " left\n";
  return kDone;
}

}  // namespace

}  // namespace dbi

int main(int argc, char** argv) {
  const dbi::CommandLine line =
      dbi::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!line.error.empty()) {
    std::cerr << line.error << '\n';
    return dbi::kUsageOrNoFile;
  }
  if (!line.help.empty()) {
    std::cout << line.help;
    return dbi::kDone;
  }
  switch (line.options.command) {
    case dbi::Command::kShow:
      return dbi::RunShow(line.options);
    case dbi::Command::kCheck:
      return dbi::RunCheck(line.options);
    case dbi::Command::kPurge:
      return dbi::RunPurge(line.options);
  }
  return dbi::kUsageOrNoFile;
}
