// The 96-byte new-set window built from the classic window.
#include "lowdrv/engine/byte_order.h"
#include "lowdrv/engine/new_set_window.h"

#include <gtest/gtest.h>

#include <array>

namespace rzd::lowdrv {
namespace {

ReduzidWindowDesc ColourFeederWindow() {
  ReduzidWindowDesc w{};
  ReduzidWindowDescriptor& d = w.Desc;
  d.XRes = 300;
  d.YRes = 300;
  d.XStart = 0x00010203;
  d.YStart = 0x04050607;
  d.Width = 10200;
  d.Length = 13200;
  d.ImageComp = 5;
  d.PixelNum = 7650 & 0xFFFF;
  d.HiBytePixelNum = 0;
  d.LineNum = 0x2345;
  d.HiByteLineNum = 0x01;
  d.CompressType = 2;
  d.CompressArg = 0x55;
  d.Brightness = 0;
  d.Contrast = 140;
  d.HalftoneNum = 0x0102;
  d.Highlight = 250;
  d.Shadow = 5;
  d.UseTrans = 0x40;       // >> 1 & 0x20 = 0x20
  d.ADF = 0x80 | 0x08;     // feeder; (0x08 >> 2) & 0x06 = 0x02
  d.RIF = 0x80;            // + 1
  d.Threshold = 128;
  d.PagesPerJob = 7;
  d.BackgroundLines = 9;
  d.MFDenable = 0x10 | 0x08 | 0x02;
  d.SetCapEx1 = 0x80 | 0x10;  // two-sided source (4), bit 7 into byte 63
  WindowBytes(w)[73] = 0x80;  // JPEG quality byte
  WindowBytes(w)[147] = 0x70; // paper-handling bits 0x40, 0x20, 0x10
  WindowBytes(w)[47] = 0x20;  // (>> 1) & 0x10 = 0x10
  return w;
}

TEST(NewSetWindowTest, EveryByteOfAFeederColourWindow) {
  ReduzidWindowDesc w = ColourFeederWindow();
  EngineCapabilities caps;
  caps.ExtendedMultifeed = 1;
  caps.WindowByte66 = 1;
  const NewWindowResult r = BuildNewWindow(w, caps);
  std::array<uint8_t, 96> expected{};
  expected[2] = 2;
  expected[4] = 96;
  expected[5] = 0x04, expected[6] = 0xB0;                          // 1200
  expected[7] = 0x00, expected[8] = 0x01, expected[9] = 0x02, expected[10] = 0x03;
  expected[11] = 0x04, expected[12] = 0x05, expected[13] = 0x06, expected[14] = 0x07;
  PutBE32(&expected[15], 10200);
  PutBE32(&expected[19], 13200);
  PutBE16(&expected[23], 300);
  PutBE16(&expected[25], 300);
  PutBE32(&expected[27], 2550);                                    // 7650 / 3
  PutBE32(&expected[31], 0x012345);
  PutBE32(&expected[35], 7650);
  PutBE32(&expected[39], 0x80);
  PutBE16(&expected[43], 4);
  expected[45] = 3;
  expected[46] = 0x55;
  expected[47] = 0x80;
  expected[50] = 140;
  expected[51] = 128;                                              // brightness 0 becomes 128
  expected[52] = 0x02;
  expected[53] = 250;
  expected[54] = 5;
  expected[55] = 0x20 + 0x02 + 0x01;
  expected[56] = 128;
  PutBE16(&expected[57], 7);
  expected[59] = 9;
  expected[62] = 0x10 | 0x08 | 0x04 | 0x02;
  expected[63] = static_cast<uint8_t>(((0x02 * 2 + 0x70) * 16 + 0x10 + 1) & 0xFF);
  expected[64] = 0x10 | 0x80 | 0x20;
  expected[66] = 0x80;
  EXPECT_EQ(r.bytes, expected);
  EXPECT_FALSE(r.backgroundCheck);
}

TEST(NewSetWindowTest, PixelsAndModeByComposition) {
  struct Case {
    uint8_t comp;
    uint16_t halftone;
    uint32_t bytesPerLine;
    uint32_t pixels;
    uint32_t mode;
  };
  const Case cases[] = {
      {0, 0, 319, 2552, 1}, {1, 1, 319, 2552, 2}, {1, 0, 319, 2552, 4},
      {2, 0, 2550, 2550, 0x10}, {5, 0, 7650, 2550, 0x80}, {3, 0, 7650, 0, 0},
      {2, 0, 0x12345, 0x12345, 0x10},  // bits 16-23 come from the high byte
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "composition " << int(c.comp));
    ReduzidWindowDesc w{};
    w.Desc.ImageComp = c.comp;
    w.Desc.HalftoneNum = c.halftone;
    w.Desc.PixelNum = static_cast<uint16_t>(c.bytesPerLine);
    w.Desc.HiBytePixelNum = static_cast<uint8_t>(c.bytesPerLine >> 16);
    const NewWindowResult r = BuildNewWindow(w, EngineCapabilities{});
    EXPECT_EQ(GetBE32(&r.bytes[27]), c.pixels);
    EXPECT_EQ(GetBE32(&r.bytes[35]), c.bytesPerLine);
    EXPECT_EQ(GetBE32(&r.bytes[39]), c.mode);
  }
}

TEST(NewSetWindowTest, SourceAndBackgroundCheck) {
  struct Case {
    uint8_t adf;
    uint8_t capEx1;
    uint16_t source;
  };
  const Case cases[] = {{0x00, 0x10, 0}, {0x80, 0x10, 4}, {0x80, 0x08, 5}, {0x80, 0x18, 4}, {0x80, 0x00, 1}};
  for (const Case& c : cases) {
    ReduzidWindowDesc w{};
    w.Desc.ADF = c.adf;
    w.Desc.SetCapEx1 = c.capEx1;
    const NewWindowResult r = BuildNewWindow(w, EngineCapabilities{});
    EXPECT_EQ(GetBE16(&r.bytes[43]), c.source);
    EXPECT_EQ(r.backgroundCheck, c.source == 0);
  }
}

TEST(NewSetWindowTest, BothExclusiveFeederBitsAreClearedInTheCallersWindow) {
  ReduzidWindowDesc w{};
  w.Desc.ADF = 0x80 | 0x30 | 0x08;
  const NewWindowResult r = BuildNewWindow(w, EngineCapabilities{});
  EXPECT_EQ(w.Desc.ADF, 0x88);
  EXPECT_EQ(r.bytes[55], 0x02);
  ReduzidWindowDesc one{};
  one.Desc.ADF = 0x90;
  BuildNewWindow(one, EngineCapabilities{});
  EXPECT_EQ(one.Desc.ADF, 0x90);
}

TEST(NewSetWindowTest, MultifeedByteAndByte66) {
  struct Case {
    uint8_t mfd;
    uint8_t capEx1;
    bool extended;
    bool flag66;
    uint8_t byte62;
    uint8_t byte66;
  };
  const Case cases[] = {
      {0x10, 0x40, false, false, 0x10, 0},  {0x10, 0x00, false, false, 0x18, 0},
      {0x18, 0x40, false, false, 0x14, 0},  {0x00, 0x04, false, false, 0x01, 0},
      {0x02, 0x00, false, false, 0x00, 0},  {0x02, 0x00, true, false, 0x02, 0},
      {0x10, 0x40, false, true, 0x10, 0x80}, {0x00, 0x04, false, true, 0x01, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "MFDenable " << int(c.mfd) << " SetCapEx1 " << int(c.capEx1));
    ReduzidWindowDesc w{};
    w.Desc.MFDenable = c.mfd;
    w.Desc.SetCapEx1 = c.capEx1;
    EngineCapabilities caps;
    caps.ExtendedMultifeed = c.extended;
    caps.WindowByte66 = c.flag66;
    const NewWindowResult r = BuildNewWindow(w, caps);
    EXPECT_EQ(r.bytes[62], c.byte62);
    EXPECT_EQ(r.bytes[66], c.byte66);
  }
}

TEST(NewSetWindowTest, CompressionCodes) {
  const std::pair<uint8_t, uint8_t> cases[] = {{0, 0}, {3, 4}, {2, 3}, {1, 3}};
  for (auto [type, code] : cases) {
    ReduzidWindowDesc w{};
    w.Desc.CompressType = type;
    EXPECT_EQ(BuildNewWindow(w, EngineCapabilities{}).bytes[45], code);
  }
}

}  // namespace
}  // namespace rzd::lowdrv
