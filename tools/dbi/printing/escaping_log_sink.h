// The log sink dbi puts in place before it opens a file through the library.
// The library's lines quote the file's path and what SQLite says about the
// file, which a hostile file can fill with terminal controls.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_PRINTING_ESCAPING_LOG_SINK_H_
#define DATABASE_INTERFACE_TOOLS_DBI_PRINTING_ESCAPING_LOG_SINK_H_

#include <cstdint>

#include "base/log.h"

namespace dbi {

// Writes each line to standard error as the default sink does, escaped as
// dbi escapes everything it prints.
class EscapingLogSink final : public base::IBaseLogInterface {
 public:
  void WriteLog(const int32_t& level, const int32_t& tid, const char* format, ...) override;
};

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_PRINTING_ESCAPING_LOG_SINK_H_
