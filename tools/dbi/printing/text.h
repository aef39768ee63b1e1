// How dbi words what it prints: texts from a file or from SQLite escaped so
// that nothing in them acts on a terminal or passes for another text, and
// counted nouns.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_PRINTING_TEXT_H_
#define DATABASE_INTERFACE_TOOLS_DBI_PRINTING_TEXT_H_

#include <cstddef>
#include <string>

namespace dbi {

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

#endif  // DATABASE_INTERFACE_TOOLS_DBI_PRINTING_TEXT_H_
