// What the pipeline reads from a window description, and the per-page sizes derived from it.
#include "scan/scan_steps.h"

#include <algorithm>

namespace rzd::lowdrv {

WindowFacts FactsOf(const ReduzidWindowDescriptor& d) {
  WindowFacts f;
  f.xRes = d.XRes;
  f.yRes = d.YRes;
  f.composition = d.ImageComp;
  f.jpeg = d.CompressType != 0;
  f.samplingMode = d.CompressArg;
  f.fixedLength = (DescByte(d, desc::kFixedLength) & 0x01) != 0;
  f.fromFeeder = (d.ADF & 0x80) != 0;
  f.sides = d.SetCapEx1;
  f.duplex = (f.sides & 0x10) != 0;
  f.backFirst = (f.sides & 0x08) != 0;
  f.autoWidth = DescByte(d, desc::kAutoWidth) != 0;
  f.quarterTurn = (DescByte(d, desc::kQuarterTurn) & 0x01) != 0;
  f.dfdPause = (d.MFDenable & 0x08) != 0;
  f.keepReservation = (DescByte(d, desc::kPaperHandling) & 0x80) != 0;
  f.onePagePerJob = d.PagesPerJob != 0;
  f.lineBytesField = d.PixelNum | (static_cast<uint32_t>(d.HiBytePixelNum) << 16);
  f.lineCountField = d.LineNum | (static_cast<uint32_t>(d.HiByteLineNum) << 16);

  if (!f.quarterTurn) {
    f.bytesPerLine = f.lineBytesField;
    f.linesPerPage = f.lineCountField;
  } else {
    // The engine turns the page: a line runs along the window's length.
    uint32_t n = f.lineCountField;
    if (f.duplex) n /= 2;
    f.bytesPerLine = f.composition == 5 ? n * 3 : f.composition == 0 ? (n + 7) / 8 : n;
    uint64_t lines = f.lineBytesField;
    if (f.duplex) lines *= 2;
    lines = f.composition == 5 ? lines / 3 : f.composition == 0 ? lines * 8 : lines;
    f.linesPerPage = static_cast<uint32_t>(std::min<uint64_t>(lines, 0xFFFFFFFFu));
  }
  f.linesPerSide = f.duplex ? f.linesPerPage / 2 : f.linesPerPage;
  f.bits = f.composition == 5 ? 24 : 8;
  f.pixelsPerLine = f.composition == 5 ? f.lineBytesField / 3 : f.lineBytesField;
  return f;
}

}  // namespace rzd::lowdrv
