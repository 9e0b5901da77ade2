// The metadata record the service writes into the bridge's metadata buffer after a read: five
// little-endian 64-bit values (text offset, text size in bytes with its terminator, data offset,
// data size, side kind), the UTF-16 Operation document and the background data. The service is
// another process: nothing in the record is used before it is checked against the buffer.
#pragma once

#include <cstdint>
#include <string>

namespace rzd::nethal {

inline constexpr uint64_t kMetaHeaderSize = 40;

struct MetaRecord {
  std::u16string text;           // the document, up to its terminator
  const uint8_t* data = nullptr;  // inside the view
  uint64_t dataSize = 0;
  uint64_t kind = 0;              // 0 simplex front, 1 simplex back, 2 any other case
};

enum class MetaCheck {
  kRecord,  // a record that lies inside the view
  kEmpty,   // the header is all zeros: nothing was written
  kBad,     // offsets or sizes outside the view, a text without its terminator, a kind above 2
};

// Reads the record at the start of a view of `viewSize` bytes.
MetaCheck ReadMetaRecord(const uint8_t* view, uint64_t viewSize, MetaRecord* record);

}  // namespace rzd::nethal
