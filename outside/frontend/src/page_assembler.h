// Puts the blocks a scan delivers back together into pages and sides. A block carries the data
// of one side (Side 0 front, 1 back) or of both in one stream (Side 2: groups of LinesPerSide
// lines of one side, then as many of the other, the side of SideOrder first; the last two groups
// hold what is left of each side); a page is complete with a block whose boundary is 3 or more,
// or which carries a driver error.
#pragma once

#include "rasterblocks/block_reader.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace rzd::frontend {

struct SideImage {
  std::vector<uint8_t> bytes;
  std::array<LONG, kRasterPropertyCount> properties{};  // of the side's last block
  bool Jpeg() const { return properties[kRasterCompression] == 1; }
};

struct ScannedPage {
  uint32_t sequence = 0;  // pages of this scan, from 1
  std::optional<SideImage> front;
  std::optional<SideImage> back;
  LONG boundary = 0;  // of the page's last block
  LONG error = 0;     // the driver error that ended it, 0 when none
};

class PageAssembler {
 public:
  // Told of each side's progress: the scan's page (from 1), the side (0 front, 1 back), the
  // bytes so far and whether the side has ended.
  using Progress = std::function<void(uint32_t page, int side, uint64_t bytes, bool ended)>;
  explicit PageAssembler(Progress progress = nullptr) : progress_(std::move(progress)) {}

  void Add(const RasterBlockInfo& info, const uint8_t* data);
  // The pages completed since the last call. A page without data (the end of a scan that brought
  // nothing more, or an error before any data) counts only for its error.
  std::vector<ScannedPage> TakeCompleted();
  // The error of the last block (0 when none).
  LONG LastError() const { return lastError_; }

 private:
  void CompletePage(LONG boundary, LONG error);
  void SplitBoth();

  Progress progress_;
  ScannedPage current_;
  std::optional<SideImage> both_;
  uint32_t pagesStarted_ = 0;
  std::vector<ScannedPage> completed_;
  LONG lastError_ = 0;
};

}  // namespace rzd::frontend
