// Global-memory blocks for TWAIN data sources. The handle is the address of a small header
// record kept in a table under one lock; the table, not the pointer, decides whether a handle
// is ours, so a foreign or freed handle is never dereferenced.
#include "platform/twain.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

namespace rzd {

namespace {

struct Block {
  size_t size = 0;
  uint32_t locks = 0;
  void* data = nullptr;
};

struct Table {
  std::mutex mutex;
  std::unordered_map<HGLOBAL, Block*> blocks;
};

// Never destroyed: a data source may free its blocks while the process ends.
Table& TheTable() {
  static Table* table = new Table;
  return *table;
}

Block* FindLocked(Table& table, HGLOBAL handle) {
  auto it = table.blocks.find(handle);
  return it == table.blocks.end() ? nullptr : it->second;
}

}  // namespace

HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes) {
  if (bytes == 0 || bytes > kGlobalMaxBlockBytes) return nullptr;
  auto* block = new (std::nothrow) Block;
  if (block == nullptr) return nullptr;
  block->size = bytes;
  block->data = (flags & kGlobalZeroInit) != 0 ? std::calloc(1, bytes) : std::malloc(bytes);
  if (block->data == nullptr) {
    delete block;
    return nullptr;
  }
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  try {
    table.blocks.emplace(block, block);
  } catch (...) {
    std::free(block->data);
    delete block;
    return nullptr;
  }
  return block;
}

HGLOBAL GlobalFree(HGLOBAL handle) {
  if (handle == nullptr) return nullptr;
  Block* block = nullptr;
  {
    Table& table = TheTable();
    std::lock_guard lock(table.mutex);
    block = FindLocked(table, handle);
    if (block == nullptr) return handle;
    table.blocks.erase(handle);
  }
  std::free(block->data);
  delete block;
  return nullptr;
}

namespace {

// Runs `use` on the handle's block under the table's lock; `otherwise` for a null handle or a
// handle of the wrong kind.
template <typename Use, typename Result>
Result WithBlock(HGLOBAL handle, Use use, Result otherwise) {
  if (handle == nullptr) return otherwise;
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  Block* block = FindLocked(table, handle);
  return block == nullptr ? otherwise : use(*block);
}

}  // namespace

void* GlobalLock(HGLOBAL handle) {
  return WithBlock(handle, [](Block& block) { ++block.locks; return block.data; }, static_cast<void*>(nullptr));
}

bool GlobalUnlock(HGLOBAL handle) {
  return WithBlock(handle, [](Block& block) { return block.locks != 0 && --block.locks != 0; }, false);
}

size_t GlobalSize(HGLOBAL handle) {
  return WithBlock(handle, [](Block& block) { return block.size; }, size_t{0});
}

uint32_t GlobalLockCount(HGLOBAL handle) {
  return WithBlock(handle, [](Block& block) { return block.locks; }, uint32_t{0});
}

bool IsGlobalHandle(HGLOBAL handle) {
  return WithBlock(handle, [](Block&) { return true; }, false);
}

size_t GlobalBlockCount() {
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  return table.blocks.size();
}

}  // namespace rzd
