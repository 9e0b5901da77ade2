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
// The background behind the paper has a byte of its own for each side, so that one side's
// background never passes for the other's: kBackgroundByte fills the front's background raster
// and the front line of a background scan, kBackBackgroundByte the back's. The unit holds the
// raster of both sides (READ data type 0x9B, which names no side) and hands them over front
// first: the first raster read after a SET WINDOW, a page start (RESERVE UNIT 0 of the new set,
// SCAN of the classic) or a reset gives the front's, the next the back's, and further reads go
// on alternating. A refused read gives nothing and does not count.
inline constexpr uint8_t kBackgroundByte = 0xF0;
inline constexpr uint8_t kBackBackgroundByte = 0xE0;

// The background byte of side `side` (0 front, 1 back).
constexpr uint8_t BackgroundByteOf(uint32_t side) { return side == 0 ? kBackgroundByte : kBackBackgroundByte; }

// Byte `index` of line `line` (from 0) of side `side` of sheet `sheet` (from 1).
uint8_t PatternByte(uint32_t sheet, uint32_t side, uint32_t line, size_t index);

// Fills `out` with bytes [first, first + count) of that line.
void FillPattern(uint32_t sheet, uint32_t side, uint32_t line, size_t first, uint8_t* out,
                 size_t count);

// The whole line.
std::vector<uint8_t> PatternLine(uint32_t sheet, uint32_t side, uint32_t line,
                                 size_t bytesPerLine);

}  // namespace rzd::engine
