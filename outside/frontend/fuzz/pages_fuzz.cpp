// rzd-scan turns the blocks the service wrote (their fill, boundary, error and description) back
// into pages and writes each side: whatever the descriptions say, the split of a both-sides stream
// and the PNG rows stay inside the bytes that came.
//
// Input: blocks, each a 22-byte head and its data: boundary (1 byte), error (1 byte), fill (2
// bytes, little-endian, cut to what is left), then nine 16-bit description values: Side,
// Compression, BitsPerPixel, BytesPerLine, Width, LinesPerSide, SideOrder, Pixels, PixelGender.
#include "image_files.h"
#include "page_assembler.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>

namespace {

constexpr size_t kHead = 22;
constexpr int kDescribed[] = {kRasterSide,         kRasterCompression, kRasterBitsPerPixel,
                              kRasterBytesPerLine, kRasterWidth,       kRasterLinesPerSide,
                              kRasterSideOrder,    kRasterPixels,      kRasterPixelGender};

void WriteSide(const rzd::frontend::SideImage& side, int which) {
  rzd::frontend::ImageSize size;
  std::string error;
  rzd::frontend::WriteSideImage("/dev/null", side, &size, &error);
  rzd::frontend::WriteSideMetadata("/dev/null", u"", which, side, &error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rzd::frontend::PageAssembler assembler;
  size_t at = 0;
  while (size - at >= kHead) {
    const uint8_t* head = data + at;
    RasterBlockInfo info;
    info.boundary = head[0] % 8;
    info.error = head[1] % 4 == 0 ? head[1] : 0;
    const size_t fill = std::min<size_t>(head[2] | (head[3] << 8), size - at - kHead);
    info.fill = fill;
    for (size_t i = 0; i < std::size(kDescribed); ++i) {
      int16_t value = 0;
      std::memcpy(&value, head + 4 + 2 * i, sizeof value);
      info.properties[kDescribed[i]] = value;
    }
    assembler.Add(info, head + kHead);
    at += kHead + fill;
  }
  for (const rzd::frontend::ScannedPage& page : assembler.TakeCompleted()) {
    if (page.front) WriteSide(*page.front, 0);
    if (page.back) WriteSide(*page.back, 1);
  }
  return 0;
}
