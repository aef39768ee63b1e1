// What show and check print: readable text, or one JSON object for scripts.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_PRINTING_REPORT_H_
#define DATABASE_INTERFACE_TOOLS_DBI_PRINTING_REPORT_H_

#include <cstdint>
#include <ostream>
#include <string>

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

// `text` with quotes and backslashes escaped, ASCII controls and bytes that
// are not UTF-8 as \xNN, other controls and characters that show nothing
// (see IsControlOrInvisible) as \uNNNN or \UNNNNNNNN, so that nothing from
// a file can act on the terminal or pass for another text; Quoted adds
// double quotes.
std::string Escaped(const std::string& text);
std::string Quoted(const std::string& text);

// "1 entry", "2 entries".
std::string Counted(size_t count, const char* one, const char* many);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_PRINTING_REPORT_H_
