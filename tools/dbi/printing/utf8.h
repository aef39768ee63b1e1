// Reading stored texts, which may hold any bytes, as UTF-8 for printing.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_PRINTING_UTF8_H_
#define DATABASE_INTERFACE_TOOLS_DBI_PRINTING_UTF8_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace dbi {

// The length of the well-formed UTF-8 sequence at `text[i]`, with its code
// point in `code`; 0 when there is none (a stray byte, a truncated sequence,
// an overlong form or a surrogate).
size_t DecodeUtf8(const std::string& text, size_t i, uint32_t& code);

// Whether `code` must not reach a terminal as it is: C0 controls, DEL, C1
// controls (0x9B alone starts a control sequence on many terminals), and
// the characters that show nothing, so that two texts printed alike are
// alike: format characters (zero-width spaces and joiners, the byte order
// mark, the soft hyphen, and the bidirectional marks, which also reorder
// what is shown around them) and the line and paragraph separators.
bool IsControlOrInvisible(uint32_t code);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_PRINTING_UTF8_H_
