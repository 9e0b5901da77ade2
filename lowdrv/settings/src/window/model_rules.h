// The model's own window rules: line art is scanned as 8-bit gray JPEG and thresholded later,
// scans above 300 dpi drop the fragile-paper mode and keep within the feeder width, and very
// long pages are capped.
#pragma once

#include "lowdrv/engine/window_desc.h"

#include <cstdint>

namespace rzd::lowdrv::window {

// Pixel boundaries of the inquiry record.
struct PixelBounds {
  int32_t colour = 1, gray = 1, lineArt = 1;
};

// Line art becomes gray JPEG at `quality`: composition 2, 8 bits, JPEG (without length detection
// when the fixed-length mark was set, which is then cleared), and bytes per line recomputed from
// the window width at the gray pixel boundary. Other compositions are left as they are.
void LineArtToGray(ReduzidWindowDescriptor& desc, uint8_t quality, int32_t grayPixelBound);

// Above 300 dpi: fragile paper gives up the continuous mode and the fragile mode; a window wider
// than the feeder (adfMaxWidth, 1/300 inch) is narrowed to it, placed at the left edge, and its
// bytes per line recomputed.
void ApplyHighResolutionRules(ReduzidWindowDescriptor& desc, int32_t adfMaxWidth, const PixelBounds& bounds);

// The largest line count per side at a Y resolution: below 300 dpi 236 x YRes, at 300 dpi
// 65400, above 59 x YRes.
uint32_t PageLengthCapLines(uint32_t yResolution);

// Caps the window's line count (per side) when it exceeds PageLengthCapLines and the front
// truncation length is non-zero: both truncation lengths become 20, the (two-sided: doubled) cap
// aligned down to the row alignment becomes the line count and the length follows it. True when
// the window was capped.
bool ApplyPageLengthCap(ReduzidWindowDescriptor& desc, const uint32_t (&rowAlign)[4], uint32_t& frontTruncation,
                        uint32_t& backTruncation);

}  // namespace rzd::lowdrv::window
