#include "page_assembler.h"

#include <algorithm>
#include <utility>

namespace rzd::frontend {

void PageAssembler::Add(const RasterBlockInfo& info, const uint8_t* data) {
  lastError_ = info.error;
  if (current_.sequence == 0) current_.sequence = ++pagesStarted_;
  const LONG side = info.properties[kRasterSide];
  std::optional<SideImage>* target = side == 0 ? &current_.front : side == 1 ? &current_.back : &both_;
  if (info.fill != 0 || target->has_value()) {
    if (!target->has_value()) target->emplace();
    SideImage& image = **target;
    image.bytes.insert(image.bytes.end(), data, data + info.fill);
    std::copy(std::begin(info.properties), std::end(info.properties), image.properties.begin());
    const bool ended = info.boundary >= 2 || info.error != 0;
    if (progress_) {
      if (side == 2) {
        progress_(current_.sequence, 0, image.bytes.size() / 2, ended);
        progress_(current_.sequence, 1, image.bytes.size() / 2, ended);
      } else if (side == 0 || side == 1) {
        progress_(current_.sequence, side, image.bytes.size(), ended);
      }
    }
  }
  if (info.boundary >= 3 || info.error != 0) CompletePage(info.boundary, info.error);
}

void PageAssembler::SplitBoth() {
  if (!both_) return;
  const SideImage& both = *both_;
  const LONG bytesPerLine = both.properties[kRasterBytesPerLine];
  const LONG groupLines = both.properties[kRasterLinesPerSide];
  if (bytesPerLine <= 0 || groupLines <= 0) return;
  // Groups of `group` lines of one side and then the other; in the last pair of groups both hold
  // what is left of a side's lines.
  const size_t line = static_cast<size_t>(bytesPerLine);
  const size_t group = static_cast<size_t>(groupLines);
  const size_t lines = both.bytes.size() / line;
  const size_t sideLines = lines / 2;
  const size_t first = both.properties[kRasterSideOrder] == 1 ? 1 : 0;
  SideImage sides[2];
  for (size_t l = 0; l < 2 * sideLines; ++l) {
    const size_t pair = l / (2 * group);
    const size_t inGroup = std::min(group, sideLines - pair * group);
    const size_t side = ((l - pair * 2 * group) / inGroup) ^ first;
    sides[side].bytes.insert(sides[side].bytes.end(), both.bytes.begin() + l * line, both.bytes.begin() + (l + 1) * line);
  }
  for (size_t side = 0; side < 2; ++side) {
    sides[side].properties = both.properties;
    sides[side].properties[kRasterSide] = static_cast<LONG>(side);
    if (!sides[side].bytes.empty()) (side == 0 ? current_.front : current_.back) = std::move(sides[side]);
  }
  both_.reset();
}

void PageAssembler::CompletePage(LONG boundary, LONG error) {
  SplitBoth();
  current_.boundary = boundary;
  current_.error = error;
  const bool hasData = current_.front || current_.back;
  if (hasData || error != 0) {
    completed_.push_back(std::move(current_));
  } else {
    --pagesStarted_;  // nothing came: no page
  }
  current_ = ScannedPage();
}

std::vector<ScannedPage> PageAssembler::TakeCompleted() { return std::exchange(completed_, {}); }

}  // namespace rzd::frontend
