#include "engine/page_pattern.h"

#include <algorithm>

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

namespace {

// 7 x k modulo 256 for k in [0, 512): any 256 bytes of the cycle from any starting point.
struct Steps {
  uint8_t bytes[512];
  constexpr Steps() : bytes() {
    for (unsigned k = 0; k < 512; ++k) bytes[k] = static_cast<uint8_t>(k * 7u);
  }
};
constexpr Steps kSteps;

}  // namespace

void FillPattern(uint32_t sheet, uint32_t side, uint32_t line, size_t first, uint8_t* out,
                 size_t count) {
  size_t i = 0;
  for (; i < count && first + i < 6; ++i) out[i] = PatternByte(sheet, side, line, first + i);
  if (i == count) return;
  // From byte 6 on, byte j is base + 7 j: whole runs of the table plus one value, so the loop
  // below works 16 or 32 bytes at a time.
  const uint8_t base = static_cast<uint8_t>(sheet * 31u + side * 101u + line * 13u);
  size_t index = first + i;
  while (i < count) {
    const size_t phase = index & 255u;
    const size_t run = std::min<size_t>(count - i, 256);
    const uint8_t* steps = kSteps.bytes + phase;
    uint8_t* to = out + i;
    for (size_t k = 0; k < run; ++k) to[k] = static_cast<uint8_t>(steps[k] + base);
    i += run;
    index += run;
  }
}

std::vector<uint8_t> PatternLine(uint32_t sheet, uint32_t side, uint32_t line,
                                 size_t bytesPerLine) {
  std::vector<uint8_t> bytes(bytesPerLine);
  FillPattern(sheet, side, line, 0, bytes.data(), bytes.size());
  return bytes;
}

}  // namespace rzd::engine
