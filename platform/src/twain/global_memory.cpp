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

void* GlobalLock(HGLOBAL handle) {
  if (handle == nullptr) return nullptr;
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  Block* block = FindLocked(table, handle);
  if (block == nullptr) return nullptr;
  ++block->locks;
  return block->data;
}

bool GlobalUnlock(HGLOBAL handle) {
  if (handle == nullptr) return false;
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  Block* block = FindLocked(table, handle);
  if (block == nullptr || block->locks == 0) return false;
  return --block->locks != 0;
}

size_t GlobalSize(HGLOBAL handle) {
  if (handle == nullptr) return 0;
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  Block* block = FindLocked(table, handle);
  return block == nullptr ? 0 : block->size;
}

uint32_t GlobalLockCount(HGLOBAL handle) {
  if (handle == nullptr) return 0;
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  Block* block = FindLocked(table, handle);
  return block == nullptr ? 0 : block->locks;
}

bool IsGlobalHandle(HGLOBAL handle) {
  if (handle == nullptr) return false;
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  return FindLocked(table, handle) != nullptr;
}

}  // namespace rzd
