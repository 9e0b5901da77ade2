// The background of each side: the background raster (READ 0x9B) of both command sets, front
// first after a window, a page start or a reset, and the two lines of a background scan. The
// front's bytes and the back's differ, so a host that swaps them is caught. The tables run on
// the unit in this process, on rzd-engine in its own, and on the unit on a mocked USB port.
#include "engine/page_pattern.h"
#include "host_link.h"
#include "unit_bench.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace rzd::engine {
namespace {

using test::ClassicWindow;
using test::HostLink;
using test::Ok;
using test::Reply;

constexpr uint32_t kRasterBytes = 120;
static_assert(kBackgroundByte != kBackBackgroundByte, "a swap of the sides must show");

// The host's side of one command set: the steps the raster's order depends on.
class SetHost {
 public:
  SetHost(HostLink& host, bool classic) : host_(host), classic_(classic) {}

  Reply ReadRaster() {
    if (!classic_) return host_.Read(0x9B, kRasterBytes);
    return host_.Classic({0x28, 0, 0x9B, 0, 0x0A, 0x0D, 0, 0, kRasterBytes, 0}, {}, kRasterBytes);
  }
  bool Window() {
    if (!classic_) {
      test::WindowParams win;
      win.source = 4;
      return host_.SetWindow(win);
    }
    const std::vector<uint8_t> window = ClassicWindow(200, 64, 10, 2, 0x10);
    return host_.Classic({0x24, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(window.size())}, window).Good();
  }
  // Feeds a sheet: RESERVE UNIT 0 of the new set, SCAN of the classic.
  bool PageStart() { return (classic_ ? host_.Classic({0x1B}) : host_.Reserve(0)).Good(); }
  bool PageEnd() { return (classic_ ? host_.Classic({0x17}) : host_.Release(0)).Good(); }
  bool Reset() {
    return (classic_ ? host_.Classic({0x00, 0, 0, 0, 0, 0x01}) : host_.New(HostLink::Cdb(0xFF))).Good();
  }

 private:
  HostLink& host_;
  bool classic_;
};

// Parameters: the link, then the command set (true: classic).
class UnitBackgroundRaster : public test::OnLink<std::tuple<test::LinkKind, bool>> {};

TEST_P(UnitBackgroundRaster, TheFrontsRasterComesFirstThenTheBacksInTurn) {
  const bool classic = std::get<1>(GetParam());
  test::UnitBench& unit = NewUnit();
  HostLink link(unit.Host());
  SetHost host(link, classic);
  ASSERT_TRUE(Ok(unit.Control("load 2 duplex")));
  enum class Step { Read, Window, PageStart, Reset, Refused };
  struct Case {
    Step step;
    int side;  // of a read: the side whose background it gives
  };
  const Case steps[] = {
      // A unit just on: front, back, then on in turn.
      {Step::Read, 0}, {Step::Read, 1}, {Step::Read, 0},
      // A window starts again with the front, whatever was read before; so does a second one.
      {Step::Window, -1}, {Step::Read, 0}, {Step::Window, -1}, {Step::Read, 0}, {Step::Read, 1},
      // A refused read gives nothing and does not take the front's turn.
      {Step::Read, 0}, {Step::Refused, -1}, {Step::Read, 1},
      // A page start and a reset start again with the front.
      {Step::Read, 0}, {Step::PageStart, -1}, {Step::Read, 0}, {Step::Read, 1},
      {Step::Read, 0}, {Step::Reset, -1}, {Step::Read, 0}, {Step::Read, 1},
  };
  int index = 0;
  for (const Case& c : steps) {
    SCOPED_TRACE(testing::Message() << "step " << index++);
    switch (c.step) {
      case Step::Read: {
        const Reply r = host.ReadRaster();
        ASSERT_TRUE(r.Good());
        EXPECT_EQ(r.data, std::vector<uint8_t>(kRasterBytes, BackgroundByteOf(c.side)))
            << (c.side == 0 ? "the front's" : "the back's");
        break;
      }
      case Step::Window: ASSERT_TRUE(host.Window()); break;
      case Step::PageStart: ASSERT_TRUE(host.PageStart()); break;
      case Step::Reset: ASSERT_TRUE(host.Reset()); break;
      case Step::Refused: {
        ASSERT_TRUE(Ok(unit.Control("refuse read 9B once")));
        const Reply r = host.ReadRaster();
        EXPECT_TRUE(r.CheckCondition());
        break;
      }
    }
  }
  host.PageEnd();
}

INSTANTIATE_TEST_SUITE_P(
    Sets, UnitBackgroundRaster, ::testing::Combine(test::AllLinks(), ::testing::Bool()),
    [](const ::testing::TestParamInfo<UnitBackgroundRaster::ParamType>& info) {
      return std::string(std::get<1>(info.param) ? "classic" : "new") + "_" +
             test::LinkKindName(std::get<0>(info.param));
    });

// Parameters: the link, then the duplex transfer mode.
class UnitBackgroundScan : public test::OnLink<std::tuple<test::LinkKind, int>> {};

// A classic window marked as a background scan moves no paper and gives one line of each side,
// each of its own background, in the order of the transfer mode: in modes 0 and 5 a side a read,
// in mode 3 both lines in one stream, the front's first. The lines are raw also when the window
// asks for JPEG, as the driver's background window does when the scan it is made from does.
TEST_P(UnitBackgroundScan, ALineOfEachSideWithoutPaperEachOfItsOwnBackground) {
  const int mode = std::get<1>(GetParam());
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  ASSERT_TRUE(Ok(unit.Control("duplexmode " + std::to_string(mode))));
  for (const uint8_t compression : {0, 2}) {
    SCOPED_TRACE(compression == 0 ? "raw window" : "JPEG window");
    std::vector<uint8_t> window = ClassicWindow(200, 100, 1, 2, 0x10);
    window[40] = compression;
    window[71] = 0x40;  // a background scan
    window[70] = 1;
    ASSERT_TRUE(host.Classic({0x24, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(window.size())}, window).Good());
    ASSERT_TRUE(host.Classic({0x1B}).Good());
    const std::vector<uint8_t> read = {0x28, 0, 0x00, 0, 0x0A, 0x0D, 0, 0, 100, 0};
    for (uint32_t side = 0; side < 2; ++side) {
      SCOPED_TRACE(side == 0 ? "front" : "back");
      const Reply r = host.Classic(read, {}, 100);
      EXPECT_EQ(r.CheckCondition(), mode != 3 || side == 1) << "the end of a side (of the stream in mode 3)";
      EXPECT_EQ(r.data, std::vector<uint8_t>(100, BackgroundByteOf(side)));
    }
    EXPECT_TRUE(host.Classic({0x17}).Good());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, UnitBackgroundScan, ::testing::Combine(test::AllLinks(), ::testing::Values(0, 3, 5)),
    [](const ::testing::TestParamInfo<UnitBackgroundScan::ParamType>& info) {
      return std::to_string(std::get<1>(info.param)) + "_" + test::LinkKindName(std::get<0>(info.param));
    });

}  // namespace
}  // namespace rzd::engine
