// dbi's command line against its command table: which command runs with
// which options and files, or the one line that says what is wrong.

#include "commands/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dbi {
namespace {

// The parse of `args` in a few words: "help", "error: ..." or the command
// with what it was given.
std::string Parsed(const std::vector<std::string>& args) {
  const CommandLine line = ParseCommandLine(args);
  if (!line.help.empty()) {
    return line.help.rfind("Usage: dbi ", 0) == 0 ? "help " + line.help.substr(11, 4) : "help?";
  }
  if (!line.error.empty()) {
    return "error: " + line.error;
  }
  const Options& o = line.options;
  return std::string(line.command->name) + " " + o.file +
         (o.output.empty() ? "" : " > " + o.output) + (o.json ? " json" : "") +
         (o.reveal_secrets ? " reveal" : "") + (o.force ? " force" : "") +
         (o.now_ms ? " now=" + std::to_string(*o.now_ms) : "");
}

TEST(DbiCommandLineTest, EachCommandTakesItsOwnOptionsAndFiles) {
  const char kNoNow[] = "error: dbi purge: --now needs milliseconds since the Unix epoch";
  const struct {
    std::vector<std::string> args;
    const char* parsed;
  } rows[] = {
      {{"show"}, "show ./qvdata"},
      {{"show", "--json", "--reveal-secrets", "--now", "-5", "a.db"},
       "show a.db json reveal now=-5"},
      {{"check", "--json", "a.db"}, "check a.db json"},
      {{"purge", "a.db", "--force", "--now", "9000000000000"},
       "purge a.db force now=9000000000000"},
      {{"recover", "--json", "a.db", "b.db"}, "recover a.db > b.db json"},
      {{"show", "--", "--json"}, "show --json"},
      {{"show", "-"}, "show -"},
      {{"--help"}, "help COMM"},
      {{"check", "x", "-h"}, "help chec"},
      {{}, "error: dbi: no command given (see dbi --help)"},
      {{"list"}, "error: dbi: unknown command 'list' (see dbi --help)"},
      {{"show", "--force"}, "error: dbi show: unknown option '--force' (see dbi show --help)"},
      {{"check"}, "error: dbi check: FILE is required (see dbi check --help)"},
      {{"recover", "a.db"},
       "error: dbi recover: FILE and OUT are required (see dbi recover --help)"},
      {{"show", "a.db", "b.db"}, "error: dbi show: more than FILE given"},
      // No value, not a number, none at all, more than 64 bits.
      {{"purge", "a.db", "--now"}, kNoNow},
      {{"purge", "--now", "soon", "a.db"}, kNoNow},
      {{"purge", "--now", "", "a.db"}, kNoNow},
      {{"purge", "--now", "99999999999999999999", "a.db"}, kNoNow},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Parsed(row.args), row.parsed);
  }
}

}  // namespace
}  // namespace dbi
