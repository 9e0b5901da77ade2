// Paper and image data: feeding a sheet for a page, delivering its sides in reads in the order
// the duplex transfer mode gives, the end of a side (and in mode 6 each restart point) as a
// check condition, and the paper faults a test can cause.
#include "engine.h"
#include "engine/page_pattern.h"
#include "jpeg_entropy.h"
#include "lowdrv/engine/engine_caps.h"
#include "lowdrv/engine/jpeg_layout.h"
#include "wire.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace rzd::engine {

namespace caps = rzd::lowdrv::caps;

namespace {

constexpr uint32_t kDefaultSheetInches = 11;

// NVRAM offsets of the counters.
constexpr size_t kPadCount = 0;
constexpr size_t kSimplexCount = 4;
constexpr size_t kDuplexCount = 8;
constexpr size_t kRollerCount = 73;
constexpr size_t kMultifeedCount = 77;
constexpr size_t kJamCount = 81;
constexpr size_t kReverseRollerCount = 128;
constexpr size_t kPickupRollerCount = 132;
constexpr size_t kFrictionRollerCount = 154;
constexpr size_t kCleanCount = 163;
constexpr size_t kFirstScanDate = 34;  // month, day, year

// Bytes of the image-processing block (window descriptor bytes 71 on): the blank-page threshold
// (descriptor byte 81) and the hardware crop mode (descriptor byte 87).
constexpr size_t kIpBlankThreshold = 10;
constexpr size_t kIpCropMode = 16;

// The new window's multifeed byte: detection on, and pause (report when the page is done).
constexpr uint8_t kMultifeedDetect = 0x10;
constexpr uint8_t kMultifeedPause = 0x04;

// The unit's own names in the Exif segment of the streams it writes.
constexpr char kExifMake[] = "QUARX";
constexpr char kExifModel[] = "M48tz";

uint32_t LineBytes(ImageMode mode, uint32_t pixels) {
  switch (mode) {
    case ImageMode::Color: return pixels * 3;
    case ImageMode::Gray: return pixels;
    default: return (pixels + 7) / 8;
  }
}

}  // namespace

CommandResult Engine::StartPage() {
  if (coverOpen_) return Check(sense::CoverOpen());
  if (!window_) return Check(sense::CommandSequenceError());
  if (page_ && !page_->Complete()) return Good();  // this sheet is already in the paper path
  page_.reset();
  Sheet sheet;  // number 0: a background scan moves no paper
  if (!window_->backgroundScan) {
    if (feeder_.empty()) return Check(sense::NoPaper());
    if (TakeFault(feeder_.front().number, FaultKind::Misfeed)) return Check(sense::Misfeed());
    sheet = feeder_.front();
    feeder_.pop_front();
  }
  Page page;
  page.sheet = sheet;
  page.window = *window_;
  // A background scan's lines are raw whatever compression the window names (the driver's
  // background window is the scan's own with one line).
  if (sheet.number == 0) page.window.jpeg = false;
  page.transferMode = transferMode_;
  page.luminance = luminance_;
  page.chrominance = chrominance_;
  const ScanWindow& w = page.window;
  page.restartPoints = transferMode_ == caps::kDuplexRestartPoints && sheet.number != 0;
  page.combined = transferMode_ == caps::kDuplexBlocks && w.Duplex() && !w.jpeg;
  page.wholeJpeg = engineJpegHeaders_ && w.jpeg;
  page.multifeedPause = (w.multifeedFlags & (kMultifeedDetect | kMultifeedPause)) == (kMultifeedDetect | kMultifeedPause);
  page.crop = ipBlock_[kIpCropMode] != 0 && !w.jpeg && sheet.width != 0;
  page.pixelsPerLine = w.pixelsPerLine;
  page.bytesPerLine = w.bytesPerLine;
  if (page.crop && sheet.width < w.pixelsPerLine) {
    page.pixelsPerLine = w.mode == ImageMode::LineArt || w.mode == ImageMode::Halftone
                             ? std::max<uint32_t>(sheet.width / 8 * 8, 8)
                             : sheet.width;
    page.bytesPerLine = LineBytes(w.mode, page.pixelsPerLine);
  }
  uint32_t lines = w.LinesPerSide();
  if (sheet.number != 0) {
    if (lines == 0) lines = sheet.lines ? sheet.lines : kDefaultSheetInches * w.yResolution;
    else if (sheet.lines != 0 && sheet.lines < lines) lines = sheet.lines;  // a shorter sheet
  }
  lines = std::max<uint32_t>(lines, 1);
  if (w.jpeg) lines = std::min(lines, kMaxJpegDimension);
  // A side's byte count travels in 32-bit sense fields (both sides when they share a stream).
  lines = static_cast<uint32_t>(std::min<uint64_t>(lines, 0x7FFFFFFFu / page.bytesPerLine));
  auto useSide = [&](uint32_t side) {
    SideRun& run = page.sides[side];
    run.used = true;
    run.side = side;
    run.lines = lines;
    const bool marked = blankSides_.count({sheet.number, static_cast<int>(side)}) != 0;
    run.blank = sheet.number != 0 && (marked || (side == 1 && !sheet.twoSided));
    run.reportBlank = marked || (run.blank && ipBlock_[kIpBlankThreshold] != 0);
    run.total = w.jpeg ? 0 : static_cast<uint64_t>(lines) * page.bytesPerLine;
    if (page.restartPoints && !w.jpeg) {
      for (uint64_t at = caps::kRestartSpacingLines; at < lines; at += caps::kRestartSpacingLines)
        run.pieceEnds.push_back(at * page.bytesPerLine);
    }
  };
  switch (w.source) {
    case ScanSource::FeederDuplex:
      useSide(0);
      useSide(1);
      if (page.combined) {
        // Both sides in one stream of alternating blocks, carried by the front's run.
        page.sides[0].total *= 2;
        page.sides[0].blank = false;
        page.sides[1].used = false;
      }
      break;
    case ScanSource::FeederBack: useSide(1); break;
    default: useSide(0); break;
  }
  page.activeSide = page.sides[0].used ? 0 : 1;
  blankSides_.erase({sheet.number, 0});
  blankSides_.erase({sheet.number, 1});
  if (sheet.number != 0) {
    for (size_t counter : {kPadCount, kRollerCount, kReverseRollerCount, kPickupRollerCount,
                           kFrictionRollerCount, kCleanCount})
      AddNvram32(counter, 1);
    AddNvram32(w.Duplex() ? kDuplexCount : kSimplexCount, 1);
    if (wire::Get16(&nvram_[kFirstScanDate + 4]) == 0) {
      const std::time_t now = std::time(nullptr);
      std::tm local{};
      localtime_r(&now, &local);
      SetNvram16(kFirstScanDate, static_cast<uint32_t>(local.tm_mon + 1));
      SetNvram16(kFirstScanDate + 2, static_cast<uint32_t>(local.tm_mday));
      SetNvram16(kFirstScanDate + 4, static_cast<uint32_t>(local.tm_year + 1900));
    }
  }
  page_ = std::move(page);
  backgroundReads_ = 0;
  return Good();
}

int Engine::NextSide(const Page& page) const {
  if (!page.sides[0].used) return 1;
  if (!page.sides[1].used) return 0;
  if (page.sides[0].ended) return 1;
  if (page.sides[1].ended) return 0;
  switch (page.transferMode) {
    case caps::kDuplexFrontThenBack: return 0;
    case caps::kDuplexRestartPoints: return page.activeSide;
    default:
      // The sides alternate from read to read while both have data.
      return page.lastSide < 0 ? 0 : 1 - page.lastSide;
  }
}

std::optional<Engine::Fault> Engine::TakeFault(uint32_t sheet, FaultKind kind) {
  for (auto it = faults_.begin(); it != faults_.end(); ++it) {
    if (it->sheet == sheet && it->kind == kind) {
      Fault f = *it;
      faults_.erase(it);
      return f;
    }
  }
  return std::nullopt;
}

std::optional<Engine::Fault> Engine::FaultFor(const Page& page, int side) const {
  const int firstSide = page.sides[0].used ? 0 : 1;
  for (const Fault& f : faults_) {
    if (f.sheet != page.sheet.number || f.kind == FaultKind::Misfeed) continue;
    const int target = (f.side >= 0 && page.sides[f.side].used) ? f.side : firstSide;
    if (target == side) return f;
  }
  return std::nullopt;
}

void Engine::PrepareSide(Page& page, SideRun& run) {
  if (!page.window.jpeg || run.encoded) return;
  const ScanWindow& w = page.window;
  JpegSideLayout layout;
  layout.width = w.pixelsPerLine;
  layout.height = run.lines;
  layout.color = w.mode == ImageMode::Color;
  layout.sampling = w.sampling;
  layout.luminance = page.luminance;
  layout.chrominance = page.chrominance;
  if (page.restartPoints)
    layout.restartInterval = lowdrv::jpeg::RestartInterval(layout.width, layout.color ? 24 : 8, layout.sampling);
  layout.wholeStream = page.wholeJpeg;
  layout.exifMake = kExifMake;
  layout.exifModel = kExifModel;
  const size_t lineBytes = static_cast<size_t>(layout.width) * (layout.color ? 3 : 1);
  const uint32_t sheet = page.sheet.number;
  const uint32_t side = run.side;
  const bool blank = run.blank;
  auto rows = [&](uint32_t line, uint8_t* samples) {
    if (blank) std::memset(samples, kBlankSideByte, lineBytes);
    else FillPattern(sheet, side, line, 0, samples, lineBytes);
  };
  std::optional<JpegSideData> data = EncodeJpegSide(layout, rows);
  run.encoded = true;
  if (data) {
    run.jpeg = std::move(data->bytes);
    run.pieceEnds = std::move(data->pieceEnds);
  }
  run.total = run.jpeg.size();
}

// Both sides in one stream: front lines 16p..16p+n-1, then the back's same lines, for each
// block p (n = 16, less in the last block).
void Engine::ProduceCombined(const Page& page, uint64_t pos, size_t n, uint8_t* out) const {
  const uint64_t bpl = page.bytesPerLine;
  const uint64_t lines = page.sides[0].lines;
  const uint64_t block = caps::kDuplexBlockLines;
  while (n > 0) {
    const uint64_t streamLine = pos / bpl;
    const size_t first = static_cast<size_t>(pos % bpl);
    const size_t count = static_cast<size_t>(std::min<uint64_t>(n, bpl - first));
    const uint64_t pair = streamLine / (2 * block);
    const uint64_t inBlock = std::min(block, lines - pair * block);
    const uint64_t offset = streamLine - pair * 2 * block;
    const uint32_t side = static_cast<uint32_t>(offset / inBlock);
    const uint32_t line = static_cast<uint32_t>(pair * block + offset % inBlock);
    const bool blank = blankSides_.count({page.sheet.number, static_cast<int>(side)}) != 0 ||
                       (side == 1 && !page.sheet.twoSided);
    if (page.sheet.number == 0) std::memset(out, BackgroundByteOf(side), count);
    else if (blank) std::memset(out, kBlankSideByte, count);
    else FillPattern(page.sheet.number, side, line, first, out, count);
    out += count;
    pos += count;
    n -= count;
  }
}

void Engine::Produce(const Page& page, const SideRun& run, uint64_t pos, size_t n,
                     uint8_t* out) const {
  if (page.combined) {  // also a background scan's two lines
    ProduceCombined(page, pos, n, out);
  } else if (page.sheet.number == 0) {
    std::memset(out, BackgroundByteOf(run.side), n);
  } else if (page.window.jpeg) {
    std::memcpy(out, run.jpeg.data() + pos, n);
  } else if (run.blank) {
    std::memset(out, kBlankSideByte, n);
  } else {
    const uint64_t bpl = page.bytesPerLine;
    while (n > 0) {
      const uint32_t line = static_cast<uint32_t>(pos / bpl);
      const size_t first = static_cast<size_t>(pos % bpl);
      const size_t count = static_cast<size_t>(std::min<uint64_t>(n, bpl - first));
      FillPattern(page.sheet.number, run.side, line, first, out, count);
      out += count;
      pos += count;
      n -= count;
    }
  }
}

uint32_t Engine::LinesOfPiece(const Page& page, const SideRun& run) const {
  if (!page.restartPoints) return page.combined ? run.lines * 2 : run.lines;
  const uint32_t left = run.lines > run.pieceLines ? run.lines - run.pieceLines : 0;
  return std::min<uint32_t>(left, caps::kRestartSpacingLines);
}

CommandResult Engine::ReadImage(size_t allowed) {
  if (coverOpen_) return Check(sense::CoverOpen());
  if (!page_ || page_->Complete()) return Check(sense::CommandSequenceError());
  if (allowed == 0) return Good();
  Page& page = *page_;
  const int s = NextSide(page);
  SideRun& run = page.sides[s];
  PrepareSide(page, run);
  if (run.total == 0) {  // the encoder refused the side
    EjectPage();
    return Check(sense::Make(sense::kHardwareError, 0x44, 0x00));
  }
  uint64_t limit = run.total - run.pos;
  const bool atPieces = page.restartPoints && run.nextPiece < run.pieceEnds.size();
  if (atPieces) limit = std::min<uint64_t>(limit, run.pieceEnds[run.nextPiece] - run.pos);
  // A cropping window: the first read of a side gives one line, whose width the sense tells.
  if (page.crop && !run.firstReadDone) limit = std::min<uint64_t>(limit, page.bytesPerLine);
  const size_t n = static_cast<size_t>(std::min<uint64_t>(allowed, limit));
  if (std::optional<Fault> fault = FaultFor(page, s)) {
    const uint64_t sideLines = page.combined ? uint64_t{run.lines} * 2 : run.lines;
    const uint64_t line = fault->line < 0 ? sideLines / 2
                                          : std::min<uint64_t>(static_cast<uint64_t>(fault->line), sideLines - 1);
    uint64_t at = page.window.jpeg ? run.total * line / sideLines : line * page.bytesPerLine;
    at = std::min(at, run.total - 1);
    if (at < run.pos + n) {  // the sheet stops inside this read
      if (fault->kind == FaultKind::Multifeed && page.multifeedPause) {
        // The unit goes on with the page and reports the double feed when it is done.
        TakeFault(fault->sheet, fault->kind);
        AddNvram32(kMultifeedCount, 1);
        page.multifeedSeen = true;
      } else {
        const size_t delivered = at > run.pos ? static_cast<size_t>(at - run.pos) : 0;
        std::vector<uint8_t> data(delivered, 0);  // none: the port decides how the data phase ends
        if (delivered > 0) Produce(page, run, run.pos, delivered, data.data());
        Sense se;
        switch (fault->kind) {
          case FaultKind::Jam: se = sense::Jam(); AddNvram32(kJamCount, 1); break;
          case FaultKind::Multifeed: se = sense::Multifeed(); AddNvram32(kMultifeedCount, 1); break;
          default: se = sense::Staple(); break;
        }
        se.ili = true;
        se.info = static_cast<uint32_t>(delivered);
        TakeFault(fault->sheet, fault->kind);
        EjectPage();  // the sheet is taken out of the paper path
        return Check(se, std::move(data));
      }
    }
  }
  std::vector<uint8_t> data(n);
  Produce(page, run, run.pos, n, data.data());
  run.pos += n;
  run.firstReadDone = true;
  page.lastSide = s;
  const int other = 1 - s;
  const bool otherGoesOn = page.sides[other].used && !page.sides[other].ended;
  if (run.pos < run.total) {
    if (!atPieces || run.pos != run.pieceEnds[run.nextPiece]) return Good(std::move(data));
    // A restart point: this piece is done, the other side's piece comes next.
    run.nextPiece += 1;
    Sense se = sense::Make(sense::kMediumError, 0x80, caps::kRestartPointAscq);
    se.ili = n < allowed;
    se.info = static_cast<uint32_t>(n);
    se.pixels = page.pixelsPerLine;
    se.lines = LinesOfPiece(page, run);
    se.bytes = static_cast<uint32_t>(run.pos - run.pieceStart);
    run.pieceLines += se.lines;
    run.pieceStart = run.pos;
    if (otherGoesOn) page.activeSide = other;
    return Check(se, std::move(data));
  }
  run.ended = true;
  if (otherGoesOn) page.activeSide = other;
  Sense se = sense::Make(sense::kMediumError, 0x80,
                         run.reportBlank ? sense::kBlankSideEndAscq : sense::kSideEndAscq);
  se.ili = n < allowed;
  se.info = static_cast<uint32_t>(n);
  se.pixels = page.pixelsPerLine;
  se.lines = LinesOfPiece(page, run);
  se.bytes = static_cast<uint32_t>(run.pos - run.pieceStart);
  return Check(se, std::move(data));
}

void Engine::EjectPage() { page_.reset(); }

void Engine::ReturnPageToFeeder() {
  if (page_ && page_->sheet.number != 0) feeder_.push_front(page_->sheet);
  page_.reset();
}

}  // namespace rzd::engine
