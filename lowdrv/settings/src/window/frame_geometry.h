// Frame arithmetic of a window: the frame of the settings documents (1/1000 inch) becomes the
// window's edges and sizes (1/1200 inch), widened by the over-scan margins and held within the
// feeder width and the flatbed length; then the line and pixel counts at the scan resolution.
#pragma once

#include <cstdint>

namespace rzd::lowdrv::window {

struct FrameIn {
  int32_t left = 0, top = 0, width = 0, length = 0;  // 1/1000 inch
};

struct FrameRules {
  bool flatbed = false;         // source type "Flatbed"
  bool adf = false;             // source type "ADF"
  bool horizontalOverscan = false;
  bool verticalOverscan = false;
  int32_t margin = 500;         // over-scan margin per side, 1/1000 inch
  int32_t frontTruncation = 0;  // the object's truncation lengths
  int32_t backTruncation = 0;
  int32_t adfMaxWidth = 0;      // inquiry, 1/300 inch
  int32_t overscanWidth = 0;    // inquiry bytes 165-166, 1/300 inch, 0 when unknown
  int32_t flatbedMaxLength = 0; // inquiry, 1/300 inch
  bool longLength = false;
  int32_t setLength = -1;       // the long-length length, -1 when none
  int32_t yResolution = 0;
};

enum class FrameError { None, Left, Top, Width, Length };

struct FrameOut {
  int64_t xStart = 0, yStart = 0;  // 1/1200 inch
  int64_t width = 0;               // W', 1/1000 inch
  int64_t length = 0;              // L, 1/1000 inch
  int64_t descWidth = 0;           // 1/1200 inch
  int64_t descLength = 0;          // 1/1200 inch
  int64_t paperLines = 0;          // Y resolution x L / 1000
};

FrameError ComputeFrame(const FrameIn& frame, const FrameRules& rules, FrameOut& out);

// Line and pixel counts.
struct LineRules {
  int32_t xResolution = 0, yResolution = 0;
  bool colour = false, lineArt = false;  // neither: gray
  bool compressed = false;
  bool twoSided = false;
  int32_t pixelBound = 1;       // the inquiry's bound for the composition
  bool engineWidthFlag = false; // the engine keeps the bound and the width as sent
  uint32_t rowAlign[4] = {1, 1, 8, 8};  // A1..A4
};

struct LineOut {
  int64_t lines = 0;
  int64_t pixels = 0;
  int64_t bytesPerLine = 0;
  int64_t descWidth = 0;   // 1/1200 inch
  int64_t descLength = 0;  // 1/1200 inch
};

// `descWidth` and `descLength` are the window's width and length so far; `frameWidth` is W'.
LineOut ComputeLines(const LineRules& rules, int64_t frameWidth, int64_t descWidth, int64_t descLength);

// The row alignment for a window: two-sided 2 x A1 (uncompressed) or 2 x A3 (compressed),
// one-sided A2 or A4.
int64_t RowAlignment(const uint32_t (&rowAlign)[4], bool twoSided, bool compressed);

// Bytes per line of `pixels` for a composition.
int64_t BytesForPixels(int64_t pixels, bool colour, bool lineArt);

}  // namespace rzd::lowdrv::window
