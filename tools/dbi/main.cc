// dbi: looks into a store file without changing it (show, check), purges
// its expired session-cache entries through the library (purge), and
// salvages a damaged one into a new store file (recover).
// Exit status: 0 done or healthy, 1 findings or refused, 2 usage or no
// readable file, 3 the output could not be written, 4 out of memory.

#include <csignal>
#include <cstdio>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "commands/command_line.h"
#include "files/sqlite_guard.h"
#include "limits/memory_limit.h"
#include "printing/text.h"
#include "reading/plain_opens.h"

namespace dbi {

namespace {

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
  return line.command->run(line.options);
}

}  // namespace

}  // namespace dbi

// A report cut short is no report: an output that cannot be written (a full
// disk, a closed pipe) and running out of memory end with statuses of their
// own, never with 0 and never with an abort.
int main(int argc, char** argv) {
  dbi::LimitMemory();
#if defined(SIGPIPE)
  // A closed pipe is an output that cannot be written: a status, not death.
  (void)std::signal(SIGPIPE, SIG_IGN);
#endif
  // Before any file is opened: a file swapped for a FIFO after it was
  // judged must not block dbi, and a planted journal must not make purge
  // delete the file it names. A system without the unix layer has neither.
  (void)dbi::OpenOnlyPlainFiles();
  (void)database_interface::GuardSqliteFiles();
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
