#include "shared_layout.h"

#include <cstring>
#include <new>

namespace rzd::rasterblocks {

static_assert(std::atomic<uint32_t>::is_always_lock_free && std::atomic<uint64_t>::is_always_lock_free,
              "the shared words work across processes only when they are lock-free");

namespace {

std::optional<uint64_t> Multiply(uint64_t a, uint64_t b) {
  uint64_t product = 0;
  if (__builtin_mul_overflow(a, b, &product)) return std::nullopt;
  return product;
}

std::optional<uint64_t> Add(uint64_t a, uint64_t b) {
  uint64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) return std::nullopt;
  return sum;
}

}  // namespace

std::optional<Geometry> PlanGeometry(uint64_t blockSize, uint64_t blockCount) {
  if (blockSize == 0 || blockCount == 0 || blockCount > kMaxBlockCount) return std::nullopt;
  Geometry g;
  g.blockSize = blockSize;
  g.blockCount = static_cast<uint32_t>(blockCount);
  g.recordsOffset = kRecordsOffset;
  const uint64_t recordsEnd = kRecordsOffset + blockCount * sizeof(BlockRecord);  // no overflow: both bounded
  g.dataOffset = (recordsEnd + kDataAlignment - 1) / kDataAlignment * kDataAlignment;
  const auto blocks = Multiply(blockSize, blockCount);
  if (!blocks) return std::nullopt;
  const auto total = Add(g.dataOffset, *blocks);
  if (!total) return std::nullopt;
  g.totalSize = *total;
  return g;
}

void WriteHeader(void* buffer, const Geometry& geometry) {
  HeaderFields fields{};
  fields.magic = kLayoutMagic;
  fields.version = kLayoutVersion;
  fields.blockSize = geometry.blockSize;
  fields.blockCount = geometry.blockCount;
  fields.readerPid = geometry.readerPid;
  fields.readerStart = geometry.readerStart;
  fields.recordsOffset = geometry.recordsOffset;
  fields.dataOffset = geometry.dataOffset;
  auto* header = new (buffer) SharedHeader{};
  header->fields = fields;
  auto* records = static_cast<uint8_t*>(buffer) + geometry.recordsOffset;
  for (uint32_t i = 0; i < geometry.blockCount; ++i) new (records + i * sizeof(BlockRecord)) BlockRecord{};
}

std::optional<Geometry> ReadGeometry(const void* buffer, uint64_t bufferSize) {
  if (buffer == nullptr || bufferSize < sizeof(SharedHeader)) return std::nullopt;
  HeaderFields fields;
  std::memcpy(&fields, buffer, sizeof fields);  // the one read of the header
  if (fields.magic != kLayoutMagic || fields.version != kLayoutVersion) return std::nullopt;
  std::optional<Geometry> g = PlanGeometry(fields.blockSize, fields.blockCount);
  if (!g || fields.recordsOffset != g->recordsOffset || fields.dataOffset != g->dataOffset) return std::nullopt;
  if (g->totalSize > bufferSize) return std::nullopt;
  g->readerPid = fields.readerPid;
  g->readerStart = fields.readerStart;
  return g;
}

}  // namespace rzd::rasterblocks
