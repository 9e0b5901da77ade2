// Paper in the feeder, raw image data in chunks, the ends of sides and the paper faults. The
// tables on UnitBench run three times: on the unit in this process, on rzd-engine in its own, and
// on the unit on a mocked USB port over libusb.
#include "engine/page_pattern.h"
#include "engine/sim_unit.h"
#include "host_link.h"
#include "unit_bench.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <tuple>

namespace rzd::engine {
namespace {

using test::ClassicWindow;
using test::Get16;
using test::Get32;
using test::HostLink;
using test::Ok;
using test::Reply;
using test::SenseView;
using test::WindowParams;

class UnitScan : public test::EitherLink {};
class UnitCounters : public test::EitherLink {};
class UnitClassic : public test::EitherLink {};
INSTANTIATE_TEST_SUITE_P(Links, UnitScan, test::AllLinks(), test::LinkName());
INSTANTIATE_TEST_SUITE_P(Links, UnitCounters, test::AllLinks(), test::LinkName());
INSTANTIATE_TEST_SUITE_P(Links, UnitClassic, test::AllLinks(), test::LinkName());

// Expected bytes of a whole side.
std::vector<uint8_t> SideBytes(uint32_t sheet, uint32_t side, uint32_t lines, size_t bpl) {
  std::vector<uint8_t> bytes;
  for (uint32_t line = 0; line < lines; ++line) {
    const std::vector<uint8_t> l = PatternLine(sheet, side, line, bpl);
    bytes.insert(bytes.end(), l.begin(), l.end());
  }
  return bytes;
}

// Gives the unit its control lines (paper, faults), sets the window and reserves a page, which
// feeds the first sheet.
testing::AssertionResult StartPage(test::UnitBench& unit, HostLink& host,
                                   std::initializer_list<std::string> controls,
                                   const WindowParams& win) {
  for (const std::string& line : controls) {
    const std::string reply = unit.Control(line);
    if (!Ok(reply)) return testing::AssertionFailure() << '"' << line << "\": " << reply;
  }
  if (!host.SetWindow(win)) return testing::AssertionFailure() << "the window was refused";
  const Reply reserve = host.Reserve(0);
  if (!reserve.Good()) return testing::AssertionFailure() << "reserve status " << reserve.status;
  return testing::AssertionSuccess();
}

// The sense at the end of a raw side: key 3 with 0x80/0x04, the bytes the last read delivered
// in the information field, the incorrect-length bit when that read was short of `asked`, and
// the side's line and byte counts.
testing::AssertionResult IsSideEnd(const SenseView& s, size_t delivered, size_t asked,
                                   uint32_t lines, uint64_t bytes) {
  if (s.key != 3 || s.asc != 0x80 || s.ascq != 0x04) {
    return testing::AssertionFailure() << "sense " << int{s.key} << "/" << std::hex
                                       << int{s.asc} << "/" << int{s.ascq};
  }
  if (s.info != delivered) {
    return testing::AssertionFailure() << "information " << s.info << ", delivered " << delivered;
  }
  if (s.ili != (delivered < asked)) {
    return testing::AssertionFailure() << "incorrect-length bit " << s.ili << " for " << delivered
                                       << " of " << asked << " bytes";
  }
  if (s.lines != lines || s.bytes != bytes) {
    return testing::AssertionFailure() << "counts " << s.lines << " lines, " << s.bytes
                                       << " bytes; expected " << lines << ", " << bytes;
  }
  return testing::AssertionSuccess();
}

uint8_t MediaStatus(HostLink& host) {
  std::vector<uint8_t> c = HostLink::Cdb(0xE8);
  c[10] = 5;
  return host.New(c, {}, 5).data.at(4);
}

TEST_P(UnitScan, SimplexRawPageReadInChunksEndsWithTheSideSense) {
  struct Case {
    uint32_t mode;
    uint32_t pixels;
    uint32_t chunk;
  };
  for (const Case& c : {Case{0x10, 64, 150}, Case{0x80, 40, 240}, Case{0x01, 256, 7},
                        Case{0x10, 64, 640}, Case{0x10, 64, 5000}}) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " chunk " << c.chunk);
    test::UnitBench& unit = NewUnit();
    HostLink host(unit.Host());
    WindowParams win;
    win.mode = c.mode;
    win.pixels = c.pixels;
    win.lines = 10;
    const uint32_t bpl = win.BytesPerLine();
    const uint32_t total = bpl * win.lines;
    ASSERT_TRUE(StartPage(unit, host, {"load 1 simplex"}, win));
    std::vector<uint8_t> received;
    for (;;) {
      const Reply r = host.ReadImage(c.chunk);
      ASSERT_LE(r.data.size(), c.chunk);
      received.insert(received.end(), r.data.begin(), r.data.end());
      if (r.Good()) {
        ASSERT_EQ(r.data.size(), c.chunk);
        ASSERT_LT(received.size(), total);
        continue;
      }
      ASSERT_TRUE(r.CheckCondition());
      const SenseView s = host.RequestSense();
      EXPECT_TRUE(IsSideEnd(s, r.data.size(), c.chunk, win.lines, total));
      EXPECT_EQ(s.pixels, win.mode == 0x01 ? bpl * 8 : win.pixels);
      EXPECT_EQ(s.autoWidth, bpl);
      break;
    }
    EXPECT_EQ(received, SideBytes(1, 0, win.lines, bpl));
    // Nothing more on this page.
    EXPECT_TRUE(host.ReadImage(c.chunk).CheckCondition());
    EXPECT_EQ(host.RequestSense().asc, 0x2C);
    EXPECT_TRUE(host.Release(0).Good());
    EXPECT_EQ(MediaStatus(host), 0);
  }
}

// Reads a duplex page in chunks of `chunk` bytes; the side of each read follows the transfer
// mode. Checks every line of both sides.
void ReadDuplexPage(HostLink& host, uint32_t sheet, int mode, const WindowParams& win,
                    uint32_t chunk, bool backBlank = false) {
  const uint32_t bpl = win.BytesPerLine();
  const uint32_t linesPerSide = win.lines / 2;
  const uint64_t sideBytes = static_cast<uint64_t>(bpl) * linesPerSide;
  std::vector<uint8_t> got[2];
  bool ended[2] = {false, false};
  int last = -1;
  while (!(ended[0] && ended[1])) {
    int side;
    if (mode == 5) side = ended[0] ? 1 : 0;
    else side = last < 0 ? 0 : (ended[1 - last] ? last : 1 - last);
    const Reply r = host.ReadImage(chunk);
    got[side].insert(got[side].end(), r.data.begin(), r.data.end());
    last = side;
    if (r.Good()) {
      ASSERT_EQ(r.data.size(), chunk);
      ASSERT_LT(got[side].size(), sideBytes) << "side " << side;
      continue;
    }
    ASSERT_TRUE(r.CheckCondition());
    ASSERT_TRUE(IsSideEnd(host.RequestSense(), r.data.size(), chunk, linesPerSide, sideBytes))
        << "side " << side;
    ASSERT_EQ(got[side].size(), sideBytes) << "side " << side;
    ended[side] = true;
  }
  EXPECT_EQ(got[0], SideBytes(sheet, 0, linesPerSide, bpl));
  const std::vector<uint8_t> back = backBlank ? std::vector<uint8_t>(sideBytes, kBlankSideByte)
                                              : SideBytes(sheet, 1, linesPerSide, bpl);
  EXPECT_EQ(got[1], back);
}

// Parameters: the link, then the duplex transfer mode.
class UnitDuplex : public test::OnLink<std::tuple<test::LinkKind, int>> {};

TEST_P(UnitDuplex, EveryLineOfBothSidesArrivesInTheModesOrder) {
  const int mode = std::get<1>(GetParam());
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  ASSERT_TRUE(Ok(unit.Control("duplexmode " + std::to_string(mode))));
  const Reply transfer = host.Read(0xB2, 7);
  ASSERT_TRUE(transfer.Good());
  EXPECT_EQ(transfer.data[4], mode);
  ASSERT_TRUE(Ok(unit.Control("load 3 duplex")));
  WindowParams win;
  win.source = 4;
  win.mode = 0x80;
  win.pixels = 24;
  win.lines = 26;  // 13 lines a side
  ASSERT_TRUE(host.SetWindow(win));
  const uint32_t chunks[] = {win.BytesPerLine() * 2, 100, win.BytesPerLine() * 13};
  for (uint32_t sheet = 1; sheet <= 3; ++sheet) {
    SCOPED_TRACE(testing::Message() << "sheet " << sheet);
    ASSERT_TRUE(host.Reserve(0).Good());
    ReadDuplexPage(host, sheet, mode, win, chunks[sheet - 1]);
    ASSERT_TRUE(host.Release(0).Good());
  }
  EXPECT_TRUE(host.Reserve(0).CheckCondition());  // no paper left
  const SenseView s = host.RequestSense();
  EXPECT_EQ(s.asc, 0x80);
  EXPECT_EQ(s.ascq, 0x03);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, UnitDuplex, ::testing::Combine(test::AllLinks(), ::testing::Values(0, 5)),
    [](const ::testing::TestParamInfo<UnitDuplex::ParamType>& info) {
      return std::to_string(std::get<1>(info.param)) + "_" + test::LinkKindName(std::get<0>(info.param));
    });

TEST_P(UnitScan, OneSidedSheetsHaveAWhiteBackAndBlankSidesReportTheirEnd) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  WindowParams win;
  win.source = 4;
  win.lines = 8;
  ASSERT_TRUE(host.SetWindow(win));
  // A one-sided sheet: white back, normal end (no blank-page detection asked).
  ASSERT_TRUE(Ok(unit.Control("load 1 simplex")));
  ASSERT_TRUE(host.Reserve(0).Good());
  ReadDuplexPage(host, 1, 0, win, 64 * 4, true);
  host.Release(0);

  // With the blank-page threshold set in the image-processing block the white back ends
  // with ASCQ 0x21.
  std::vector<uint8_t> ip(68, 0);
  ip[2] = 0x02;
  ip[3] = 0x44;
  ip[10] = 51;
  ASSERT_TRUE(host.Send(0x98, ip).Good());
  // A side marked blank reports it whatever the block says.
  ASSERT_TRUE(Ok(unit.Control("load 1 simplex")));
  ASSERT_TRUE(Ok(unit.Control("load 1 duplex")));
  ASSERT_TRUE(Ok(unit.Control("blank 3 front")));
  for (uint32_t sheet : {2u, 3u}) {
    ASSERT_TRUE(host.Reserve(0).Good());
    const int blankSide = sheet == 2 ? 1 : 0;
    bool sawBlankEnd = false;
    for (int i = 0; i < 4; ++i) {
      const Reply r = host.ReadImage(64 * 2);  // mode 0: front, back, front, back
      const int side = i % 2;
      if (side == blankSide) {
        EXPECT_EQ(r.data, std::vector<uint8_t>(r.data.size(), kBlankSideByte));
      }
      if (!r.CheckCondition()) continue;
      const SenseView s = host.RequestSense();
      EXPECT_EQ(s.ascq, side == blankSide ? 0x21 : 0x04) << "sheet " << sheet << " side " << side;
      sawBlankEnd = sawBlankEnd || s.ascq == 0x21;
    }
    EXPECT_TRUE(sawBlankEnd);
    host.Release(0);
  }
}

TEST_P(UnitScan, AShorterSheetEndsBeforeTheWindow) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  WindowParams win;
  win.lines = 10;
  ASSERT_TRUE(StartPage(unit, host, {"load 1 lines=4"}, win));
  const Reply r = host.ReadImage(64 * 10);
  ASSERT_TRUE(r.CheckCondition());
  EXPECT_EQ(r.data, SideBytes(1, 0, 4, 64));
  const SenseView s = host.RequestSense();
  EXPECT_EQ(s.ascq, 0x04);
  EXPECT_EQ(s.lines, 4u);
  EXPECT_TRUE(s.ili);
}

TEST_P(UnitScan, BackSideOnlyDeliversTheBack) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  WindowParams win;
  win.source = 5;
  win.lines = 6;
  ASSERT_TRUE(StartPage(unit, host, {"load 1"}, win));
  const Reply r = host.ReadImage(10000);
  EXPECT_TRUE(r.CheckCondition());
  EXPECT_EQ(r.data, SideBytes(1, 1, 6, 64));
}

TEST_P(UnitScan, FaultsStopTheSheetWithTheirSense) {
  struct Case {
    std::string control;
    uint8_t ascq;
    bool atReserve;
    size_t counter;  // NVRAM counter that grows, 0 none
  };
  const Case cases[] = {{"jam 2", 0x01, false, 81},          {"multifeed 2", 0x05, false, 77},
                        {"staple 2", 0x25, false, 0},        {"misfeed 2", 0x1D, true, 0},
                        {"jam 2 back line=3", 0x01, false, 81}, {"cover open", 0x02, true, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    test::UnitBench& unit = NewUnit();
    HostLink host(unit.Host());
    WindowParams win;
    win.source = 4;
    win.lines = 20;
    // Sheet 1 is fine.
    ASSERT_TRUE(StartPage(unit, host, {"load 3"}, win));
    ReadDuplexPage(host, 1, 0, win, 64 * 10);
    ASSERT_TRUE(host.Release(0).Good());
    const uint32_t before = c.counter ? Get32(&unit.Nvram()[c.counter]) : 0;
    ASSERT_TRUE(Ok(unit.Control(c.control)));
    if (c.atReserve) {
      EXPECT_TRUE(host.Reserve(0).CheckCondition());
      const SenseView s = host.RequestSense();
      EXPECT_EQ(s.asc, 0x80);
      EXPECT_EQ(s.ascq, c.ascq);
      EXPECT_EQ(unit.SheetsInFeeder(), 2u);  // the sheet was not picked
      if (c.control == "cover open") {
        ASSERT_TRUE(Ok(unit.Control("cover close")));
      }
      ASSERT_TRUE(host.Reserve(0).Good());  // it is picked now
      EXPECT_EQ(unit.SheetsInFeeder(), 1u);
      continue;
    }
    ASSERT_TRUE(host.Reserve(0).Good());
    Reply r;
    int reads = 0;
    do {
      r = host.ReadImage(64 * 2);
      ++reads;
    } while (r.Good() && reads < 100);
    ASSERT_TRUE(r.CheckCondition());
    const SenseView s = host.RequestSense();
    EXPECT_EQ(s.key, 3);
    EXPECT_EQ(s.asc, 0x80);
    EXPECT_EQ(s.ascq, c.ascq);
    EXPECT_LT(s.info, 64u * 2);
    if (c.counter != 0) {
      EXPECT_EQ(Get32(&unit.Nvram()[c.counter]), before + 1);
    }
    // The sheet left the paper path; the next one is fed.
    EXPECT_TRUE(host.ReadImage(64).CheckCondition());
    EXPECT_EQ(host.RequestSense().asc, 0x2C);
    host.Release(0);
    ASSERT_TRUE(host.Reserve(0).Good());
    ReadDuplexPage(host, 3, 0, win, 64 * 10);
  }
}

TEST_P(UnitScan, JamStopsAtTheLineAskedFor) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  WindowParams win;
  win.lines = 10;
  ASSERT_TRUE(StartPage(unit, host, {"load 1", "jam 1 line=3"}, win));
  const Reply r = host.ReadImage(64 * 10);
  ASSERT_TRUE(r.CheckCondition());
  EXPECT_EQ(r.data, SideBytes(1, 0, 3, 64));  // the three lines before the jam
  EXPECT_EQ(host.RequestSense().info, 3u * 64);
}

TEST_P(UnitScan, CoverOpenedDuringAPageStopsReads) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  ASSERT_TRUE(StartPage(unit, host, {"load 1"}, WindowParams{}));
  ASSERT_TRUE(host.ReadImage(64).Good());
  ASSERT_TRUE(Ok(unit.Control("cover open")));
  EXPECT_TRUE(host.ReadImage(64).CheckCondition());
  EXPECT_EQ(host.RequestSense().ascq, 0x02);
  ASSERT_TRUE(Ok(unit.Control("cover close")));
  const Reply r = host.ReadImage(64);  // the page goes on where it stopped
  EXPECT_TRUE(r.Good());
  EXPECT_EQ(r.data, PatternLine(1, 0, 1, 64));
}

TEST_P(UnitScan, ReservingWithoutAWindowIsASequenceError) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  ASSERT_TRUE(Ok(unit.Control("load 1")));
  EXPECT_TRUE(host.Reserve(0).CheckCondition());
  EXPECT_EQ(host.RequestSense().asc, 0x2C);
  EXPECT_TRUE(host.Reserve(2).Good());  // the batch reservation feeds nothing
  EXPECT_EQ(unit.SheetsInFeeder(), 1u);
}

TEST_P(UnitScan, WindowsTheUnitCannotScanAreRefused) {
  struct Case {
    const char* name;
    WindowParams win;
  };
  WindowParams flatbed;
  flatbed.source = 0;
  WindowParams lineArtJpeg;
  lineArtJpeg.mode = 0x01;
  lineArtJpeg.compression = 3;
  WindowParams colourOddSampling;
  colourOddSampling.mode = 0x80;
  colourOddSampling.compression = 3;
  colourOddSampling.sampling = 4;
  WindowParams lowResolution;
  lowResolution.xres = 10;
  for (const Case& c : {Case{"flatbed", flatbed}, Case{"line-art JPEG", lineArtJpeg},
                        Case{"colour sampling 4", colourOddSampling},
                        Case{"10 dpi", lowResolution}}) {
    test::UnitBench& unit = NewUnit();
    HostLink host(unit.Host());
    EXPECT_FALSE(host.SetWindow(c.win)) << c.name;
    EXPECT_EQ(host.RequestSense().asc, 0x26) << c.name;
  }
  // Bytes per line that do not fit the pixels.
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  std::vector<uint8_t> w = test::NewWindow(WindowParams{});
  test::Put32(&w[35], 65);
  std::vector<uint8_t> c = HostLink::Cdb(0xE4);
  c[10] = 96;
  EXPECT_TRUE(host.New(c, w).CheckCondition());
}

TEST_P(UnitCounters, PagesFedAdvanceTheCounters) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  WindowParams win;
  win.lines = 4;
  ASSERT_TRUE(StartPage(unit, host, {"load 3"}, win));
  host.ReadImage(10000);
  host.Release(0);
  win.source = 4;
  ASSERT_TRUE(host.SetWindow(win));
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(host.Reserve(0).Good());
    host.ReadImage(10000);
    host.ReadImage(10000);
    host.Release(0);
  }
  const auto nvram = unit.Nvram();
  EXPECT_EQ(Get32(&nvram[0]), 3u);    // separation pad
  EXPECT_EQ(Get32(&nvram[4]), 1u);    // feeder simplex
  EXPECT_EQ(Get32(&nvram[8]), 2u);    // feeder duplex
  EXPECT_EQ(Get32(&nvram[73]), 3u);   // roller
  EXPECT_EQ(Get32(&nvram[163]), 3u);  // since cleaning
  EXPECT_NE(Get16(&nvram[38]), 0);    // the first-scan date is set
}

TEST_P(UnitScan, EmptyFeederAndPaperRelease) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  EXPECT_EQ(MediaStatus(host), 0);
  ASSERT_TRUE(Ok(unit.Control("load 2")));
  EXPECT_EQ(MediaStatus(host), 1);
  ASSERT_TRUE(host.SetWindow(WindowParams{}));
  ASSERT_TRUE(host.Reserve(0).Good());
  // Rewind: the sheet goes back on the stack and is read from its start again.
  std::vector<uint8_t> rewind(7, 0);
  rewind[2] = 2;
  rewind[3] = 2;
  ASSERT_TRUE(host.ReadImage(64).Good());
  ASSERT_TRUE(host.Send(0x99, rewind).Good());
  EXPECT_EQ(unit.SheetsInFeeder(), 2u);
  ASSERT_TRUE(host.Reserve(0).Good());
  EXPECT_EQ(host.ReadImage(64).data, PatternLine(1, 0, 0, 64));
  // Eject: the sheet leaves.
  rewind[3] = 1;
  ASSERT_TRUE(host.Send(0x99, rewind).Good());
  EXPECT_EQ(unit.SheetsInFeeder(), 1u);
  EXPECT_TRUE(host.ReadImage(64).CheckCondition());
  EXPECT_EQ(host.RequestSense().asc, 0x2C);
  ASSERT_TRUE(Ok(unit.Control("empty")));
  EXPECT_EQ(MediaStatus(host), 0);
  EXPECT_TRUE(host.Reserve(0).CheckCondition());
  const SenseView s = host.RequestSense();
  EXPECT_EQ(s.key, 2);
  EXPECT_EQ(s.ascq, 0x03);
}

TEST_P(UnitClassic, WindowScanAndReadInTheClassicSet) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  ASSERT_TRUE(Ok(unit.Control("load 1")));
  const std::vector<uint8_t> window = ClassicWindow(300, 90, 5, 5, 0);  // colour, 30 pixels
  ASSERT_TRUE(host.Classic({0x24, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(window.size())},
                           window)
                  .Good());
  ASSERT_TRUE(host.Classic({0x16}).Good());  // reserve: nothing fed yet
  EXPECT_EQ(unit.SheetsInFeeder(), 1u);
  ASSERT_TRUE(host.Classic({0x1B, 0, 0, 0, 0, 0x80}).Good());  // SCAN feeds the sheet
  EXPECT_EQ(unit.SheetsInFeeder(), 0u);
  std::vector<uint8_t> read = {0x28, 0, 0x00, 0, 0x0A, 0x0D, 0, 0x01, 0x00, 0};  // 256 bytes
  Reply r = host.Classic(read, {}, 256);
  ASSERT_TRUE(r.Good());
  std::vector<uint8_t> got = r.data;
  r = host.Classic(read, {}, 256);
  ASSERT_TRUE(r.CheckCondition());
  got.insert(got.end(), r.data.begin(), r.data.end());
  EXPECT_EQ(got, SideBytes(1, 0, 5, 90));
  const Reply sense = host.Classic({0x03, 0, 0, 0, 32, 0}, {}, 32);
  ASSERT_EQ(sense.data.size(), 32u);
  EXPECT_EQ(sense.data[2], 0x23);  // medium error with the incorrect-length bit
  EXPECT_EQ(Get32(&sense.data[3]), 450u - 256u);
  EXPECT_EQ(sense.data[12], 0x80);
  EXPECT_EQ(sense.data[13], 0x04);
  EXPECT_EQ(Get32(&sense.data[18]), 90u);  // bytes per line
  EXPECT_EQ((sense.data[22] << 16) | Get16(&sense.data[23]), 30);  // pixels
  EXPECT_EQ((sense.data[25] << 16) | Get16(&sense.data[26]), 5);   // lines
  EXPECT_EQ(Get32(&sense.data[28]), 450u);
  EXPECT_TRUE(host.Classic({0x17}).Good());
}

}  // namespace
}  // namespace rzd::engine
