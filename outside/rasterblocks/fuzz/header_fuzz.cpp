// A writer copies the header of a buffer the reading process wrote: whatever the bytes, the
// geometry it accepts lies inside the buffer and matches the layout its sizes give.
#include "shared_layout.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace rzd::rasterblocks;
  if (size < 8) return 0;
  uint64_t claimedSize = 0;
  std::memcpy(&claimedSize, data, sizeof claimedSize);  // the mapping's size, as the writer sees it
  std::vector<uint8_t> header(data + 8, data + size);
  header.resize(std::max<size_t>(header.size(), sizeof(SharedHeader)));
  const uint64_t bufferSize = claimedSize % (uint64_t{1} << 42);
  const std::optional<Geometry> g = ReadGeometry(header.data(), std::max<uint64_t>(bufferSize, header.size()));
  if (!g) return 0;
  const std::optional<Geometry> planned = PlanGeometry(g->blockSize, g->blockCount);
  if (!planned || planned->dataOffset != g->dataOffset || planned->totalSize != g->totalSize) std::abort();
  if (g->blockCount == 0 || g->blockCount > kMaxBlockCount || g->blockSize == 0) std::abort();
  if (g->totalSize > std::max<uint64_t>(bufferSize, header.size())) std::abort();
  if (g->dataOffset < g->recordsOffset + uint64_t{g->blockCount} * sizeof(BlockRecord)) std::abort();
  return 0;
}
