// The images the data source delivers: one per side of each sheet, every raw line the
// simulated unit's pattern (sheet, side, line) over the whole row, or a JPEG stream encoded
// from those lines.
#pragma once

#include "apphal/twain_protocol.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rzd::twainds {

struct ImageGeometry {
  uint32_t width = 0;   // pixels
  uint32_t lines = 0;
  uint32_t bitsPerPixel = 24;
  TW_UINT16 pixelType = TWPT_RGB;
  TW_UINT16 compression = TWCP_NONE;
  double xResolution = 300;
  double yResolution = 300;
  int jpegQuality = 75;
  // Rows are padded to four bytes.
  uint32_t BytesPerRow() const { return ((width * bitsPerPixel + 7) / 8 + 3) / 4 * 4; }
};

// Most pixels one side may have across, and most lines (a 236-inch document at 600 dpi has
// 141600), so a script cannot ask for absurd images. Raw lines are made as they are delivered.
constexpr uint32_t kMaxImageWidth = 20000;
constexpr uint32_t kMaxImageLines = 150000;

class Image {
 public:
  Image() = default;
  // False when JPEG is asked for a pixel kind it cannot carry (only 8-bit grey and 24-bit colour).
  bool Start(const ImageGeometry& geometry, uint32_t sheet, uint32_t side);
  const ImageGeometry& Geometry() const { return geometry_; }
  uint32_t Sheet() const { return sheet_; }
  uint32_t Side() const { return side_; }
  bool Done() const;
  uint32_t NextRow() const { return nextRow_; }
  size_t JpegBytesLeft() const { return jpeg_.size() - jpegOffset_; }

  // Writes whole rows (or JPEG bytes) into `memory` of `length` bytes. The rows written, the bytes
  // written; false when not even one row fits.
  bool Deliver(uint8_t* memory, uint32_t length, uint32_t* rows, uint32_t* bytes, uint32_t* firstRow);

 private:
  ImageGeometry geometry_;
  uint32_t sheet_ = 0;
  uint32_t side_ = 0;
  uint32_t nextRow_ = 0;
  std::vector<uint8_t> jpeg_;
  size_t jpegOffset_ = 0;
};

// A whole JPEG stream of the side's pattern lines (8-bit grey or 24-bit colour); empty when the
// encoder refuses.
std::vector<uint8_t> EncodeSideJpeg(const ImageGeometry& geometry, uint32_t sheet, uint32_t side);

}  // namespace rzd::twainds
