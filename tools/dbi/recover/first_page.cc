#include "recover/first_page.h"

#include <algorithm>
#include <string_view>

#include "files/sqlite_format.h"
#include "reading/new_store.h"
#include "reading/sqlite_statement.h"

namespace dbi {

namespace format = database_interface::sqlite_format;

std::vector<uint32_t> PageSizesToTry(const std::string& file) {
  if (const uint32_t size = format::HeaderPageSize(file); size != 0) {
    return {size};
  }
  std::vector<uint32_t> sizes = {format::kDefaultPageSize};
  for (uint32_t size = format::kSmallestPageSize; size <= format::kLargestPageSize; size *= 2) {
    if (size != format::kDefaultPageSize && !file.empty() && file.size() % size == 0) {
      sizes.push_back(size);
    }
  }
  return sizes;
}

std::string WithNewFirstPage(const std::string& file, uint32_t page_size) {
  std::string error;
  const Connection db = OpenMemory(error);
  if (!db || !Exec(db.get(), "PRAGMA page_size = " + std::to_string(page_size), error) ||
      !MakeNewStore(db.get(), error)) {
    return "";
  }
  std::string patched = Serialized(db.get());
  if (patched.size() < page_size) {
    return "";
  }
  patched.resize(page_size);
  // The new store's header counts its own few pages; the file has more.
  const auto pages = static_cast<uint32_t>(std::max<size_t>(1, file.size() / page_size));
  format::WriteBigEndian32(patched, format::kPageCountOffset, pages);
  if (file.size() > page_size) {
    patched.append(file.data() + page_size, file.size() - page_size);
  }
  return patched;
}

}  // namespace dbi
