// The first page of a store file: its header and the schema that names
// every table's root page. A store this library creates always has the
// same one for a page size, since its tables are created in a fixed order,
// so a file whose own first page is gone can be read through a new one.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_RECOVER_FIRST_PAGE_H_
#define DATABASE_INTERFACE_TOOLS_DBI_RECOVER_FIRST_PAGE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace dbi {

// The page sizes to try on `file` when its header cannot be trusted: the
// header's own if it gives one, else SQLite's default first, then every
// other size SQLite allows that divides the file's length.
std::vector<uint32_t> PageSizesToTry(const std::string& file);

// `file` with its first `page_size` bytes replaced by the first page of a
// store made anew at that page size (its tables, in the library's order,
// and its version row), whose header counts the file's whole pages and no
// free page; "" when no such store can be made (out of memory).
std::string WithNewFirstPage(const std::string& file, uint32_t page_size);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_RECOVER_FIRST_PAGE_H_
