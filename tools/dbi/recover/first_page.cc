#include "salvage/first_page.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

#include "reading/sqlite_statement.h"
#include "schema/new_store.h"

namespace dbi {

namespace {

constexpr char kMagic[] = "SQLite format 3";  // with its NUL, the header's first 16 bytes
constexpr size_t kPageSizeOffset = 16;
constexpr size_t kReadVersionOffset = 19;
constexpr char kWalVersion = 2;
constexpr size_t kPageCountOffset = 28;
constexpr uint32_t kDefaultPageSize = 4096;
constexpr uint32_t kSmallestPageSize = 512;
constexpr uint32_t kLargestPageSize = 65536;

bool HasMagic(const std::string& file) {
  return file.size() >= sizeof kMagic && std::memcmp(file.data(), kMagic, sizeof kMagic) == 0;
}

uint32_t ReadU16(const std::string& bytes, size_t offset) {
  return static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset]) << 8 |
                               static_cast<unsigned char>(bytes[offset + 1]));
}

void WriteU32(std::string& bytes, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) {
    bytes[offset + i] = static_cast<char>((value >> (8 * (3 - i))) & 0xff);
  }
}

bool IsPageSize(uint32_t size) {
  return size >= kSmallestPageSize && size <= kLargestPageSize && (size & (size - 1)) == 0;
}

}  // namespace

uint32_t HeaderPageSize(const std::string& file) {
  if (file.size() < kPageSizeOffset + 2 || !HasMagic(file)) {
    return 0;
  }
  const uint32_t stored = ReadU16(file, kPageSizeOffset);
  const uint32_t size = stored == 1 ? kLargestPageSize : stored;  // 65536 does not fit 16 bits
  return IsPageSize(size) ? size : 0;
}

bool HeaderSaysWal(const std::string& file) {
  return file.size() > kReadVersionOffset && HasMagic(file) &&
         file[kReadVersionOffset] == kWalVersion;
}

std::vector<uint32_t> PageSizesToTry(const std::string& file) {
  if (const uint32_t size = HeaderPageSize(file); size != 0) {
    return {size};
  }
  std::vector<uint32_t> sizes = {kDefaultPageSize};
  for (uint32_t size = kSmallestPageSize; size <= kLargestPageSize; size *= 2) {
    if (size != kDefaultPageSize && !file.empty() && file.size() % size == 0) {
      sizes.push_back(size);
    }
  }
  return sizes;
}

std::string WithNewFirstPage(const std::string& file, uint32_t page_size) {
  std::string error;
  const Connection db = OpenMemory(error);
  if (!db || !Exec(db.get(), "PRAGMA page_size = " + std::to_string(page_size), error) ||
      !database_interface::MakeNewStore(db.get(), error)) {
    return "";
  }
  sqlite3_int64 size = 0;
  unsigned char* bytes = sqlite3_serialize(db.get(), "main", &size, 0);
  if (bytes == nullptr || size < static_cast<sqlite3_int64>(page_size)) {
    sqlite3_free(bytes);
    return "";
  }
  std::string patched(reinterpret_cast<const char*>(bytes), page_size);
  sqlite3_free(bytes);
  // The new store's header counts its own few pages; the file has more.
  const auto pages = static_cast<uint32_t>(std::max<size_t>(1, file.size() / page_size));
  WriteU32(patched, kPageCountOffset, pages);
  if (file.size() > page_size) {
    patched += file.substr(page_size);
  }
  return patched;
}

}  // namespace dbi
