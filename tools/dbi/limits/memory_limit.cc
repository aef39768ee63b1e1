#include "limits/memory_limit.h"

#include <sqlite3.h>

#include <cstddef>
#include <new>

namespace dbi {

void LimitMemory() {
  (void)sqlite3_hard_heap_limit64(kMemoryLimit);
}

}  // namespace dbi

// Every allocation of dbi's own code goes through SQLite's allocator, whose
// count the hard heap limit holds. The other forms of new and delete (arrays,
// nothrow) call these; over-aligned ones, which dbi never makes,
// stay the library's. A sanitizer keeps its own allocator, and its runs are
// not bounded in memory.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define DBI_KEEP_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define DBI_KEEP_ALLOCATOR 1
#endif
#endif

#if !defined(DBI_KEEP_ALLOCATOR)
void* operator new(std::size_t size) {
  // SQLite answers a request for nothing with nothing.
  void* block = sqlite3_malloc64(size == 0 ? 1 : size);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  return block;
}

void operator delete(void* block) noexcept {
  sqlite3_free(block);
}

void operator delete(void* block, std::size_t /*size*/) noexcept {
  sqlite3_free(block);
}
#endif
