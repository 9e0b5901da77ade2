#include "engine/page_pattern.h"

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
  // From byte 6 on the value grows by 7 per byte.
  uint8_t value = PatternByte(sheet, side, line, first + i);
  for (; i < count; ++i) {
    out[i] = value;
    value = static_cast<uint8_t>(value + 7);
  }
}

std::vector<uint8_t> PatternLine(uint32_t sheet, uint32_t side, uint32_t line,
                                 size_t bytesPerLine) {
  std::vector<uint8_t> bytes(bytesPerLine);
  FillPattern(sheet, side, line, 0, bytes.data(), bytes.size());
  return bytes;
}

}  // namespace rzd::engine
