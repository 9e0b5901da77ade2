// The content of the simulated unit's pages. Every line of raw image data is a deterministic
// function of the sheet number, the side and the line number, so a test can compute the bytes it
// must receive and prove that nothing was lost, duplicated or sent to the wrong side.
//
// Layout of a line of `bytesPerLine` bytes (lines shorter than 6 bytes keep the first bytes):
//   bytes 0-1  sheet number, big-endian (low 16 bits)
//   byte  2    side: 0 front, 1 back
//   bytes 3-5  line number, big-endian (low 24 bits)
//   byte  i>=6 (i * 7 + sheet * 31 + side * 101 + line * 13) & 0xFF
// The same bytes are used for every image mode: a colour line is read as R, G, B triplets, a
// line-art line as packed bits. JPEG sides are encoded from these lines as the samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rzd::engine {

// Every byte of a blank side (white, whatever the image mode).
inline constexpr uint8_t kBlankSideByte = 0xFF;
// Every byte of the background raster (READ data type 0x9B) and of a background scan.
inline constexpr uint8_t kBackgroundByte = 0xF0;

// Byte `index` of line `line` (from 0) of side `side` of sheet `sheet` (from 1).
uint8_t PatternByte(uint32_t sheet, uint32_t side, uint32_t line, size_t index);

// Fills `out` with bytes [first, first + count) of that line.
void FillPattern(uint32_t sheet, uint32_t side, uint32_t line, size_t first, uint8_t* out,
                 size_t count);

// The whole line.
std::vector<uint8_t> PatternLine(uint32_t sheet, uint32_t side, uint32_t line,
                                 size_t bytesPerLine);

}  // namespace rzd::engine
