// Task memory: one allocator for blocks that cross component boundaries.
#include "platform/com.h"

#include <cstdlib>

void* CoTaskMemAlloc(size_t size) { return std::malloc(size == 0 ? 1 : size); }

void* CoTaskMemRealloc(void* block, size_t size) {
  if (block == nullptr) return CoTaskMemAlloc(size);
  if (size == 0) {  // a zero size frees the block
    std::free(block);
    return nullptr;
  }
  return std::realloc(block, size);
}

void CoTaskMemFree(void* block) { std::free(block); }
