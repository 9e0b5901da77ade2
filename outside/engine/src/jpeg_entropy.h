// JPEG entropy-coded data of one side, made with libjpeg: baseline, the host's quantisation
// tables, the standard Huffman tables (no optimised coding), no restart markers. Only the bytes
// between the scan header and the end-of-image marker are kept; the host writes the headers.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace rzd::engine {

struct JpegSideLayout {
  uint32_t width = 0;   // pixels
  uint32_t height = 0;  // lines
  bool color = false;   // three components (Y, Cb, Cr from R, G, B samples), else one
  uint8_t sampling = 3; // colour only: 1 = 2x2, 2 = 2x1, 3 = 1x1 for the first component
  std::array<uint8_t, 64> luminance{};    // natural (row by row) order
  std::array<uint8_t, 64> chrominance{};  // natural order
};

// Fills one line of samples: width bytes (grey) or width * 3 bytes (R, G, B).
using JpegRowSource = std::function<void(uint32_t line, uint8_t* samples)>;

// The entropy-coded segment, or nullopt when libjpeg refused the job.
std::optional<std::vector<uint8_t>> EncodeJpegEntropy(const JpegSideLayout& layout,
                                                      const JpegRowSource& rows);

// The example tables of the JPEG standard (Annex K.1 and K.2), natural order.
extern const std::array<uint8_t, 64> kStandardLuminanceTable;
extern const std::array<uint8_t, 64> kStandardChrominanceTable;

}  // namespace rzd::engine
