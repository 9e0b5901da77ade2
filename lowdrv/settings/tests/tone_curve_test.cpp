// The tone curve (ComputeToneValue) and its application to the two table layouts.
#include "window/tone_curve.h"
#include "window_test_support.h"

#include <cmath>
#include <limits>

namespace rzd::lowdrv::wintest {
namespace {

TEST(ToneCurveTest, NeutralSettingsAreTheIdentityForEveryInput) {
  for (int input = 0; input < 256; ++input) {
    EXPECT_EQ(CRZDScannerSettingsBase::ComputeToneValue(static_cast<uint8_t>(input), 128, 1.0, 128), input)
        << "input " << input;
  }
}

TEST(ToneCurveTest, Cases) {
  struct Case {
    uint8_t input, brightness;
    double gamma;
    uint8_t contrast;
    uint8_t want;
  };
  const Case cases[] = {
      // Brightness at its ends.
      {0, 255, 1.0, 128, 253},    // (1 - 0) x 127/128 -> 0.9921875 x 255 = 253.0
      {255, 1, 1.0, 128, 1},      // 1/128 x 255 = 1.99
      {255, 255, 1.0, 128, 255},
      {0, 1, 1.0, 128, 0},
      {128, 192, 1.0, 128, 191},  // b = 0.5: g = 0.5 x (1 - 128/255) + 128/255 = 0.7509..
      {128, 64, 1.0, 128, 64},    // b = -0.5: g = 0.5 x 128/255
      // Gamma.
      {100, 128, 2.0, 128, 159},  // (100/255)^0.5 x 255 = 159.7
      {100, 128, 0.5, 128, 39},   // (100/255)^2 x 255 = 39.2
      {0, 128, 4.0, 128, 0},
      {255, 128, 4.0, 128, 255},
      // Contrast: steeper around the middle above 128, flatter below.
      {64, 192, 1.0, 192, 183},   // brightness first (g = 0.626), then p = 2 on the upper half
      {64, 128, 1.0, 255, 0},     // p = 128: everything below the middle goes to 0
      {192, 128, 1.0, 255, 255},  // and everything above to 255
      {64, 128, 1.0, 1, 126},     // p = 1/128: everything towards the middle
      {64, 128, 1.0, 0, 127},     // p = 0: exactly the middle
      {200, 128, 1.0, 0, 127},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CRZDScannerSettingsBase::ComputeToneValue(c.input, c.brightness, c.gamma, c.contrast), c.want)
        << "input " << int(c.input) << " brightness " << int(c.brightness) << " gamma " << c.gamma << " contrast "
        << int(c.contrast);
  }
}

TEST(ToneCurveTest, GammaOutsideItsRangeStillGivesAByte) {
  // A gamma of 0, a negative or a non-number gamma make the power undefined or infinite; the
  // value is held within 0..255 before it becomes a byte.
  const double gammas[] = {0.0, -1.0, -0.0, std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(), 1e-300};
  for (double gamma : gammas) {
    for (int input : {0, 1, 127, 254, 255}) {
      const int v = CRZDScannerSettingsBase::ComputeToneValue(static_cast<uint8_t>(input), 128, gamma, 128);
      EXPECT_GE(v, 0);
      EXPECT_LE(v, 255);
    }
  }
  // (x)^(1/0) is infinite for the full input and 0 below it.
  EXPECT_EQ(CRZDScannerSettingsBase::ComputeToneValue(255, 128, 0.0, 128), 255);
  EXPECT_EQ(CRZDScannerSettingsBase::ComputeToneValue(100, 128, 0.0, 128), 0);
  // A negative gamma turns the curve upside down: anything below the full input overflows.
  EXPECT_EQ(CRZDScannerSettingsBase::ComputeToneValue(100, 128, -1.0, 128), 255);
  EXPECT_EQ(CRZDScannerSettingsBase::ComputeToneValue(0, 128, -1.0, 128), 255);
}

// A table with entry i = i in a layout.
void IdentityTable(uint8_t* table, bool twoByte) {
  std::memset(table, 0, window::kToneTableSize);
  for (size_t i = 0; i < 256; ++i) window::SetToneEntry(table, i, static_cast<uint8_t>(i), twoByte);
}

TEST(ToneCurveTest, TwoByteLayoutCurvesTheValueBytesOnly) {
  uint8_t table[window::kToneTableSize];
  IdentityTable(table, true);
  // Brightness 255 would lift a 0 byte to 253: the zero high bytes must not be lifted.
  window::ApplyToneCurve(table, true, 255, 1.0, 128, 0, 255);
  for (size_t i = 0; i < 256; ++i) {
    EXPECT_EQ(table[2 * i], 0) << "high byte " << i;
    EXPECT_EQ(table[2 * i + 1], window::ToneValue(static_cast<uint8_t>(i), 255, 1.0, 128)) << "value " << i;
  }
  EXPECT_EQ(table[1], 253);
}

TEST(ToneCurveTest, OneByteLayoutLeavesTheUnusedHalfZero) {
  uint8_t table[window::kToneTableSize];
  IdentityTable(table, false);
  window::ApplyToneCurve(table, false, 255, 1.0, 128, 0, 255);
  for (size_t i = 0; i < 256; ++i) EXPECT_EQ(table[i], window::ToneValue(static_cast<uint8_t>(i), 255, 1.0, 128));
  for (size_t i = 256; i < 512; ++i) EXPECT_EQ(table[i], 0) << "unused byte " << i;
}

TEST(ToneCurveTest, BlackAndWhiteLevelsClipTheCurve) {
  for (bool twoByte : {false, true}) {
    uint8_t table[window::kToneTableSize];
    IdentityTable(table, twoByte);
    window::ApplyToneCurve(table, twoByte, 128, 1.0, 128, 10, 235);
    for (size_t i = 0; i < 256; ++i) {
      const int want = i < 10 ? 0 : i > 235 ? 255 : static_cast<int>(i);
      EXPECT_EQ(window::ToneEntry(table, i, twoByte), want) << "entry " << i << " two-byte " << twoByte;
    }
  }
}

}  // namespace
}  // namespace rzd::lowdrv::wintest
