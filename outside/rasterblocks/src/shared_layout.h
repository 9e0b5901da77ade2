// The layout of a raster-block buffer: everything writer and reader share lies in the buffer.
//
//   offset 0             the header: the geometry (written once by the allocating process) and
//                        the counters both sides change (atomic words)
//   recordsOffset        one record per block: fill, boundary, error, description
//   dataOffset           the blocks, blockSize bytes each, one after the other
//
// Blocks pass in order, as in a ring: the writer finishes block `produced` (counted from 0,
// wrapping at 2^32; its place is produced % blockCount) and counts `produced` up; the reader
// takes block `consumed` while consumed != produced and counts `consumed` up when it gives it
// back. The writer may fill a block while produced - consumed < blockCount. Each side bumps the
// other's signal word after a change and wakes it (WaitOnSharedAddress).
//
// The writer is another process than the one that wrote the header: it copies the geometry once
// (ReadGeometry) and works from its copy, never from the header again.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "rasterblocks/block_reader.h"

namespace rzd::rasterblocks {

inline constexpr uint32_t kLayoutMagic = 0x4B425A52;  // "RZBK"
inline constexpr uint32_t kLayoutVersion = 1;
inline constexpr uint32_t kMaxBlockCount = 65536;
inline constexpr uint64_t kDataAlignment = 4096;

// The part of the header written once, by the process that allocates the buffer.
struct HeaderFields {
  uint32_t magic;
  uint32_t version;
  uint64_t blockSize;
  uint32_t blockCount;
  uint32_t readerPid;     // the reading process
  uint64_t readerStart;   // its start time (platform/process.h), telling it from a later process
  uint64_t recordsOffset;
  uint64_t dataOffset;
};

struct SharedHeader {
  HeaderFields fields;
  std::atomic<uint32_t> produced;
  std::atomic<uint32_t> consumed;
  std::atomic<uint32_t> writerSignal;  // bumped when the writer may find a change
  std::atomic<uint32_t> readerSignal;  // bumped when the reader may find a change
  std::atomic<uint32_t> endLevel;      // non-zero once the reader ended the stream
};
static_assert(sizeof(SharedHeader) <= 128, "the header fits its place before the records");
inline constexpr uint64_t kRecordsOffset = 128;

struct BlockRecord {
  std::atomic<uint64_t> fill;
  std::atomic<int32_t> boundary;
  std::atomic<int32_t> error;
  std::atomic<int32_t> properties[kRasterPropertyCount];
};

// Where everything lies; a copy each process keeps for itself.
struct Geometry {
  uint64_t blockSize = 0;
  uint32_t blockCount = 0;
  uint64_t recordsOffset = 0;
  uint64_t dataOffset = 0;
  uint64_t totalSize = 0;  // dataOffset + blockCount * blockSize
  uint32_t readerPid = 0;
  uint64_t readerStart = 0;
};

// The geometry of a new buffer of `blockCount` blocks of `blockSize` bytes; nullopt for a size or
// count of 0, more than kMaxBlockCount blocks, or a total that does not fit 64 bits.
std::optional<Geometry> PlanGeometry(uint64_t blockSize, uint64_t blockCount);

// Writes the header of a new (zero-filled) buffer.
void WriteHeader(void* buffer, const Geometry& geometry);

// The geometry in a header another process wrote, copied once: nullopt unless the magic and
// version match, the sizes are in range, the offsets are the ones the sizes give, and the records
// and blocks (block size x count + what lies before them) fit in `bufferSize` bytes.
std::optional<Geometry> ReadGeometry(const void* buffer, uint64_t bufferSize);

inline SharedHeader* HeaderOf(void* buffer) { return static_cast<SharedHeader*>(buffer); }
inline BlockRecord* RecordOf(void* buffer, const Geometry& g, uint32_t sequence) {
  return reinterpret_cast<BlockRecord*>(static_cast<uint8_t*>(buffer) + g.recordsOffset) + sequence % g.blockCount;
}
inline uint8_t* BlockDataOf(void* buffer, const Geometry& g, uint32_t sequence) {
  return static_cast<uint8_t*>(buffer) + g.dataOffset + (sequence % g.blockCount) * g.blockSize;
}

}  // namespace rzd::rasterblocks
