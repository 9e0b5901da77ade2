// Paper and image data: feeding a sheet for a page, delivering its sides in reads, the end of a
// side as a check condition, and the paper faults a test can cause.
#include "engine.h"
#include "engine/page_pattern.h"
#include "jpeg_entropy.h"
#include "wire.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace rzd::engine {

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

// The image-processing block's blank-page threshold (window descriptor byte 81).
constexpr size_t kIpBlankThreshold = 10;

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
  page.transferMode = transferMode_;
  page.luminance = luminance_;
  page.chrominance = chrominance_;
  const ScanWindow& w = page.window;
  uint32_t lines = w.LinesPerSide();
  if (sheet.number != 0) {
    if (lines == 0) lines = sheet.lines ? sheet.lines : kDefaultSheetInches * w.yResolution;
    else if (sheet.lines != 0 && sheet.lines < lines) lines = sheet.lines;  // a shorter sheet
  }
  lines = std::max<uint32_t>(lines, 1);
  if (w.jpeg) lines = std::min(lines, kMaxJpegDimension);
  // A side's byte count travels in 32-bit sense fields.
  lines = static_cast<uint32_t>(std::min<uint64_t>(lines, 0xFFFFFFFFu / w.bytesPerLine));
  auto useSide = [&](uint32_t side) {
    SideRun& run = page.sides[side];
    run.used = true;
    run.side = side;
    run.lines = lines;
    const bool marked = blankSides_.count({sheet.number, static_cast<int>(side)}) != 0;
    run.blank = sheet.number != 0 && (marked || (side == 1 && !sheet.twoSided));
    run.reportBlank = marked || (run.blank && ipBlock_[kIpBlankThreshold] != 0);
    run.total = w.jpeg ? 0 : static_cast<uint64_t>(lines) * w.bytesPerLine;
  };
  switch (w.source) {
    case ScanSource::FeederDuplex: useSide(0); useSide(1); break;
    case ScanSource::FeederBack: useSide(1); break;
    default: useSide(0); break;
  }
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
  return Good();
}

int Engine::NextSide(const Page& page) const {
  if (!page.sides[0].used) return 1;
  if (!page.sides[1].used) return 0;
  if (page.transferMode == 5) return page.sides[0].ended ? 1 : 0;  // front side, then back
  // Mode 0: the sides alternate from read to read while both have data.
  if (page.lastSide < 0) return page.sides[0].ended ? 1 : 0;
  const int other = 1 - page.lastSide;
  return page.sides[other].ended ? page.lastSide : other;
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
  const size_t lineBytes = static_cast<size_t>(layout.width) * (layout.color ? 3 : 1);
  const uint32_t sheet = page.sheet.number;
  const uint32_t side = run.side;
  const bool blank = run.blank;
  auto rows = [&](uint32_t line, uint8_t* samples) {
    if (sheet == 0) std::memset(samples, kBackgroundByte, lineBytes);
    else if (blank) std::memset(samples, kBlankSideByte, lineBytes);
    else FillPattern(sheet, side, line, 0, samples, lineBytes);
  };
  std::optional<std::vector<uint8_t>> entropy = EncodeJpegEntropy(layout, rows);
  run.encoded = true;
  if (entropy) run.jpeg = std::move(*entropy);
  run.total = run.jpeg.size();
}

void Engine::Produce(const Page& page, const SideRun& run, uint64_t pos, size_t n,
                     uint8_t* out) const {
  if (page.sheet.number == 0) {
    std::memset(out, kBackgroundByte, n);
  } else if (page.window.jpeg) {
    std::memcpy(out, run.jpeg.data() + pos, n);
  } else if (run.blank) {
    std::memset(out, kBlankSideByte, n);
  } else {
    const uint64_t bpl = page.window.bytesPerLine;
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
  const size_t n = static_cast<size_t>(std::min<uint64_t>(allowed, run.total - run.pos));
  if (std::optional<Fault> fault = FaultFor(page, s)) {
    const uint32_t line =
        fault->line < 0 ? run.lines / 2
                        : static_cast<uint32_t>(std::min<int64_t>(fault->line, run.lines - 1));
    uint64_t at = page.window.jpeg ? run.total * line / run.lines
                                   : static_cast<uint64_t>(line) * page.window.bytesPerLine;
    at = std::min(at, run.total - 1);
    if (at < run.pos + n) {  // the sheet stops inside this read
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
  std::vector<uint8_t> data(n);
  Produce(page, run, run.pos, n, data.data());
  run.pos += n;
  page.lastSide = s;
  if (run.pos < run.total) return Good(std::move(data));
  run.ended = true;
  Sense se = sense::Make(sense::kMediumError, 0x80,
                         run.reportBlank ? sense::kBlankSideEndAscq : sense::kSideEndAscq);
  se.ili = n < allowed;
  se.info = static_cast<uint32_t>(n);
  se.pixels = page.window.pixelsPerLine;
  se.lines = run.lines;
  se.bytes = static_cast<uint32_t>(run.total);
  return Check(se, std::move(data));
}

void Engine::EjectPage() { page_.reset(); }

void Engine::ReturnPageToFeeder() {
  if (page_ && page_->sheet.number != 0) feeder_.push_front(page_->sheet);
  page_.reset();
}

}  // namespace rzd::engine
