#include "model_rules.h"

#include "descriptor_bytes.h"
#include "frame_geometry.h"
#include "window_values.h"

namespace rzd::lowdrv::window {

void LineArtToGray(ReduzidWindowDescriptor& desc, uint8_t quality, int32_t grayPixelBound) {
  if (desc.ImageComp != kCompLineArt) return;
  uint8_t* bytes = DescBytes(desc);
  desc.ImageComp = kCompGray;
  desc.BitsPerChannel = 8;
  desc.CompressArg = 4;
  bytes[kJpegQuality] = quality;
  desc.CompressType = bytes[kFixedLengthMark] != 0 ? kCompressJpegNoLength : kCompressJpeg;
  bytes[kFixedLengthMark] = 0;
  int64_t pixels = static_cast<int64_t>(desc.XRes) * (static_cast<int64_t>(desc.Width) * 10 / 12) / 1000;
  pixels = RoundUpTo(pixels, grayPixelBound);
  SetBytesPerLine(desc, static_cast<uint32_t>(pixels));
}

void ApplyHighResolutionRules(ReduzidWindowDescriptor& desc, int32_t adfMaxWidth, const PixelBounds& bounds) {
  if (desc.XRes <= 300 && desc.YRes <= 300) return;
  if ((desc.UseTrans & kUseTransFragile) != 0) {
    desc.SetCapEx1 &= static_cast<uint8_t>(~kCapContinuous);
    desc.UseTrans &= static_cast<uint8_t>(~kUseTransFragile);
  }
  if (static_cast<int64_t>(adfMaxWidth) < static_cast<int64_t>(desc.Width) / 4) {
    const int64_t w = static_cast<int64_t>(adfMaxWidth) * 10 / 3;
    desc.Width = static_cast<uint32_t>(w * 12 / 10);
    const bool colour = desc.ImageComp == kCompColour;
    const bool lineArt = desc.BitsPerChannel == 1;
    const int32_t bound = colour ? bounds.colour : lineArt ? bounds.lineArt : bounds.gray;
    const int64_t pixels = RoundUpTo(static_cast<int64_t>(desc.XRes) * w / 1000, bound);
    SetBytesPerLine(desc, static_cast<uint32_t>(BytesForPixels(pixels, colour, lineArt)));
    desc.XStart = 0;
  }
}

uint32_t PageLengthCapLines(uint32_t yResolution) {
  if (yResolution < 300) return 236 * yResolution;
  if (yResolution == 300) return 65400;
  return 59 * yResolution;
}

bool ApplyPageLengthCap(ReduzidWindowDescriptor& desc, const uint32_t (&rowAlign)[4], uint32_t& frontTruncation,
                        uint32_t& backTruncation) {
  const bool twoSided = (desc.SetCapEx1 & kCapTwoSided) != 0;
  const bool compressed = desc.CompressType != kCompressNone;
  const uint32_t yRes = desc.YRes;
  const uint32_t cap = PageLengthCapLines(yRes);
  const uint32_t lines = LineCount(desc);
  const uint32_t perSide = twoSided ? lines / 2 : lines;
  if (perSide <= cap || frontTruncation == 0 || yRes == 0) return false;

  frontTruncation = 20;
  backTruncation = 20;
  const int64_t total = twoSided ? 2 * static_cast<int64_t>(cap) : cap;
  const int64_t capped = RoundDownTo(total, RowAlignment(rowAlign, twoSided, compressed));
  SetLineCount(desc, static_cast<uint32_t>(capped));
  int64_t length = capped * 1200 / yRes;
  if (twoSided) length /= 2;
  desc.Length = static_cast<uint32_t>(length);
  return true;
}

}  // namespace rzd::lowdrv::window
