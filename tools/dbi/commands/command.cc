#include "commands/command.h"

#include <iostream>

#include "printing/text.h"
#include "store/clock.h"

namespace dbi {

int FileError(const Options& options, const std::string& error) {
  std::cerr << "dbi: " << Quoted(options.file) << ": " << Escaped(error) << '\n';
  return kUsageOrNoFile;
}

int64_t ReferenceTime(const Options& options) {
  return options.now_ms.value_or(database_interface::NowMilliseconds());
}

}  // namespace dbi
