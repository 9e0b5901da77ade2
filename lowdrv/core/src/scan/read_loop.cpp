// Read: each call fills the caller's buffer with the next piece of the current side and says by
// the boundary value where the data stands (1 inside a side, 2 one side of a duplex page ended,
// 3 a page ended and the next one is prepared, 6 the scan ended). The first call starts the
// scan; JPEG sides get the driver's header, restart markers and end marker around the engine's
// data; fixed-length raster sides are filled to their length; the unit is released at the end.
//
// The engine's image read writes into the caller's buffer; the loop itself never copies image
// bytes (it only appends the JPEG markers behind them).
#include "foundation/func_trace.h"
#include "lowdrv/core/argument_contract.h"
#include "lowdrv/core/driver_system.h"
#include "lowdrv/engine/byte_order.h"
#include "scan/exif_rewrite.h"
#include "scan/jpeg_header.h"
#include "scan/scan_steps.h"

#include <algorithm>
#include <string>

namespace rzd::lowdrv {

namespace {

constexpr LLDError kRetryWithLargerBuffer = 77;
constexpr LLDError kNoPaperAfterDfdWait = 69;
constexpr uint32_t kDfdWait = 70;
constexpr uint32_t kJpegReadUnit = 64;     // the engine's JPEG reads come in multiples of this
constexpr uint32_t kMarkerBytes = 2;       // room kept for a restart or end marker
constexpr uint32_t kEngineHeaderBuffer = 1536;
constexpr uint32_t kEngineHeaderFirstRead = 1504;
constexpr uint32_t kEngineHeaderMinimumRead = 1024;

class ReadLoop {
 public:
  ReadLoop(CRZDREduzidLLD& d, uint8_t* buffer, uint32_t* size, BSTR* meta, uint32_t* boundary)
      : d_(d), s_(d.m_Scan), eng_(d.m_ReduzidScanner), set_(*d.m_pSettings), buffer_(buffer), size_(size),
        meta_(meta), boundaryOut_(boundary), capacity_(*size), entryBoundary_(*boundary) {}

  LLDError Run();

 private:
  [[noreturn]] void Throw(LLDError code) { throw ScanFailure{code}; }
  [[noreturn]] void Fail(const char16_t* line, LLDError code) {
    RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"%s", line);
    Throw(code);
  }
  LLDError EngineError() const { return eng_.m_ulLastError != 0 ? eng_.m_ulLastError : lld::kInternal; }

  LLDError Step();
  void StartScan();
  LLDError BeginPage();
  LLDError RestartAfterDfdWait();
  LLDError WriteHeader();
  LLDError ReadData();
  LLDError Pad();
  uint32_t PageEnd();
  LLDError Retry();
  LLDError Failure(LLDError code);
  void ReleaseBatch(LLDError& result);
  void StopImprinter();
  void ReadFacts();
  void Deliver(uint32_t lines, uint32_t bytes, bool endOfImage, const ImageReadResult& read, uint32_t reportBoundary);
  void ChooseNextSide(bool endedThisCall, bool restart);
  bool EngineMakesHeaders() const { return (InqBytes(inq_)[164] & 0x02) != 0; }
  uint32_t Mcu(uint32_t lines, uint32_t pixels) const {
    uint32_t mcu = static_cast<uint32_t>(lines * pixels) >> 6;  // unsigned 32-bit, as the engine counts
    if (facts_.samplingMode == 1) mcu >>= 2;
    else if (facts_.samplingMode == 2) mcu >>= 1;
    return mcu;
  }
  ScanSide& Cur() { return s_.side[s_.currentSide & 1]; }
  ScanSide& Other() { return s_.side[(s_.currentSide + 1) & 1]; }
  uint32_t LinesPerSide() const { return combined_ ? facts_.linesPerSide * 2 : facts_.linesPerSide; }
  uint32_t MaxChunk() const { return facts_.composition > 2 ? d_.m_ulLargeReadSize : d_.m_ulSmallReadSize; }

  CRZDREduzidLLD& d_;
  ScanState& s_;
  CReduzidInterface& eng_;
  CScannerSettings_AV& set_;
  uint8_t* buffer_;
  uint32_t* size_;
  BSTR* meta_;
  uint32_t* boundaryOut_;
  const uint32_t capacity_;
  const uint32_t entryBoundary_;
  ReduzidInq inq_ = CRZDScannerSettingsBase::InquiryCopy();
  uint32_t boundary_ = 6;
  bool released_ = false;
  bool factsRead_ = false;
  WindowFacts facts_{};
  ReduzidWindowDescriptor window_{};
  std::u16string source_;   // the document source of the window's description
  bool combined_ = false;   // raster duplex with both sides in one transfer
  bool jpegDriver_ = false; // JPEG whose headers the driver writes
};

void ReadLoop::ReadFacts() {
  if (s_.windowSent) {
    window_ = s_.window;
    source_ = s_.windowSource;
  } else if (const ReduzidWindowDescriptor* current = ScanSteps::CurrentWindow(d_)) {
    window_ = *current;
    source_ = set_.GetCurrentImageSourceID();
  } else {
    Fail(u"Read failed because GetWindowDescription() failed", lld::kInternal);
  }
  facts_ = FactsOf(window_);
  factsRead_ = true;
  combined_ = facts_.duplex && s_.duplexTransferMode == 1 && !facts_.jpeg;
  jpegDriver_ = facts_.jpeg && !EngineMakesHeaders();
}

void ReadLoop::StopImprinter() { ScanSteps::StopImprinter(d_); }

void ReadLoop::StartScan() {
  s_.padding = false;
  s_.imageNumber = 1;
  s_.pagesInBatch = 1;
  s_.mediaKindPages = 0;
  s_.side = {};
  s_.meta = {};
  s_.windowSent = false;
  s_.deferredError = false;
  d_.m_errDFDErrWait = 0;
  uint8_t media = 1;
  const LLDError r = d_.PrepareScan(&media);
  if (r != 0) Fail(u"Read failed because PrepareScan() failed", r);
  // From here the unit holds a page: a failure or a cancel before the first data gives it back.
  d_.m_ulStatus = state::kScanning;
}

LLDError ReadLoop::RestartAfterDfdWait() {
  eng_.m_ulCmdTimeout = d_.m_ulCmdTimeout;
  if (set_.m_bDFDResetOption) {
    d_.m_bDFDResetPending = 0;
    if (!eng_.SendResetDFDSelection()) Fail(u"PrepareScan failed because SendResetDFDSelection() failed", EngineError());
  }
  uint8_t status = 0;
  const LLDError checked = d_.MediaCheck(&status, 0);
  if (checked != 0) Fail(u"PrepareScan failed because MediaCheck() failed", checked);
  if (status == 0) {
    d_.m_ulStatus = state::kLocked;
    boundary_ = 6;
    return kNoPaperAfterDfdWait;
  }
  if (entryBoundary_ == 6 && d_.m_bBatchReservation) {
    eng_.m_ulCmdTimeout = d_.m_ulReserveTimeout;
    if (!eng_.ReserveUnit(2)) Fail(u"PrepareScan failed because ReserveUnit(2) failed", EngineError());
    d_.m_bUnitReserved = 1;
  }
  if (set_.ImprinterOptionOn() && !d_.m_bImprinterStarted) {
    eng_.StartImprinterNew();
    eng_.EnableImprinterNew();
    d_.m_bImprinterStarted = 1;
  } else {
    d_.m_bImprinterStarted = 0;
  }
  if (facts_.keepReservation) d_.m_bUnitReserved = 1;
  uint8_t media = 1;
  const LLDError r = d_.PrepareScan(&media);
  if (r == lld::kNoPaper) Fail(u"Read failed because PrepareScan() failed", kNoPaperAfterDfdWait);
  if (r != 0) Fail(u"Read failed because PrepareScan() failed", r);
  ReadFacts();
  return 0;
}

LLDError ReadLoop::BeginPage() {
  if (s_.deferredError) {
    s_.deferredError = false;
    RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"Read failed because the last page ended with %d",
                     static_cast<int>(s_.deferredCode));
    Throw(s_.deferredCode);
  }
  if (d_.m_errDFDErrWait != 0) {
    if (const LLDError r = RestartAfterDfdWait(); r != 0) return r;
  }
  if (facts_.bytesPerLine == 0) Fail(u"Read failed because the window has no bytes per line", lld::kInvalidXmlValue);
  for (ScanSide& side : s_.side) {
    const uint32_t lastRequest = side.lastRequest;
    side = {};
    side.lastRequest = lastRequest;
  }
  s_.padding = false;
  s_.currentSide = facts_.backFirst && !facts_.duplex ? 1 : 0;
  s_.bytesPerLine = facts_.bytesPerLine;
  return 0;
}

LLDError ReadLoop::Retry() {
  *size_ = 0;
  return kRetryWithLargerBuffer;
}

LLDError ReadLoop::WriteHeader() {
  ScanSide& cur = Cur();
  cur.restartCounter = 0;
  std::string make;
  std::string model;
  ExifTexts(d_.m_strFriendlyName, make, model);
  const bool restart = s_.sideFlags[1] != 0;
  uint32_t headerSize = 0;
  if (!jpeg::AVGetJFIFHeaderSize(&headerSize, restart, facts_.bits, facts_.samplingMode, make, model))
    Fail(u"Read failed because AVGetJFIFHeaderSize() failed", lld::kInternal);
  if (capacity_ < headerSize) Fail(u"Read failed because Actual size is less then header size.", lld::kInternal);
  uint8_t* luminance = nullptr;
  uint8_t* chrominance = nullptr;
  d_.GetLuminanceQuantTable(&luminance);
  d_.GetChrominanceQuantTable(&chrominance);
  jpeg::HeaderParams params;
  params.bits = facts_.bits;
  params.width = facts_.pixelsPerLine;
  params.lines = facts_.linesPerSide;
  params.xResolution = facts_.xRes;
  params.yResolution = facts_.yRes;
  params.luminance = luminance;
  params.chrominance = chrominance;
  params.restart = restart;
  params.restartInterval = jpeg::RestartInterval(params.width, facts_.bits, facts_.samplingMode);
  params.samplingMode = facts_.samplingMode;
  params.make = make;
  params.model = model;
  if (restart && params.restartInterval == 0)
    Fail(u"Read failed because the window is too wide for a restart interval", lld::kInvalidXmlValue);
  if (!jpeg::WriteJFIFHeader(buffer_, params))
    Fail(u"Read failed because the window's size does not fit a JPEG frame", lld::kInvalidXmlValue);
  *size_ = headerSize;
  cur.bytesDelivered = headerSize;
  cur.headerDone = true;
  boundary_ = 1;
  Deliver(0, headerSize, false, ImageReadResult{}, 1);
  return 0;
}

LLDError ReadLoop::Pad() {
  ScanSide& cur = Cur();
  const uint32_t line = s_.bytesPerLine;
  const uint32_t request = std::min(capacity_, MaxChunk());
  const uint32_t total = LinesPerSide();
  const uint32_t left = total > cur.linesRead ? total - cur.linesRead : 0;
  const uint32_t lines = std::min(request / line, left);
  if (lines == 0) {
    RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"Read failed because buffer size(%d) is less then 1 line",
                     static_cast<int>(capacity_));
    Throw(lld::kInvalidParameter);
  }
  const uint32_t bytes = lines * line;
  d_.FillBackgroundLine(buffer_, bytes);
  cur.linesRead += lines;
  cur.paddedLines += lines;
  cur.bytesDelivered += bytes;
  const bool done = cur.linesRead >= total;
  if (done) s_.padding = false;
  boundary_ = done ? s_.savedBoundary : 1;
  *size_ = bytes;
  Deliver(lines, bytes, done, ImageReadResult{}, boundary_);
  if (done) ChooseNextSide(true, false);
  return 0;
}

LLDError ReadLoop::ReadData() {
  ScanSide& cur = Cur();
  ScanSide& other = Other();
  const uint32_t line = s_.bytesPerLine;
  const uint32_t linesPerSide = LinesPerSide();
  uint32_t request = std::min(capacity_, MaxChunk());
  if (!facts_.jpeg) {
    const uint32_t unit = facts_.duplex ? 2 * line : line;
    if (request < unit) {
      RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"Read failed because buffer size(%d) is less then 1 line",
                       static_cast<int>(capacity_));
      Throw(lld::kInvalidParameter);
    }
    if (d_.m_bReadLoopFlag && cur.lastRequest != 0 && cur.lastRequest > request) return Retry();
    request = request / unit * unit;
    if (linesPerSide != 0 && linesPerSide < request / line + cur.linesRead) {
      const uint32_t left = linesPerSide > cur.linesRead ? linesPerSide - cur.linesRead : 0;
      if (left == 0) Fail(u"Read failed because the side has no line left to read", lld::kInternal);
      request = line * left;
    }
    if (facts_.duplex && !combined_ && s_.duplexTransferMode == 0 && s_.sideFlags[0] && !s_.sideFlags[1] &&
        other.lastRequest != 0 && other.lastRequest != cur.lastRequest && !s_.padding)
      request = std::min(request, other.lastRequest);
  } else {
    // The engine's part of a JPEG read is a multiple of 64 bytes, two bytes below the request
    // when the driver may add a marker.
    const uint32_t least = jpegDriver_ ? kJpegReadUnit + kMarkerBytes : kJpegReadUnit;
    if (request < least) {
      RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"Read failed because buffer size(%d) is less then 1 line",
                       static_cast<int>(capacity_));
      Throw(lld::kInvalidParameter);
    }
  }

  eng_.m_ulCmdTimeout = d_.m_ulReadTimeout;
  d_.m_ulStatus = state::kScanning;
  uint8_t endFlag = 0;
  ImageReadResult read;
  LLDError r = 0;
  uint32_t got = 0;
  if (jpegDriver_) {
    r = d_.ReadEngineImageData(buffer_, (request - kMarkerBytes) / kJpegReadUnit * kJpegReadUnit, endFlag, read);
    got = read.actualLength;
  } else if (facts_.jpeg && cur.chunks == 0) {
    // The engine's own header comes first: its Exif names are rewritten, which may need room.
    std::string make;
    std::string model;
    ExifTexts(d_.m_strFriendlyName, make, model);
    const uint32_t reserve = jpeg::ExifRewriteReserve(make, model);
    uint32_t first = kEngineHeaderFirstRead + 32 > reserve ? kEngineHeaderFirstRead + 32 - reserve : 0;
    first = std::max(first, kEngineHeaderMinimumRead) / kJpegReadUnit * kJpegReadUnit;
    if (capacity_ < std::max(kEngineHeaderBuffer, first + reserve)) return Retry();
    r = d_.ReadEngineImageData(buffer_, first, endFlag, read);
    got = read.actualLength;
    if (got != 0) {
      const size_t rewritten = jpeg::RewriteExifMakeModel(buffer_, got, capacity_, make, model);
      if (rewritten == got) RZD_LOG_WARN_OF(ScanSteps::Log(d_), u"Read left the engine's Exif names as they are");
      got = static_cast<uint32_t>(rewritten);
    }
  } else if (!facts_.jpeg && facts_.autoWidth && cur.chunks == 0) {
    // The first line tells the width the unit found; the rest comes in whole lines of it.
    r = d_.ReadEngineImageData(buffer_, line, endFlag, read);
    got = read.actualLength;
    if (r == 0 && !endFlag) {
      eng_.RequestSense();
      uint32_t width = eng_.m_Sense.ASByte;
      if (!d_.m_bNewCommandSet) width = GetBE32(reinterpret_cast<const uint8_t*>(&eng_.m_Sense.ASByte));
      if (width == 0 || width > line || got != width) {
        RZD_LOG_WARN_OF(ScanSteps::Log(d_), u"Read keeps the window's width: the unit reported a width of %d",
                        static_cast<int>(width));
        width = line;
      }
      if (width != 0) {
        s_.bytesPerLine = width;
        cur.bytesPerLine = width;
        // An engine whose sides alternate from read to read gives the next read to the other
        // side: the rest of this side then comes with its next call.
        const bool alternating = facts_.duplex && s_.sideFlags[0] && !s_.sideFlags[1];
        uint32_t rest = alternating ? 0 : std::min(request, MaxChunk()) - got;
        rest = rest / width * width;
        if (linesPerSide != 0) rest = std::min<uint32_t>(rest, width * (linesPerSide > 1 ? linesPerSide - 1 : 0));
        if (rest != 0) {
          ImageReadResult more;
          r = d_.ReadEngineImageData(buffer_ + got, rest, endFlag, more);
          got += more.actualLength;
          more.actualLength = got;
          read = more;
        }
      }
    }
  } else {
    r = d_.ReadEngineImageData(buffer_, request, endFlag, read);
    got = read.actualLength;
  }
  cur.chunks += 1;
  const bool restart = read.secondFlag != 0;

  // Totals.
  cur.lastRequest = request;
  if (other.lastRequest == 0) other.lastRequest = request;
  bool ended = false;
  if (r == lld::kBlankPage) {
    ended = true;
    cur.blank = true;
  } else if (r == lld::kMultifeed && facts_.dfdPause) {
    d_.m_errDFDErrWait = kDfdWait;
    eng_.m_ulCmdTimeout = d_.m_ulReleaseTimeout;
    eng_.ReleaseUnit(0);
    eng_.ReleaseUnit(2);
    d_.m_bUnitReserved = 0;
    StopImprinter();
    released_ = true;
  } else if (r != 0) {
    Fail(u"Read failed because ReadImageData() failed", r);
  }
  if (endFlag) ended = true;
  if (restart && !ended) {
    cur.engineLineTotal += read.value2;
    cur.mcuCount = Mcu(read.value2, read.value1);
  }

  // The side's bookkeeping.
  const uint32_t lines = facts_.jpeg || s_.bytesPerLine == 0 ? 0 : got / s_.bytesPerLine;
  cur.linesRead += lines;
  if (!facts_.jpeg && linesPerSide != 0 && cur.linesRead >= linesPerSide) ended = true;
  uint32_t bytes = got;
  cur.bytesDelivered += got;

  uint32_t report = 1;
  bool padding = false;
  if (ended) {
    cur.ended = true;
    if (jpegDriver_) {
      jpeg::EndMarker(buffer_ + bytes);
      bytes += kMarkerBytes;
      cur.bytesDelivered += kMarkerBytes;
    }
    padding = !facts_.jpeg && facts_.fixedLength && !combined_ && linesPerSide != 0 && cur.linesRead < linesPerSide;
    const bool pageDone = !facts_.duplex || combined_ || (s_.side[0].ended && s_.side[1].ended);
    boundary_ = pageDone ? PageEnd() : 2;
    report = boundary_;
    if (padding) {
      s_.padding = true;
      s_.savedBoundary = boundary_;
      boundary_ = 1;
      report = 1;
    }
  } else {
    if (jpegDriver_ && restart) {
      jpeg::RestartMarker(cur.restartCounter++, buffer_ + bytes);
      bytes += kMarkerBytes;
      cur.bytesDelivered += kMarkerBytes;
    }
    boundary_ = 1;
  }
  *size_ = bytes;
  Deliver(lines, bytes, ended && !padding, read, report);
  ChooseNextSide(ended && !padding, restart);
  return 0;
}

void ReadLoop::Deliver(uint32_t lines, uint32_t bytes, bool endOfImage, const ImageReadResult& read,
                       uint32_t reportBoundary) {
  const ScanSide& cur = Cur();
  uint32_t sideLines = cur.linesRead;
  if (facts_.jpeg) {
    // A JPEG side is as long as the engine says (its pieces' lines summed), else as the window.
    sideLines = read.value2 + cur.engineLineTotal;
    if (sideLines == 0) sideLines = facts_.linesPerSide;
  }
  uint32_t mcu = 0;
  if (endOfImage && facts_.jpeg && jpegDriver_ && s_.sideFlags[1]) {
    mcu = cur.mcuCount != 0 ? cur.mcuCount : Mcu(sideLines, read.value1);
  }
  // The source of the description the page is read with: a switch made at this page's end is the
  // next page's.
  BSTR document = nullptr;
  const bool made = d_.GenerateMetaData(window_, lines, bytes, endOfImage, &document, source_, read.value1, sideLines,
                                        static_cast<uint32_t>(std::min<uint64_t>(cur.bytesDelivered, 0xFFFFFFFFu)),
                                        cur.blank, mcu);
  if (!made) Fail(u"Read failed because GenerateMetaData() failed", lld::kInternal);
  *meta_ = document;
  d_.m_bstrBackgroundMeta = Bstr(BstrView(document));
  if (reportBoundary > 2) {
    d_.m_ulPageNumber += 1;
    s_.pagesInBatch += 1;
  }
}

void ReadLoop::ChooseNextSide(bool endedThisCall, bool restart) {
  if (!facts_.duplex || combined_) return;
  auto flip = [this] { s_.currentSide ^= 1u; };
  auto otherEnded = [this] { return Other().ended; };
  const bool f1 = s_.sideFlags[0] != 0;
  const bool f2 = s_.sideFlags[1] != 0;
  // Sides that alternate read by read: the next read is the other side's while it has data.
  if (f1 && !f2 && !s_.padding && !otherEnded()) flip();
  // Sides that alternate at restart points.
  if (f2 && restart && !s_.padding && !otherEnded()) flip();
  if (endedThisCall && (!f1 || f2)) flip();
  s_.bytesPerLine = Cur().bytesPerLine != 0 ? Cur().bytesPerLine : facts_.bytesPerLine;
}

uint32_t ReadLoop::PageEnd() {
  if (s_.mediaKindA || s_.mediaKindB) s_.mediaKindPages += 1;
  eng_.m_ulCmdTimeout = d_.m_ulReleaseTimeout;
  d_.m_ulSubState = 3;
  auto defer = [this](LLDError code) {
    if (!s_.deferredError) {
      s_.deferredError = true;
      s_.deferredCode = code;
    }
  };
  if (set_.ImprinterOptionOn() && d_.m_bImprinterStarted && !set_.m_bShortImprFlags) {
    eng_.DisableImprinterNew();
    eng_.StopImprinterNew();
    d_.SendImprinterClosingRecord();
    d_.m_bImprinterStarted = 0;
  }
  if (!eng_.ReleaseUnit(0)) {
    const LLDError code = EngineError();
    if (code == lld::kMultifeed && facts_.dfdPause) {
      d_.m_errDFDErrWait = kDfdWait;
      eng_.m_ulCmdTimeout = d_.m_ulReleaseTimeout;
      eng_.ReleaseUnit(2);
      d_.m_bUnitReserved = 0;
      s_.reReserve = true;
      d_.m_bDFDResetPending = 1;
      StopImprinter();
    } else {
      // The page's data is complete: it is delivered now, the failure at the next call.
      RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"Read failed because ReleaseUnit() failed");
      defer(code);
      return 3;
    }
  }
  s_.pagesSinceMediaCheck += 1;
  uint8_t status = 0;
  auto deferrable = [&](LLDError code) {
    return code == lld::kMultifeed ||
           (d_.m_bBatchReservation && (status & caps::kFeederPaper) &&
            (code == lld::kPaperJam || code == lld::kItemJammed || code == lld::kMisfeed));
  };
  if (d_.m_errDFDErrWait == 0 && facts_.fromFeeder) {
    eng_.m_ulCmdTimeout = d_.m_ulCmdTimeout;
    const LLDError checked = d_.MediaCheck(&status, 0);
    if (checked != 0) {
      if (!deferrable(checked)) RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"PrepareScan failed because MediaCheck() failed");
      defer(checked);
      return 3;
    }
  }
  if (s_.pagesInBatch == 1 && set_.m_bAlternateDefined && s_.pagesSinceMediaCheck != 0 && !set_.m_bMediaStatusOverride)
    SelectNextDescription(set_);
  if (facts_.onePagePerJob) {
    d_.m_ulStatus = state::kLocked;
    return 6;
  }
  const LLDError prepared = d_.m_errDFDErrWait != 0 ? 0 : d_.PrepareScan(&status);
  if (prepared == 0) return 3;
  if (prepared == lld::kNoPaper) {
    d_.m_ulStatus = state::kLocked;
    return 6;
  }
  if (!deferrable(prepared)) RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"Read failed because PrepareScan() failed");
  // Reported at the start of the next page, so this page's last data is not lost.
  defer(prepared);
  return 3;
}

LLDError ReadLoop::Failure(LLDError code) {
  boundary_ = 6;
  s_.pagesSinceMediaCheck = 0;
  s_.padding = false;
  *size_ = 0;
  if (d_.m_ulStatus >= state::kWarmingUp) {
    if (!released_) {
      eng_.m_ulCmdTimeout = d_.m_ulReleaseTimeout;
      if (code == lld::kCancelled) {
        if (eng_.ReleaseUnit(1) && d_.m_bNewCommandSet) eng_.ReleaseUnit(2);
      } else {
        eng_.ReleaseUnit(0);
      }
    }
    d_.m_ulStatus = state::kLocked;
  }
  if (code == lld::kLampWarmingUp) d_.m_ulStatus = state::kWarmingUp;
  return code;
}

void ReadLoop::ReleaseBatch(LLDError& result) {
  if (!factsRead_) {
    if (const ReduzidWindowDescriptor* current = ScanSteps::CurrentWindow(d_)) facts_ = FactsOf(*current);
  }
  if (facts_.keepReservation) return;
  d_.m_bUnitReserved = 0;
  eng_.m_ulCmdTimeout = d_.m_ulReleaseTimeout;
  if (!eng_.ReleaseUnit(2)) {
    const LLDError code = EngineError();
    RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"CancelOperation failed because m_ReduzidScanner.ReleaseUnit(1) failed with %d",
                     static_cast<int>(code));
    // A failure the call already has is the clearer report.
    if (result == 0) result = code;
    return;
  }
  StopImprinter();
}

LLDError ReadLoop::Step() {
  // A scan whose first call answered 77 is prepared already: its page is read now.
  if (boundary_ == 6 && !(s_.startPending && d_.m_ulStatus == state::kScanning)) StartScan();
  ReadFacts();
  if (boundary_ == 3 || boundary_ == 6) {
    if (const LLDError r = BeginPage(); r != 0) return r;
  }
  s_.bytesPerLine = Cur().bytesPerLine != 0 ? Cur().bytesPerLine : facts_.bytesPerLine;
  Cur().bytesPerLine = s_.bytesPerLine;
  if (jpegDriver_ && !Cur().headerDone) return WriteHeader();
  if (s_.padding) return Pad();
  return ReadData();
}

LLDError ReadLoop::Run() {
  s_.readStarted = 0;
  *meta_ = nullptr;
  if (d_.m_ulStatus < state::kLocked || d_.m_ulStatus == state::kCalibrating) {
    RZD_LOG_ERROR_OF(ScanSteps::Log(d_), u"Read failed because m_ulStatus is %d", static_cast<int>(d_.m_ulStatus));
    *size_ = 0;
    *boundaryOut_ = ScanSteps::BoundaryState(d_);
    return lld::kWrongSequence;
  }
  boundary_ = ScanSteps::BoundaryState(d_);
  LLDError result = 0;
  try {
    result = Step();
  } catch (const ScanFailure& failure) {
    result = Failure(failure.code);
  }
  // A 77 before any data of the scan leaves the prepared scan as it is (its reservations and its
  // sheet in the unit), and the boundary unchanged: the next call reads that page. The mark is
  // set here only, after every step the loop ran.
  const bool keepPrepared = result == kRetryWithLargerBuffer && boundary_ == 6;
  s_.startPending = keepPrepared;
  // The batch reservation is given back also after a lost connection: a stalled pipe reports
  // the same code while the unit is still there, and a unit that is gone fails the release at once.
  if (boundary_ == 6 && d_.m_bBatchReservation && !keepPrepared) ReleaseBatch(result);
  if (result != 0 && result != kRetryWithLargerBuffer) *size_ = 0;
  *boundaryOut_ = boundary_;
  d_.m_ulSubState = boundary_;
  return result;
}

}  // namespace

void SelectNextDescription(CScannerSettings_AV& settings) {
  if (settings.m_bThirdDefined) {
    settings.m_bThirdSelected = 1;
    settings.m_bAlternateSelected = 0;
  } else {
    settings.m_bAlternateSelected = settings.m_bAlternateDefined;
  }
}

LLDError ScanSteps::Read(CRZDREduzidLLD& d, uint8_t* buffer, uint32_t* size, BSTR* meta, uint32_t* boundary) {
  // The export's own check; this object stands in for the handle that named it.
  if (const LLDError error = CheckReadArguments(&d, buffer, size, meta, boundary).error; error != lld::kSuccess) {
    return error;
  }
  return ReadLoop(d, buffer, size, meta, boundary).Run();
}

LLDError CRZDREduzidLLD::Read(uint8_t* pbyBufferOut, uint32_t* pstActualSizeOut, BSTR* pstrMetaOut,
                              uint32_t* pdwBoundary) {
  return ScanSteps::Read(*this, pbyBufferOut, pstActualSizeOut, pstrMetaOut, pdwBoundary);
}

}  // namespace rzd::lowdrv
