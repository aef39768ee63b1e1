#include "commands/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <sqlite3.h>

#include "database_interface/version.h"
#include "schema/schema.h"

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
    "Run 'dbi COMMAND --help' for a command's options, 'dbi --version' for the versions.\n"
    "Exit status: 0 done or healthy, 1 unhealthy or refused, 2 usage error or no readable "
    "file,\n"
    "3 the output could not be written, 4 out of memory.\n";

// What a support desk asks first: which library judged the file, and on
// which SQLite.
std::string VersionText() {
  return std::string("dbi of database_interface ") + DATABASE_INTERFACE_VERSION_STRING +
         " (store schema " + database_interface::kSchemaVersion + "), on SQLite " +
         sqlite3_libversion() + "\n";
}

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
std::string ApplyOption(const Command& syntax, const std::vector<std::string>& args, size_t& i,
                        Options& options) {
  const std::string& arg = args[i];
  const auto takes = [&](Option option) { return (syntax.options & option) != 0; };
  if (arg == "--json" && takes(kJson)) {
    options.json = true;
  } else if (arg == "--reveal-secrets" && takes(kRevealSecrets)) {
    options.reveal_secrets = true;
  } else if (arg == "--force" && takes(kForce)) {
    options.force = true;
  } else if (arg == "--now" && takes(kNow)) {
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
std::string FileNames(const Command& syntax) {
  return syntax.files == Files::kFileAndOut ? "FILE and OUT" : "FILE";
}

// Puts the file names given into `options`: false when one it needs is missing.
bool PlaceFiles(const Command& syntax, const std::vector<std::string>& files, Options& options) {
  const size_t needed = syntax.files == Files::kFileAndOut ? 2
                        : syntax.files == Files::kFile     ? 1
                                                           : 0;
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
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help" || args[0] == "--version") {
    CommandLine line;
    line.help = args[0] == "--version" ? VersionText() : kUsage;
    return line;
  }
  const Command* const* const found =
      std::find_if(kCommands, kCommands + kCommandCount,
                   [&](const Command* candidate) { return args[0] == candidate->name; });
  if (found == kCommands + kCommandCount) {
    return Error("dbi: unknown command '" + args[0] + "' (see dbi --help)");
  }
  const Command* const syntax = *found;

  CommandLine line;
  line.command = syntax;
  const std::string prefix = std::string("dbi ") + syntax->name + ": ";
  std::vector<std::string> files;
  const size_t most_files = syntax->files == Files::kFileAndOut ? 2 : 1;
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
    return Error(prefix + FileNames(*syntax) +
                 (syntax->files == Files::kFileAndOut ? " are" : " is") + " required (see dbi " +
                 syntax->name + " --help)");
  }
  return line;
}

}  // namespace dbi
