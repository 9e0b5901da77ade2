// JPEG data of one side, made with libjpeg: baseline, the host's quantisation tables, the
// standard Huffman tables (no optimised coding), restart markers when asked.
//
// Two forms: the entropy-coded data alone (the host writes the headers and the restart markers;
// the markers are taken out, their places kept as the ends of the side's pieces), or the whole
// stream as the unit writes it itself (with an Exif segment naming the unit, restart markers
// in place, the end-of-image marker; the pieces end after each restart marker).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace rzd::engine {

struct JpegSideLayout {
  uint32_t width = 0;   // pixels
  uint32_t height = 0;  // lines
  bool color = false;   // three components (Y, Cb, Cr from R, G, B samples), else one
  uint8_t sampling = 3; // colour only: 1 = 2x2, 2 = 2x1, 3 = 1x1 for the first component (jpeg_layout.h)
  std::array<uint8_t, 64> luminance{};    // natural (row by row) order
  std::array<uint8_t, 64> chrominance{};  // natural order
  uint32_t restartInterval = 0;           // MCUs; 0: no restart markers
  bool wholeStream = false;               // the unit writes its own headers
  std::string exifMake;                   // with the whole stream
  std::string exifModel;
};

struct JpegSideData {
  std::vector<uint8_t> bytes;
  std::vector<uint64_t> pieceEnds;  // where the pieces before the last end (restart points)
};

// Fills one line of samples: width bytes (grey) or width * 3 bytes (R, G, B).
using JpegRowSource = std::function<void(uint32_t line, uint8_t* samples)>;

// nullopt when libjpeg refused the job.
std::optional<JpegSideData> EncodeJpegSide(const JpegSideLayout& layout, const JpegRowSource& rows);

}  // namespace rzd::engine
