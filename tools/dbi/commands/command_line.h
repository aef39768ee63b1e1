// The command line of dbi: one command of the table, its options, the store
// file and, for recover, the file to write.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_COMMANDS_COMMAND_LINE_H_
#define DATABASE_INTERFACE_TOOLS_DBI_COMMANDS_COMMAND_LINE_H_

#include <string>
#include <vector>

#include "commands/command.h"

namespace dbi {

// What the command line asks for: `help` set means print it and succeed,
// `error` set means a usage fault (one line to print, without its newline);
// otherwise run `options`.
struct CommandLine {
  const Command* command = nullptr;
  Options options;
  std::string help;
  std::string error;
};

// `args` are the arguments after the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_COMMANDS_COMMAND_LINE_H_
