// What show and check print: readable text, or one JSON object for scripts.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_PRINTING_REPORT_H_
#define DATABASE_INTERFACE_TOOLS_DBI_PRINTING_REPORT_H_

#include <cstdint>
#include <ostream>
#include <string>

#include "printing/text.h"
#include "reading/health_check.h"
#include "reading/store_reader.h"

namespace dbi {

struct ShowSettings {
  std::string file;
  int64_t now_ms = 0;  // expiry is judged against this time
  bool reveal_secrets = false;
};

// `view`, then each row as `rows` reads it. The listing ends early at a
// failed read, which `rows` then tells, or once `out` has failed; the JSON
// is then left unfinished.
void PrintShowText(std::ostream& out, const StoreView& view, StoreRows& rows,
                   const ShowSettings& settings);
void PrintShowJson(std::ostream& out, const StoreView& view, StoreRows& rows,
                   const ShowSettings& settings);

// Text: each finding on a line of its own, then a summary line.
void PrintCheckText(std::ostream& out, const std::string& file, const CheckReport& report);
void PrintCheckJson(std::ostream& out, const std::string& file, const CheckReport& report);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_PRINTING_REPORT_H_
