#include "engine/page_pattern.h"

#include <algorithm>
#include <cstring>

namespace rzd::engine {

uint8_t PatternByte(uint32_t sheet, uint32_t side, uint32_t line, size_t index) {
  switch (index) {
    case 0: return static_cast<uint8_t>(sheet >> 8);
    case 1: return static_cast<uint8_t>(sheet);
    case 2: return static_cast<uint8_t>(side);
    case 3: return static_cast<uint8_t>(line >> 16);
    case 4: return static_cast<uint8_t>(line >> 8);
    case 5: return static_cast<uint8_t>(line);
    default:
      return static_cast<uint8_t>(index * 7u + sheet * 31u + side * 101u + line * 13u);
  }
}

void FillPattern(uint32_t sheet, uint32_t side, uint32_t line, size_t first, uint8_t* out,
                 size_t count) {
  size_t i = 0;
  for (; i < count && first + i < 6; ++i) out[i] = PatternByte(sheet, side, line, first + i);
  if (i == count) return;
  // From byte 6 on the value grows by 7 per byte. 7 is odd, so the values repeat every 256 bytes:
  // the first 256 are computed and the rest copied from them.
  const uint8_t start = PatternByte(sheet, side, line, first + i);
  uint8_t* rest = out + i;
  const size_t n = count - i;
  constexpr size_t kPeriod = 256;
  const size_t head = std::min(n, kPeriod);
  for (size_t k = 0; k < head; ++k) rest[k] = static_cast<uint8_t>(start + 7u * k);
  // The bytes written so far are whole periods: each copy doubles them.
  for (size_t have = head; have < n;) {
    const size_t more = std::min(have, n - have);
    std::memcpy(rest + have, rest, more);
    have += more;
  }
}

std::vector<uint8_t> PatternLine(uint32_t sheet, uint32_t side, uint32_t line,
                                 size_t bytesPerLine) {
  std::vector<uint8_t> bytes(bytesPerLine);
  FillPattern(sheet, side, line, 0, bytes.data(), bytes.size());
  return bytes;
}

}  // namespace rzd::engine
