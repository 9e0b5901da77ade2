#include "frame_geometry.h"

#include "window_values.h"

namespace rzd::lowdrv::window {

FrameError ComputeFrame(const FrameIn& frame, const FrameRules& rules, FrameOut& out) {
  const int64_t m = rules.margin;
  const int64_t marginUnits = m * 12 / 10;
  const int64_t adfWidth = rules.adfMaxWidth;
  const bool nonFlatbed = !rules.flatbed;

  if (frame.left < 0) return FrameError::Left;
  int64_t xStart = static_cast<int64_t>(frame.left) * 12 / 10;
  if (frame.top < 0) return FrameError::Top;
  int64_t yStart = static_cast<int64_t>(frame.top) * 12 / 10;
  if (frame.width < 1) return FrameError::Width;
  const int64_t width = frame.width;

  // Horizontal: centre an unplaced window on the feeder, then widen it by the margin.
  int64_t w = width;
  if (rules.horizontalOverscan) {
    if (nonFlatbed && xStart == 0) xStart = (adfWidth * 4 - width * 12 / 10) / 2;
    w = width + 2 * m;
    if (xStart < marginUnits) {
      w = xStart * 10 / 12 + width + m;
      xStart = 1;
    } else {
      xStart -= marginUnits;
    }
  }
  if (w > adfWidth * 10 / 3) {
    xStart = 0;
    const int64_t bound = rules.horizontalOverscan && rules.overscanWidth != 0 ? rules.overscanWidth : adfWidth;
    w = bound * 10 / 3;
  } else if (nonFlatbed && xStart == 0) {
    xStart = (adfWidth * 4 - w * 12 / 10) / 2;
  }

  // Vertical: a feeder window grows by the truncation lengths, others by the margins.
  if (frame.length < 1) return FrameError::Length;
  const int64_t length = frame.length;
  int64_t l = length;
  if (rules.verticalOverscan) {
    if (rules.adf) {
      l = length + (static_cast<int64_t>(rules.frontTruncation) + rules.backTruncation) * 10 / 6;
    } else if (yStart < marginUnits) {
      l = length + yStart * 10 / 12 + m;
      yStart = 0;
    } else {
      yStart -= marginUnits;
      l = length + 2 * m;
    }
  }
  if (rules.flatbed) {
    const int64_t fl = rules.flatbedMaxLength;
    if (fl * 10 / 3 < l + yStart) {
      if (yStart < fl * 4) {
        l = (fl * 40 - yStart * 10) / 12;
      } else {
        yStart = 0;
        l = fl * 10 / 3;
      }
    }
  }
  if (rules.longLength && rules.setLength != -1) l = rules.setLength;

  out.xStart = xStart;
  out.yStart = yStart;
  out.width = w;
  out.length = l;
  out.descWidth = w * 12 / 10;
  out.descLength = l * 12 / 10;
  out.paperLines = static_cast<int64_t>(rules.yResolution) * l / 1000;
  return FrameError::None;
}

int64_t RowAlignment(const uint32_t (&rowAlign)[4], bool twoSided, bool compressed) {
  if (twoSided) return 2 * static_cast<int64_t>(compressed ? rowAlign[2] : rowAlign[0]);
  return compressed ? rowAlign[3] : rowAlign[1];
}

int64_t BytesForPixels(int64_t pixels, bool colour, bool lineArt) {
  if (colour) return pixels * 3;
  if (lineArt) return (pixels + 7) / 8;
  return pixels;
}

LineOut ComputeLines(const LineRules& rules, int64_t frameWidth, int64_t descWidth, int64_t descLength) {
  LineOut out;
  const int64_t p = rules.compressed && !rules.engineWidthFlag ? 8 : rules.pixelBound;
  const int64_t yRes = rules.yResolution;
  const int64_t xRes = rules.xResolution;

  int64_t lines = (descLength * 10 / 12) * yRes / 1000;
  if (rules.twoSided) lines *= 2;
  lines = RoundUpTo(lines, RowAlignment(rules.rowAlign, rules.twoSided, rules.compressed));

  int64_t pixels = xRes * frameWidth / 1000;
  pixels = RoundUpTo(pixels, p);
  out.descWidth = descWidth;
  if (!rules.engineWidthFlag && xRes > 0) out.descWidth = pixels * 1200 / xRes;

  out.lines = lines;
  out.pixels = pixels;
  out.bytesPerLine = BytesForPixels(pixels, rules.colour, rules.lineArt);
  out.descLength = yRes > 0 ? lines * 1200 / yRes : 0;
  if (rules.twoSided) out.descLength /= 2;
  return out;
}

}  // namespace rzd::lowdrv::window
