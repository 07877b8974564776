#include "variables/pool.h"

#include <cstdlib>
#include <cstring>

#include "base/text16.h"

namespace tv {
namespace {

struct StringPool {
  void** records = nullptr;
  uint32_t capacity = 0;
  uint32_t count = 0;
  bool owns_strings = true;
};

StringPool g_pool;

}  // namespace

void reserve_pool(uint32_t needed) {
  if (g_pool.capacity >= needed) return;
  uint32_t c = g_pool.capacity | 1;
  while (c < needed) {
    if (c > 0x7FFFFFFFu) {  // doubling would overflow: ask for the impossible
      c = 0xFFFFFFFFu;
      break;
    }
    c *= 2;
  }
  uint64_t bytes = uint64_t(c) * sizeof(void*);
  if (bytes > SIZE_MAX) std::abort();  // the allocator's out-of-memory failure
  void** array = static_cast<void**>(std::malloc(size_t(bytes)));
  if (array == nullptr) std::abort();
  if (g_pool.count != 0) std::memcpy(array, g_pool.records, g_pool.count * sizeof(void*));
  std::free(g_pool.records);
  g_pool.records = array;
  g_pool.capacity = c;
}

bool pool_record(void* block) {
  if (block == nullptr) return false;
  reserve_pool(g_pool.count + 1);
  g_pool.records[g_pool.count++] = block;
  return true;
}

char16_t* pool_string(const char16_t* text) {
  if (text == nullptr) return nullptr;
  size_t n = u16len(text) + 1;
  if (n > 0x7FFFFFFFu) return nullptr;
  char16_t* copy = static_cast<char16_t*>(std::malloc(2 * n));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text, 2 * n);
  pool_record(copy);
  return copy;
}

void free_string_pool() {
  if (g_pool.owns_strings) {
    for (uint32_t i = 0; i < g_pool.count; ++i) std::free(g_pool.records[i]);
    g_pool.count = 0;
  }
  std::free(g_pool.records);
  g_pool.records = nullptr;
  g_pool.capacity = 0;
}

uint32_t pool_capacity() { return g_pool.capacity; }
uint32_t pool_count() { return g_pool.count; }

}  // namespace tv
