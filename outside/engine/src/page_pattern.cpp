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

namespace {

// For every base b, the bytes b + 7 k (k = 0 .. 511): any run of up to 256 pattern bytes is a
// plain copy out of it.
struct Runs {
  uint8_t bytes[256][512];
  Runs() {
    for (unsigned b = 0; b < 256; ++b)
      for (unsigned k = 0; k < 512; ++k) bytes[b][k] = static_cast<uint8_t>(b + k * 7u);
  }
};

const Runs& PatternRuns() {
  static const Runs* runs = new Runs();
  return *runs;
}

}  // namespace

void FillPattern(uint32_t sheet, uint32_t side, uint32_t line, size_t first, uint8_t* out,
                 size_t count) {
  size_t i = 0;
  for (; i < count && first + i < 6; ++i) out[i] = PatternByte(sheet, side, line, first + i);
  if (i == count) return;
  // From byte 6 on, byte j is base + 7 j.
  const uint8_t base = static_cast<uint8_t>(sheet * 31u + side * 101u + line * 13u);
  const uint8_t* run = PatternRuns().bytes[base];
  size_t index = first + i;
  while (i < count) {
    const size_t phase = index & 255u;
    const size_t n = std::min<size_t>(count - i, 256);
    std::memcpy(out + i, run + phase, n);
    i += n;
    index += n;
  }
}

std::vector<uint8_t> PatternLine(uint32_t sheet, uint32_t side, uint32_t line,
                                 size_t bytesPerLine) {
  std::vector<uint8_t> bytes(bytesPerLine);
  FillPattern(sheet, side, line, 0, bytes.data(), bytes.size());
  return bytes;
}

}  // namespace rzd::engine
