// Global memory handed to a TWAIN data source: movable blocks reached through handles.
//
// A handle names one block with a header (its size and lock count); GlobalLock gives the
// block's bytes and counts one lock, GlobalUnlock takes one back. Handles are kept in a
// process-wide table, so a handle this area did not hand out (a pointer of another kind, or a
// block already freed) is refused without ever being read. Every function may be called from
// any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rzd {

// An opaque handle of a global-memory block; nullptr is no block.
using HGLOBAL = void*;

// Allocation flags (GlobalAlloc): the block is movable (reached only through its handle) and,
// with kGlobalZeroInit, filled with zero bytes.
constexpr uint32_t kGlobalMovable = 0x0002;
constexpr uint32_t kGlobalZeroInit = 0x0040;

// Largest block handed out; larger requests answer nullptr.
constexpr size_t kGlobalMaxBlockBytes = size_t{1} << 30;

// A new block of `bytes` bytes; nullptr for 0 bytes, above kGlobalMaxBlockBytes, or when the
// memory cannot be had. Without kGlobalZeroInit the bytes hold whatever was there.
HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes);

// Frees the block (whatever its lock count). nullptr when it was freed, else the handle itself
// (a handle of the wrong kind, as Windows answers a failure). A null handle does nothing and
// answers nullptr.
HGLOBAL GlobalFree(HGLOBAL handle);

// The block's bytes with one more lock counted; nullptr for a null handle or a handle of the
// wrong kind.
void* GlobalLock(HGLOBAL handle);

// Takes one lock back. True while the block stays locked afterwards; false when the count is
// now 0, was already 0, or the handle is of the wrong kind.
bool GlobalUnlock(HGLOBAL handle);

// The block's size in bytes; 0 for a null handle or a handle of the wrong kind.
size_t GlobalSize(HGLOBAL handle);

// The block's lock count; 0 for a null handle or a handle of the wrong kind.
uint32_t GlobalLockCount(HGLOBAL handle);

// True for a live handle handed out by GlobalAlloc.
bool IsGlobalHandle(HGLOBAL handle);

// The blocks handed out and not yet freed, in the whole process (for leak checks).
size_t GlobalBlockCount();

}  // namespace rzd
