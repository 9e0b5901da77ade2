// Frame arithmetic of a window: edges and sizes in 1/1200 inch with over-scan, feeder width and
// flatbed length limits; then the line and pixel counts.
#include "window/frame_geometry.h"
#include "window_test_support.h"

namespace rzd::lowdrv::wintest {
namespace {

using window::ComputeFrame;
using window::FrameError;
using window::FrameIn;
using window::FrameOut;
using window::FrameRules;

FrameRules Feeder(bool hOver, bool vOver) {
  FrameRules r;
  r.adf = true;
  r.horizontalOverscan = hOver;
  r.verticalOverscan = vOver;
  r.margin = 500;
  r.frontTruncation = 200;
  r.backTruncation = 200;
  r.adfMaxWidth = 2700;  // 9 inches
  r.overscanWidth = 2650;
  r.yResolution = 300;
  return r;
}

TEST(WindowFrameTest, HorizontalCases) {
  struct Case {
    const char* what;
    FrameIn frame;
    FrameRules rules;
    int64_t xStart, width;
  };
  FrameRules noWider = Feeder(true, false);
  noWider.overscanWidth = 0;
  FrameRules flatbed = Feeder(false, false);
  flatbed.adf = false;
  flatbed.flatbed = true;
  const Case cases[] = {
      // Centred at (2700 x 4 - 10200) / 2 = 300, closer than the margin (600): W' = 250 + 8500 +
      // 500 = 9250, wider than the feeder (9000): left 0, the wider over-scan width 2650 x 10 / 3.
      {"defaults", {0, 0, 8500, 11000}, Feeder(true, true), 0, 8833},
      {"defaults without a wider width", {0, 0, 8500, 11000}, noWider, 0, 9000},
      // Centred at (10800 - 7200) / 2 = 1800, moved out by the margin: 1200; W' = 6000 + 1000.
      {"narrow page", {0, 0, 6000, 11000}, Feeder(true, false), 1200, 7000},
      // 600 is not closer than the margin: left 0, W' 9000 fits, then centred again: 0.
      {"margin exactly", {0, 0, 8000, 11000}, Feeder(true, false), 0, 9000},
      // A placed window closer than the margin: W' = 360 x 10 / 12 + 5000 + 500, left 1 (not 0).
      {"placed near the edge", {300, 0, 5000, 11000}, Feeder(true, false), 1, 5800},
      // Without over-scan: a placed window stays, an unplaced one is centred on the feeder.
      {"placed, no over-scan", {1000, 0, 5000, 11000}, Feeder(false, false), 1200, 5000},
      {"unplaced, no over-scan", {0, 0, 5000, 11000}, Feeder(false, false), 2400, 5000},
      {"wider than the feeder, no over-scan", {0, 0, 9500, 11000}, Feeder(false, false), 0, 9000},
      // The wider over-scan width is used only with horizontal over-scan.
      {"wider than the feeder, vertical over-scan only", {0, 0, 9500, 11000}, Feeder(false, true), 0, 9000},
      {"flatbed: not centred", {0, 0, 5000, 11000}, flatbed, 0, 5000},
  };
  for (const Case& c : cases) {
    FrameOut out;
    ASSERT_EQ(ComputeFrame(c.frame, c.rules, out), FrameError::None) << c.what;
    EXPECT_EQ(out.xStart, c.xStart) << c.what;
    EXPECT_EQ(out.width, c.width) << c.what;
    EXPECT_EQ(out.descWidth, c.width * 12 / 10) << c.what;
  }
}

TEST(WindowFrameTest, VerticalCases) {
  struct Case {
    const char* what;
    FrameIn frame;
    FrameRules rules;
    int64_t yStart, length;
  };
  FrameRules tray = Feeder(false, true);
  tray.adf = false;  // a non-feeder source ("Tray"): margins instead of truncation lengths
  FrameRules flatbed = Feeder(false, false);
  flatbed.adf = false;
  flatbed.flatbed = true;
  flatbed.flatbedMaxLength = 3508;  // 11.69 inch: 3508 x 10 / 3 = 11693
  FrameRules longLength = Feeder(false, true);
  longLength.longLength = true;
  longLength.setLength = 50000;
  FrameRules longNoLength = longLength;
  longNoLength.setLength = -1;
  const Case cases[] = {
      // Feeder: L' = 11000 + (200 + 200) x 10 / 6.
      {"feeder with over-scan", {0, 0, 8500, 11000}, Feeder(true, true), 0, 11666},
      {"feeder with over-scan keeps its top", {0, 1000, 8500, 11000}, Feeder(true, true), 1200, 11666},
      {"no over-scan", {0, 1000, 8500, 11000}, Feeder(false, false), 1200, 11000},
      {"tray at the top edge", {0, 0, 8500, 11000}, tray, 0, 11500},
      {"tray near the top edge", {0, 400, 8500, 11000}, tray, 0, 11900},
      {"tray away from the top edge", {0, 1000, 8500, 11000}, tray, 600, 12000},
      {"flatbed within its length", {0, 0, 8500, 11000}, flatbed, 0, 11000},
      {"flatbed too long", {0, 0, 8500, 14000}, flatbed, 0, 11693},
      {"flatbed too long below the top", {0, 1000, 8500, 14000}, flatbed, 1200, 10693},
      {"flatbed starting beyond its length", {0, 12000, 8500, 2000}, flatbed, 0, 11693},
      {"long length with its length", {0, 0, 8500, 11000}, longLength, 0, 50000},
      {"long length without a length", {0, 0, 8500, 11000}, longNoLength, 0, 11666},
  };
  for (const Case& c : cases) {
    FrameOut out;
    ASSERT_EQ(ComputeFrame(c.frame, c.rules, out), FrameError::None) << c.what;
    EXPECT_EQ(out.yStart, c.yStart) << c.what;
    EXPECT_EQ(out.length, c.length) << c.what;
    EXPECT_EQ(out.descLength, c.length * 12 / 10) << c.what;
    EXPECT_EQ(out.paperLines, 300 * c.length / 1000) << c.what;
  }
}

TEST(WindowFrameTest, InvalidFrames) {
  const struct {
    FrameIn frame;
    FrameError want;
  } cases[] = {
      {{-1, 0, 8500, 11000}, FrameError::Left},
      {{0, -1, 8500, 11000}, FrameError::Top},
      {{0, 0, 0, 11000}, FrameError::Width},
      {{0, 0, -5, 11000}, FrameError::Width},
      {{0, 0, 8500, 0}, FrameError::Length},
  };
  for (const auto& c : cases) {
    FrameOut out;
    EXPECT_EQ(ComputeFrame(c.frame, Feeder(true, true), out), c.want);
  }
}

TEST(WindowFrameTest, LineAndPixelCounts) {
  struct Case {
    const char* what;
    window::LineRules rules;
    int64_t frameWidth, descWidth, descLength;
    int64_t lines, pixels, bytes, outWidth, outLength;
  };
  auto rules = [](int32_t dpi, bool colour, bool lineArt, bool compressed, bool twoSided, int32_t bound,
                  bool widthFlag = false) {
    window::LineRules r;
    r.xResolution = r.yResolution = dpi;
    r.colour = colour;
    r.lineArt = lineArt;
    r.compressed = compressed;
    r.twoSided = twoSided;
    r.pixelBound = bound;
    r.engineWidthFlag = widthFlag;
    return r;
  };
  const Case cases[] = {
      // The defaults: see the golden descriptor.
      {"colour JPEG, two sides", rules(300, true, false, true, true, 8), 8833, 10599, 13999, 7008, 2656, 7968, 10624,
       14016},
      // Gray, uncompressed, one side: 2550 pixels up to 2552 (bound 8), no row alignment (A2 = 1);
      // lines (13200 x 10 / 12) x 300 / 1000 = 3300.
      {"gray, one side", rules(300, false, false, false, false, 8), 8500, 10200, 13200, 3300, 2552, 2552, 10208,
       13200},
      // Line art at 200 dpi: 1700 pixels up to 1728 (bound 32), 216 bytes.
      {"line art", rules(200, false, true, false, false, 32), 8500, 10200, 13200, 2200, 1728, 216, 10368, 13200},
      // Two sides uncompressed: lines doubled and aligned to 2 x A1 = 2.
      {"gray, two sides", rules(200, false, false, false, true, 1), 8500, 10200, 13201, 4400, 1700, 1700, 10200,
       13200},
      // With the engine's width flag, a compressed window keeps the inquiry's bound and its width.
      {"width flag", rules(300, false, false, true, false, 16, true), 8500, 10200, 13200, 3304, 2560, 2560, 10200,
       13216},
  };
  for (const Case& c : cases) {
    const window::LineOut out = window::ComputeLines(c.rules, c.frameWidth, c.descWidth, c.descLength);
    EXPECT_EQ(out.lines, c.lines) << c.what;
    EXPECT_EQ(out.pixels, c.pixels) << c.what;
    EXPECT_EQ(out.bytesPerLine, c.bytes) << c.what;
    EXPECT_EQ(out.descWidth, c.outWidth) << c.what;
    EXPECT_EQ(out.descLength, c.outLength) << c.what;
  }
}

// ---- Through the conversion.
using WindowFrameConversionTest = ModelSettingsTest;

TEST_F(WindowFrameConversionTest, OverScanChoicesAndTruncationLengths) {
  const std::u16string frame = kColor1 + u"/Frame/";
  auto overscan = [&](const char16_t* top, const char16_t* left, const char16_t* width, const char16_t* length) {
    return std::vector<Edit>{SetAttr(frame + u"Top", u"OverScan", top), SetAttr(frame + u"Left", u"OverScan", left),
                             SetAttr(frame + u"Width", u"OverScan", width),
                             SetAttr(frame + u"Length", u"OverScan", length)};
  };
  struct Case {
    const char* what;
    std::vector<Edit> edits;
    uint32_t xStart, truncation;
  };
  const Case cases[] = {
      // Without over-scan the 8500 window is centred: (10800 - 10200) / 2 = 300.
      {"all off", overscan(u"Off", u"Off", u"Off", u"Off"), 300, 0},
      {"left on: horizontal only", overscan(u"Off", u"On", u"Off", u"Off"), 0, 0},
      {"length on: vertical only", overscan(u"Off", u"Off", u"Off", u"On"), 300, 200},
      {"one auto: both", overscan(u"Off", u"Off", u"Auto", u"Off"), 0, 200},
      {"attributes missing", {RemoveAttr(frame + u"Top", u"OverScan"), RemoveAttr(frame + u"Left", u"OverScan"),
                              RemoveAttr(frame + u"Width", u"OverScan"), RemoveAttr(frame + u"Length", u"OverScan")},
       300, 0},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Convert(c.edits)) << c.what;
    EXPECT_EQ(+Primary().XStart, c.xStart) << c.what;
    EXPECT_EQ(settings_->m_Primary.FrontTruncLen, c.truncation) << c.what;
    EXPECT_EQ(settings_->m_Primary.BackTruncLen, c.truncation) << c.what;
  }
}

TEST_F(WindowFrameConversionTest, LengthDetectionAndPaperLength) {
  const std::u16string frame = kColor1 + u"/Frame/";
  const std::vector<Edit> noOverscan = {
      SetAttr(frame + u"Top", u"OverScan", u"Off"), SetAttr(frame + u"Left", u"OverScan", u"Off"),
      SetAttr(frame + u"Width", u"OverScan", u"Off"), SetAttr(frame + u"Length", u"OverScan", u"Off")};
  auto with = [&](std::vector<Edit> more) {
    std::vector<Edit> edits = noOverscan;
    edits.insert(edits.end(), more.begin(), more.end());
    return edits;
  };
  // Length detection on, no over-scan: the paper length is 300 x 11000 / 1000 lines.
  ASSERT_TRUE(Convert(noOverscan));
  EXPECT_EQ(Word32At(Primary(), 143), 3300u);
  EXPECT_EQ(Primary().CompressType, 2);
  EXPECT_EQ(ByteAt(Primary(), 36), 0);
  // Off with JPEG: JPEG without length detection.
  ASSERT_TRUE(Convert(with({SetCurrent(kSource, u"LengthDetection", u"Off")})));
  EXPECT_EQ(Primary().CompressType, 3);
  EXPECT_EQ(ByteAt(Primary(), 36), 0);
  // Off without JPEG: the fixed-length mark.
  ASSERT_TRUE(
      Convert(with({SetCurrent(kSource, u"LengthDetection", u"Off"), SetCurrent(kColor1, u"JPEGTransfer", u"Off")})));
  EXPECT_EQ(Primary().CompressType, 0);
  EXPECT_EQ(ByteAt(Primary(), 36), 1);
  // Vertical over-scan: no paper length, no mark, whatever the length detection.
  ASSERT_TRUE(Convert({SetCurrent(kSource, u"LengthDetection", u"Off"), SetCurrent(kColor1, u"JPEGTransfer", u"Off")}));
  EXPECT_EQ(Word32At(Primary(), 143), 0u);
  EXPECT_EQ(ByteAt(Primary(), 36), 0);
}

TEST_F(WindowFrameConversionTest, LongLengthClearsTheDfdEnableAndTheCrop) {
  const std::u16string dfd = kSource + u"//Item[@ID='Ultrasonic']";
  ASSERT_TRUE(Convert({SetCurrent(dfd, u"IsEnabled", u"On"), SetCurrent(kFront, u"AutoCrop", u"On")}));
  EXPECT_EQ(Primary().MFDenable & 0x10, 0x10);
  EXPECT_EQ(ByteAt(Primary(), 87), 1);
  EXPECT_EQ(Word32At(Primary(), 139) & 0x01, 0u);

  ASSERT_TRUE(Convert({SetCurrent(dfd, u"IsEnabled", u"On"), SetCurrent(kFront, u"AutoCrop", u"On"),
                       SetCurrent(kSource, u"LongLengthEnabled", u"On"),
                       SetAttr(kSource + u"/LongLengthEnabled", u"SetLength", u"50000")}));
  EXPECT_EQ(Primary().MFDenable & 0x10, 0);
  EXPECT_EQ(ByteAt(Primary(), 87), 0);
  EXPECT_EQ(Word32At(Primary(), 139) & 0x01, 1u);
  // The dropped crop takes the over-scan with it: no truncation lengths, and the paper length is
  // the long length's own, 300 x 50000 / 1000 lines; the window is 50000 x 12 / 10 long,
  // (60000 x 10 / 12) x 300 / 1000 = 15000 lines per side.
  EXPECT_EQ(settings_->m_Primary.FrontTruncLen, 0u);
  EXPECT_EQ(Word32At(Primary(), 143), 15000u);
  EXPECT_EQ(Primary().LineNum | (Primary().HiByteLineNum << 16), 30000);
}

}  // namespace
}  // namespace rzd::lowdrv::wintest
