#include "scan_window.h"

#include "wire.h"

namespace rzd::engine {

namespace {

WindowResult Fail(Sense s) {
  WindowResult r;
  r.error = s;
  return r;
}

// Checks what both command sets share; fills the pixel count from the bytes per line.
WindowResult Finish(ScanWindow w) {
  if (w.xResolution < 50 || w.xResolution > 1200 || w.yResolution < 50 || w.yResolution > 1200)
    return Fail(sense::InvalidFieldInParameterList());
  if (w.bytesPerLine == 0 || w.bytesPerLine > kMaxBytesPerLine || w.lineCount > kMaxLines)
    return Fail(sense::InvalidFieldInParameterList());
  if (w.jpeg) {
    if (w.mode == ImageMode::LineArt || w.mode == ImageMode::Halftone)
      return Fail(sense::InvalidFieldInParameterList());
    if (w.mode == ImageMode::Color && (w.sampling < 1 || w.sampling > 3))
      return Fail(sense::InvalidFieldInParameterList());
    if (w.pixelsPerLine > kMaxJpegDimension || w.LinesPerSide() > kMaxJpegDimension)
      return Fail(sense::InvalidFieldInParameterList());
  }
  WindowResult r;
  r.window = w;
  return r;
}

}  // namespace

WindowResult ParseNewWindow(const uint8_t* d, size_t size) {
  if (size < 96) return Fail(sense::InvalidParameterListLength());
  if (wire::Get16(d + 3) != 96) return Fail(sense::InvalidFieldInParameterList());
  ScanWindow w;
  w.xStart = wire::Get32(d + 7);
  w.yStart = wire::Get32(d + 11);
  w.width = wire::Get32(d + 15);
  w.length = wire::Get32(d + 19);
  w.xResolution = wire::Get16(d + 23);
  w.yResolution = wire::Get16(d + 25);
  w.pixelsPerLine = wire::Get32(d + 27);
  w.lineCount = wire::Get32(d + 31);
  w.bytesPerLine = wire::Get32(d + 35);
  const uint64_t bpl = w.bytesPerLine;
  switch (wire::Get32(d + 39)) {
    case 0x01: w.mode = ImageMode::LineArt; break;
    case 0x02:
    case 0x04: w.mode = ImageMode::Halftone; break;
    case 0x10: w.mode = ImageMode::Gray; break;
    case 0x80: w.mode = ImageMode::Color; break;
    default: return Fail(sense::InvalidFieldInParameterList());
  }
  const uint64_t px = w.pixelsPerLine;
  const bool consistent = (w.mode == ImageMode::Gray && px == bpl) ||
                          (w.mode == ImageMode::Color && px * 3 == bpl) ||
                          ((w.mode == ImageMode::LineArt || w.mode == ImageMode::Halftone) &&
                           px == bpl * 8);
  if (!consistent) return Fail(sense::InvalidFieldInParameterList());
  switch (wire::Get16(d + 43)) {
    case 1: w.source = ScanSource::FeederFront; break;
    case 4: w.source = ScanSource::FeederDuplex; break;
    case 5: w.source = ScanSource::FeederBack; break;
    default: return Fail(sense::InvalidFieldInParameterList());  // no flatbed on this model
  }
  switch (d[45]) {
    case 0: w.jpeg = false; break;
    case 3:
    case 4: w.jpeg = true; break;
    default: return Fail(sense::InvalidFieldInParameterList());
  }
  w.sampling = d[46];
  w.pagesPerJob = wire::Get16(d + 57);
  w.multifeedFlags = d[62];
  return Finish(w);
}

WindowResult ParseClassicWindow(const uint8_t* d, size_t size) {
  // Fields up to the line count (record byte 56) are required; later ones default to 0.
  if (size < 57) return Fail(sense::InvalidParameterListLength());
  auto byteAt = [&](size_t i) -> uint8_t { return i < size ? d[i] : 0; };
  ScanWindow w;
  w.xResolution = wire::Get16(d + 10);
  w.yResolution = wire::Get16(d + 12);
  w.xStart = wire::Get32(d + 14);
  w.yStart = wire::Get32(d + 18);
  w.width = wire::Get32(d + 22);
  w.length = wire::Get32(d + 26);
  w.bytesPerLine = (static_cast<uint32_t>(byteAt(67)) << 16) | wire::Get16(d + 53);
  w.lineCount = (static_cast<uint32_t>(byteAt(68)) << 16) | wire::Get16(d + 55);
  switch (d[33]) {
    case 0: w.mode = ImageMode::LineArt; w.pixelsPerLine = w.bytesPerLine * 8; break;
    case 1: w.mode = ImageMode::Halftone; w.pixelsPerLine = w.bytesPerLine * 8; break;
    case 2: w.mode = ImageMode::Gray; w.pixelsPerLine = w.bytesPerLine; break;
    case 5:
      w.mode = ImageMode::Color;
      if (w.bytesPerLine % 3 != 0) return Fail(sense::InvalidFieldInParameterList());
      w.pixelsPerLine = w.bytesPerLine / 3;
      break;
    default: return Fail(sense::InvalidFieldInParameterList());
  }
  const uint8_t adf = d[50];
  const uint8_t capEx1 = byteAt(65);
  if ((adf & 0x80) == 0) return Fail(sense::InvalidFieldInParameterList());  // no flatbed
  w.source = (capEx1 & 0x10)   ? ScanSource::FeederDuplex
             : (capEx1 & 0x08) ? ScanSource::FeederBack
                               : ScanSource::FeederFront;
  w.jpeg = d[40] != 0;
  w.sampling = d[41];
  w.pagesPerJob = byteAt(70);
  w.multifeedFlags = byteAt(71);
  w.backgroundScan = (byteAt(71) & 0x40) != 0;
  return Finish(w);
}

}  // namespace rzd::engine
