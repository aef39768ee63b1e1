// The command line of dbi: one command, its options, the store file and,
// for recover, the file to write.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_COMMAND_LINE_H_
#define DATABASE_INTERFACE_TOOLS_DBI_COMMAND_LINE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dbi {

enum class Command { kShow, kCheck, kPurge, kRecover };

struct Options {
  Command command = Command::kShow;
  std::string file = "./qvdata";
  std::string output;  // recover's OUT
  bool json = false;
  bool reveal_secrets = false;
  bool force = false;
  std::optional<int64_t> now_ms;  // the reference time; the clock when absent
};

// What the command line asks for: `help` set means print it and succeed,
// `error` set means a usage fault (one line to print, without its newline);
// otherwise run `options`.
struct CommandLine {
  Options options;
  std::string help;
  std::string error;
};

// `args` are the arguments after the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_COMMAND_LINE_H_
