// A command of dbi: its syntax, its help and its body, as one row of the
// table the command line is parsed against and main runs from. A new
// command is a row in commands.cc and a file of its own beside it.
//
// How dbi's functions fail, here and in every layer below: a function that
// can fail returns bool, or std::optional<T> when it makes a T, and puts the
// reason, in words dbi can print, in its last parameter `std::string&
// error`. Two kinds of result keep a shape of their own because their
// callers need it: a reader of many rows (StoreRows) keeps its first failure
// for one check after the last row, as a stream does; and PublishNewFile
// answers kTaken apart from kFailed, which recover prints and exits with
// differently. Running out of memory throws std::bad_alloc.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_COMMANDS_COMMAND_H_
#define DATABASE_INTERFACE_TOOLS_DBI_COMMANDS_COMMAND_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace dbi {

// dbi's exit statuses.
constexpr int kDone = 0;           // done, or healthy
constexpr int kNotDone = 1;        // findings, refused, or failed
constexpr int kUsageOrNoFile = 2;  // a usage fault, or no readable file
constexpr int kOutputError = 3;    // the output could not be written
constexpr int kOutOfMemory = 4;

// What the command line gave a command.
struct Options {
  std::string file = "./qvdata";
  std::string output;  // recover's OUT
  bool json = false;
  bool reveal_secrets = false;
  bool force = false;
  std::optional<int64_t> now_ms;  // the reference time; the clock when absent
};

// The options a command may take, as a set.
enum Option : unsigned {
  kJson = 1U << 0,
  kRevealSecrets = 1U << 1,
  kNow = 1U << 2,
  kForce = 1U << 3,
};

// The files a command takes.
enum class Files { kFileOrDefault, kFile, kFileAndOut };

struct Command {
  const char* name;
  const char* help;
  Files files;
  unsigned options;  // of Option
  // The command's body: its exit status. Out of memory it throws
  // std::bad_alloc, which main turns into kOutOfMemory.
  int (*run)(const Options& options);
};

// Prints that `options.file` could not be read as asked, and why:
// kUsageOrNoFile.
int FileError(const Options& options, const std::string& error);

// The time expiry is judged against: --now, or the clock.
int64_t ReferenceTime(const Options& options);

// Each command's row, defined in the command's own file.
extern const Command kShowCommand;
extern const Command kCheckCommand;
extern const Command kPurgeCommand;
extern const Command kRecoverCommand;

// Every command, in the order the usage lists them.
extern const Command* const kCommands[];
extern const size_t kCommandCount;

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_COMMANDS_COMMAND_H_
