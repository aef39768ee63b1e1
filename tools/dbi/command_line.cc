#include "command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>

namespace dbi {

namespace {

constexpr const char* kUsage =
    "Usage: dbi COMMAND [OPTIONS] [FILE]\n"
    "Looks into a store file without changing it (show, check), purges it (purge), or\n"
    "salvages a damaged one into a new file (recover).\n"
    "\n"
    "Commands:\n"
    "  show [FILE]     what the file holds and what opening it would do (FILE: ./qvdata)\n"
    "  check FILE      integrity, foreign keys, table texts and schema version\n"
    "  purge FILE      removes expired session-cache entries through the library\n"
    "  recover FILE OUT  writes OUT, a new store holding every row FILE still has\n"
    "\n"
    "Run 'dbi COMMAND --help' for a command's options.\n"
    "Exit status: 0 done or healthy, 1 unhealthy or refused, 2 usage error or no readable "
    "file,\n"
    "3 the output could not be written, 4 out of memory.\n";

constexpr const char* kShowHelp =
    "Usage: dbi show [--json] [--reveal-secrets] [--now MS] [FILE]\n"
    "Lists the file's schema version and what opening it with this library would do, the\n"
    "row counts, every start record with its core and instance records, the session-cache\n"
    "entries with their expiry in UTC, and the stored key pairs' lengths; warns about\n"
    "triggers and views. Opens FILE read-only (default ./qvdata) and never changes it.\n"
    "\n"
    "  --json            print one JSON object\n"
    "  --reveal-secrets  read and print the key pairs instead of their lengths\n"
    "  --now MS          judge expiry against MS milliseconds since the Unix epoch\n";

constexpr const char* kCheckHelp =
    "Usage: dbi check [--json] FILE\n"
    "Runs PRAGMA integrity_check and PRAGMA foreign_key_check, compares the stored table\n"
    "texts with this library's, lists every trigger and view (the library creates none)\n"
    "and checks the schema version. Prints each finding on a line of its own. Opens FILE\n"
    "read-only and never changes it.\n"
    "Exit status: 0 healthy, 1 findings, 2 no readable file.\n"
    "\n"
    "  --json  print one JSON object\n";

constexpr const char* kPurgeHelp =
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

constexpr const char* kRecoverHelp =
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

struct CommandSyntax {
  const char* name;
  Command command;
  const char* help;
  bool file_required;
  bool takes_output;
  // Which of the options the command takes.
  bool json, reveal_secrets, now, force;
};

const CommandSyntax kCommands[] = {
    {"show", Command::kShow, kShowHelp, false, false, true, true, true, false},
    {"check", Command::kCheck, kCheckHelp, true, false, true, false, false, false},
    {"purge", Command::kPurge, kPurgeHelp, true, false, false, false, true, true},
    {"recover", Command::kRecover, kRecoverHelp, true, true, true, false, false, false},
};

bool ParseMilliseconds(const std::string& text, int64_t& value) {
  if (text.empty()) {
    return false;
  }
  char* end = nullptr;
  errno = 0;
  const auto parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno == ERANGE || *end != '\0') {
    return false;
  }
  value = parsed;
  return true;
}

// Applies the option at args[i] to `options`, moving `i` past the value it
// takes, if any. The usage fault, or "" when the option is good.
std::string ApplyOption(const CommandSyntax& syntax, const std::vector<std::string>& args,
                        size_t& i, Options& options) {
  const std::string& arg = args[i];
  if (arg == "--json" && syntax.json) {
    options.json = true;
  } else if (arg == "--reveal-secrets" && syntax.reveal_secrets) {
    options.reveal_secrets = true;
  } else if (arg == "--force" && syntax.force) {
    options.force = true;
  } else if (arg == "--now" && syntax.now) {
    int64_t now = 0;
    if (i + 1 == args.size() || !ParseMilliseconds(args[i + 1], now)) {
      return "--now needs milliseconds since the Unix epoch";
    }
    options.now_ms = now;
    ++i;
  } else {
    return "unknown option '" + arg + "' (see dbi " + syntax.name + " --help)";
  }
  return "";
}

// "FILE", or "FILE and OUT" for a command that writes one.
std::string FileNames(const CommandSyntax& syntax) {
  return syntax.takes_output ? "FILE and OUT" : "FILE";
}

// Puts the file names given into `options`: false when one it needs is missing.
bool PlaceFiles(const CommandSyntax& syntax, const std::vector<std::string>& files,
                Options& options) {
  const size_t needed = syntax.takes_output ? 2 : syntax.file_required ? 1 : 0;
  if (files.size() < needed) {
    return false;
  }
  if (!files.empty()) {
    options.file = files[0];
  }
  if (files.size() == 2) {
    options.output = files[1];
  }
  return true;
}

CommandLine Error(const std::string& message) {
  CommandLine line;
  line.error = message;
  return line;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) {
    return Error("dbi: no command given (see dbi --help)");
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    CommandLine line;
    line.help = kUsage;
    return line;
  }
  const CommandSyntax* const syntax =
      std::find_if(std::begin(kCommands), std::end(kCommands),
                   [&](const CommandSyntax& candidate) { return args[0] == candidate.name; });
  if (syntax == std::end(kCommands)) {
    return Error("dbi: unknown command '" + args[0] + "' (see dbi --help)");
  }

  CommandLine line;
  line.options.command = syntax->command;
  const std::string prefix = std::string("dbi ") + syntax->name + ": ";
  std::vector<std::string> files;
  const size_t most_files = syntax->takes_output ? 2 : 1;
  bool options_ended = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
      if (files.size() == most_files) {
        return Error(prefix + "more than " + FileNames(*syntax) + " given");
      }
      files.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      line.help = syntax->help;
      return line;
    } else if (const std::string fault = ApplyOption(*syntax, args, i, line.options);
               !fault.empty()) {
      return Error(prefix + fault);
    }
  }
  if (!PlaceFiles(*syntax, files, line.options)) {
    return Error(prefix + FileNames(*syntax) + (syntax->takes_output ? " are" : " is") +
                 " required (see dbi " + syntax->name + " --help)");
  }
  return line;
}

}  // namespace dbi
