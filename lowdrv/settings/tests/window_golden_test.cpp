// The window description of the device description's defaults, worked out by hand: the colour
// stream at 300 dpi, both sides, JPEG at compression ratio 80 with sub-sampling 2, the frame
// 0, 0, 8500 x 11000 with over-scan "Auto", continuous mode, DFD off with "StopAndContinue".
#include "window_test_support.h"

#include <cstring>

namespace rzd::lowdrv::wintest {
namespace {

using GoldenWindowTest = ModelSettingsTest;

TEST_F(GoldenWindowTest, DefaultsGiveTheHandWorkedDescriptor) {
  ReduzidWindowDescriptor want{};
  uint8_t* w = reinterpret_cast<uint8_t*>(&want);
  want.XRes = 300;
  want.YRes = 300;
  // Over-scan "Auto" turns both over-scans on. Horizontal: the unplaced window is centred on the
  // feeder, (2700 x 4 - 8500 x 12 / 10) / 2 = 300; that is closer than the margin (500 x 12 / 10
  // = 600), so W' = 300 x 10 / 12 + 8500 + 500 = 9250 and the left edge 1. W' exceeds the feeder
  // (2700 x 10 / 3 = 9000): the left edge becomes 0 and W' the wider over-scan width,
  // 0x0A5A = 2650 -> 2650 x 10 / 3 = 8833.
  want.XStart = 0;
  want.YStart = 0;
  // Pixels: 300 x 8833 / 1000 = 2649, JPEG rounds up to 8: 2656; width 2656 x 1200 / 300.
  want.Width = 10624;
  // Vertical (feeder): L' = 11000 + (200 + 200) x 10 / 6 = 11666; Desc.Length = 13999. Lines:
  // (13999 x 10 / 12) x 300 / 1000 = 3499, doubled for two sides 6998, rounded up to 2 x A3 = 16:
  // 7008; length 7008 x 1200 / 300 / 2 = 14016.
  want.Length = 14016;
  want.Brightness = 0;
  want.Threshold = 128;
  want.Contrast = 0;
  want.ImageComp = 5;
  want.BitsPerChannel = 8;
  want.HalftoneNum = 127;
  want.RIF = 3;
  want.CompressType = 2;   // JPEG, length detection on
  want.CompressArg = 2;    // sub-sampling 2
  want.VendorSP = 255;
  want.VSPLength = 29;
  want.ADF = 0x40 | 0x80 | 0x20;  // feeder, colour stream
  want.Highlight = 255;
  want.Shadow = 0;
  want.PixelNum = 2656 * 3;       // 7968 bytes per line
  want.LineNum = 7008;
  want.RExposure = 100;
  want.GExposure = 100;
  want.BExposure = 100;
  want.SetCapEx1 = 0x80 | 0x10;   // continuous, two sides
  want.PagesPerJob = 0;
  want.MFDenable = 0x08;          // DFD off, action "StopAndContinue"
  want.MFDlevel = 0;              // sensitivity 1 (default)
  // Quality: 50 + (Qmax - 50) x (80 - 50) / 50 with the object's maximum; the model driver's
  // 87 gives 72.
  const int qmax = settings_->m_byJpegQualityMax;
  w[65] = static_cast<uint8_t>(50 + (qmax - 50) * (80 - 50) / 50);
  EXPECT_EQ(w[65], 72);
  // Paper length in lines (143-146) is 0 with vertical over-scan; every other byte is 0.

  const ReduzidWindowDescriptor& got = settings_->m_Primary.Desc;
  for (size_t i = 0; i < sizeof(want); ++i) {
    EXPECT_EQ(ByteAt(got, i), w[i]) << "descriptor byte " << i;
  }
  EXPECT_EQ(settings_->m_byJpegQualityMax, 87);
  EXPECT_EQ(settings_->m_Primary.ImageSourceID, u"ADF");
  EXPECT_EQ(settings_->m_Primary.FrontTruncLen, 200u);
  EXPECT_EQ(settings_->m_Primary.BackTruncLen, 200u);
  EXPECT_FALSE(settings_->m_bAlternateDefined);
  EXPECT_FALSE(settings_->m_bThirdDefined);
  EXPECT_EQ(settings_->GetWindowDescription(), &settings_->m_Primary.Desc);

  // Identity matrix.
  const uint16_t identity[9] = {0x400, 0, 0, 0, 0x400, 0, 0, 0, 0x400};
  uint16_t matrix[9] = {};
  settings_->GetCurrentMatrix(matrix);
  EXPECT_EQ(0, std::memcmp(matrix, identity, sizeof(matrix)));

  // One-byte tables (inquiry byte 91 is 0x80): the identity curve, then white level 235 raises
  // 236..255 to 255; the second half of each table stays 0.
  uint8_t *red = nullptr, *green = nullptr, *blue = nullptr;
  uint16_t size = 0;
  settings_->GetGammaTable(&red, &green, &blue, &size);
  EXPECT_EQ(size, 256);
  for (uint8_t* table : {red, green, blue}) {
    for (int i = 0; i < 256; ++i) EXPECT_EQ(table[i], i <= 235 ? i : 255) << "entry " << i;
    for (int i = 256; i < 512; ++i) EXPECT_EQ(table[i], 0) << "unused byte " << i;
  }
}

}  // namespace
}  // namespace rzd::lowdrv::wintest
