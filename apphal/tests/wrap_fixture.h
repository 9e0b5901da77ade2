// The model's wrapper against the scripted data source, in a fresh root, with a page reader.
#pragma once

#include "apphal/twain_wrap.h"
#include "apphal/zq4_hal.h"
#include "engine/page_pattern.h"
#include "platform/messages.h"
#include "testsupport/temp_root.h"
#include "twainds/script.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace rzd::apphal::test {

inline const std::filesystem::path kWrapDataSource = RZD_TWAINDS_LIBRARY;

// A colour record of `width` x `lines` pixels at `dpi` from the feeder, duplex, with the
// geometry the core writes before the wrapper sees it.
inline ZQSCANINFO ScanRecord(int32_t dpi, int32_t width, int32_t lines, _ZQSCANMODE dataType = ZQSCANMODE_COLOR) {
  ZQSCANINFO info = ZqScanInfoDefaults();
  info.Xresolution = info.Yresolution = dpi;
  info.Window = {0, 0, width, lines};
  info.DataType = dataType;
  ConfigureGeometry(&info);
  return info;
}

// What one page gave: the start's status, the bytes, the failing read status (or 0), the reads
// made, and the finish's status.
struct PageRead {
  uint32_t start = 0;
  std::vector<uint8_t> bytes;
  uint32_t readStatus = 0;
  int reads = 0;
  uint32_t finish = 0;
  bool finished = false;
};

// START, reads of `bufferSize` bytes until the wrapper says the page ended (or a read fails),
// then FINISH (also after a failure, as the application does).
inline PageRead ReadPage(CTWAINwrap& wrapper, ZQSCANINFO* info, int32_t bufferSize) {
  PageRead page;
  page.start = wrapper.StartScan(info, "");
  if (IsZqFailure(page.start)) return page;
  std::vector<uint8_t> buffer(static_cast<size_t>(bufferSize));
  for (int guard = 0; guard < 100000; ++guard) {
    uint32_t status = 0;
    bool last = false;
    const int32_t written = wrapper.ReadScan(info, buffer.data(), bufferSize, &status, &last);
    ++page.reads;
    if (IsZqFailure(status)) {
      page.readStatus = status;
      break;
    }
    page.bytes.insert(page.bytes.end(), buffer.begin(), buffer.begin() + written);
    if (last) break;
  }
  page.finish = wrapper.FinishScan(info);
  page.finished = true;
  return page;
}

// The page as the application must see it: the simulated unit's pattern in rows of
// `widthBytes` bytes (colour in red, green, blue order).
inline std::vector<uint8_t> PatternPage(uint32_t sheet, uint32_t side, uint32_t lines, uint32_t widthBytes) {
  std::vector<uint8_t> page;
  for (uint32_t line = 0; line < lines; ++line) {
    std::vector<uint8_t> row = engine::PatternLine(sheet, side, line, widthBytes);
    page.insert(page.end(), row.begin(), row.end());
  }
  return page;
}

class WrapTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    EnsureMessageQueue();
    Drain();
  }
  void TearDown() override {
    wrapper_.reset();
    Drain();
  }
  static void Drain() {
    while (PeekThreadMessage(true)) {
    }
  }
  // The model's wrapper with the source open under `script`.
  CTWAINwrap& Initialized(const twainds::ScriptBuilder& script) {
    EXPECT_TRUE(script.Write());
    wrapper_ = std::make_unique<CTWAINwrapOver>();
    EXPECT_EQ(wrapper_->Initialize(nullptr, kWrapDataSource), 0u);
    return *wrapper_;
  }
  // The triplets the source received, in order (its own callbacks left out).
  static std::vector<std::string> Received() {
    std::vector<std::string> triplets;
    for (const twainds::LoggedTriplet& entry : twainds::ReadTripletLog()) {
      if (!entry.callback) triplets.push_back(entry.triplet);
    }
    return triplets;
  }
  static int CountReceived(const std::string& triplet) {
    int count = 0;
    for (const std::string& received : Received()) count += received == triplet ? 1 : 0;
    return count;
  }
  static twainds::LoggedTriplet LastLogged(const std::string& triplet) {
    twainds::LoggedTriplet found;
    for (const twainds::LoggedTriplet& entry : twainds::ReadTripletLog()) {
      if (entry.triplet == triplet) found = entry;
    }
    return found;
  }

  std::unique_ptr<CTWAINwrap> wrapper_;
};

}  // namespace rzd::apphal::test
