// What the engine driver keeps about the scan in progress: the preparation's memory of the last
// window and the feeder, the engine's duplex transfer mode, the read loop's per-side counters and
// the JPEG tables of the scan. One set per driver object (a process that reads two units at once
// keeps them apart).
#pragma once

#include "lowdrv/engine/jpeg_tables.h"
#include "lowdrv/engine/window_desc.h"

#include <array>
#include <cstdint>
#include <string>

namespace rzd::lowdrv {

// Counters of one side of the page being read (0 front, 1 back).
struct ScanSide {
  uint32_t linesRead = 0;        // lines delivered of the side
  uint32_t chunks = 0;           // data reads of the side
  uint64_t bytesDelivered = 0;   // bytes delivered of the side: image data, JPEG header and markers
  uint32_t mcuCount = 0;         // JPEG MCUs of the last restart interval
  uint32_t engineLineTotal = 0;  // lines the engine reported at the side's restart points
  uint32_t restartCounter = 0;   // number of the next restart marker
  uint32_t lastRequest = 0;      // the side's last request size
  uint32_t paddedLines = 0;      // lines the driver filled in at the end of a fixed-length side
  uint32_t bytesPerLine = 0;     // bytes of one line of the side (the unit may crop it)
  bool blank = false;            // the unit found the side blank
  bool ended = false;            // the side's data ended (the engine's end, or its last line)
  bool headerDone = false;       // the side's stream has its header (JPEG)
};

// What the page metadata takes from the current settings for one side of the scan and one document
// source: found again whenever the source changes. The settings themselves cannot change while a
// scan runs (applying and resetting them is refused while the unit scans).
struct MetaSettings {
  bool found = false;
  std::u16string sourceId;       // the document source it was found for
  std::u16string documentSource;
  std::u16string imageSource;
  std::u16string stream;
  std::u16string imageSourceFront, imageSourceBack, streamFront, streamBack;  // both sides in one
  std::u16string pixels;
  std::u16string interleave;     // empty for a single channel
  int32_t alignment = 1;
  std::u16string lineOrder, pixelOrder, pixelGender, bitOrder;
  int32_t bitDepth = 0;
  int32_t frameLeft = 0;         // thousandths of an inch
  int32_t frameTop = 0;
  bool gammaApplied = false;
  std::u16string bwThreshold;    // the threshold of a black-and-white stream scanned as grey
};

struct ScanState {
  // ---- The preparation (memory between pages and scans).
  bool mediaKindA = false;
  bool mediaKindB = false;
  uint32_t pagesSinceMediaCheck = 0;
  uint16_t previousXRes = 0;
  uint8_t previousComposition = 0xFF;  // 0xFF: the first scan always counts as changed
  uint8_t previousWindowFlags = 0xFF;
  bool reReserve = false;              // reserve again at the next page (set after a release)
  bool deferredError = false;          // a page-end condition reported at the next side's start
  uint32_t deferredCode = 0;
  // The engine's duplex transfer (READ 0xB2).
  uint16_t duplexTransferMode = 0;     // 1: both sides in one transfer, in alternating blocks
  uint32_t duplexBlockCount = 1;
  std::array<uint8_t, 2> sideFlags = {1, 0};  // F1: sides alternate; F2: at restart points
  uint8_t transferModeByte = 0;
  uint16_t transferCount = 0;
  // The window the last preparation sent (its fixed-length mark as the description has it), and
  // the document source of the description it was built from.
  ReduzidWindowDescriptor window{};
  bool windowSent = false;
  std::u16string windowSource;

  // ---- The read loop (reset when a scan starts).
  uint32_t currentSide = 0;
  uint32_t bytesPerLine = 0;
  std::array<ScanSide, 2> side{};
  uint32_t imageNumber = 1;
  uint32_t pagesInBatch = 1;
  uint32_t mediaKindPages = 0;       // pages counted while a media kind was set
  bool padding = false;              // the current side is being filled to its fixed length
  uint32_t savedBoundary = 0;        // the boundary to report when the padding ends
  uint8_t readStarted = 0;           // cleared by every read
  // The scan is prepared but its first call answered 77 (no data left the unit): the next call
  // reads the prepared page instead of preparing the scan again.
  bool startPending = false;
  std::array<MetaSettings, 3> meta{};  // front, back, both sides in one transfer

  // ---- The JPEG tables of the scan (natural order), from the last preparation.
  std::array<uint8_t, 64> luminance = jpeg::kStandardLuminanceTable;
  std::array<uint8_t, 64> chrominance = jpeg::kStandardChrominanceTable;
};

}  // namespace rzd::lowdrv
