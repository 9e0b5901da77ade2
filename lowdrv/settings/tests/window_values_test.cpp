// Value mappings of the window descriptor: JPEG quality, blank-page threshold, multifeed level,
// drop-out colour bits, crop mode and rotation; as tables of the mappings and through the
// conversion of the device description.
#include "window/decimal_text.h"
#include "window/window_values.h"
#include "window_test_support.h"

namespace rzd::lowdrv::wintest {
namespace {

TEST(WindowValuesTest, JpegQuality) {
  struct Case {
    int32_t ratio, qmax, want;
  };
  const Case cases[] = {
      {0, 87, 24},  {1, 87, 24},  {25, 87, 37},  {49, 87, 49},   {50, 87, 50},  {51, 87, 50},
      {80, 87, 72}, {99, 87, 86}, {100, 87, 87}, {0, 92, 24},    {50, 92, 50},  {80, 92, 75},
      {100, 92, 92},
      // Taken modulo 256: -1 is 255 (held at the maximum), 300 is 44.
      {-1, 87, 87}, {-1, 92, 92}, {255, 87, 87}, {300, 87, 46}, {256, 92, 24},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(window::JpegQuality(c.ratio, 24, c.qmax), c.want) << "ratio " << c.ratio << " max " << c.qmax;
  }
}

TEST(WindowValuesTest, BlankPageThresholdByte) {
  const struct {
    bool discard;
    int32_t threshold;
    uint8_t want;
  } cases[] = {
      {false, 20, 0}, {false, 100, 0}, {true, 0, 1},    {true, 1, 2},     {true, 20, 51},
      {true, 50, 127}, {true, 100, 255}, {true, 101, 255}, {true, 1000, 255}, {true, -5, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(window::BlankPageThresholdByte(c.discard, c.threshold), c.want)
        << "discard " << c.discard << " threshold " << c.threshold;
  }
}

TEST(WindowValuesTest, MultifeedLevel) {
  EXPECT_EQ(window::MultifeedLevel(0), std::optional<uint8_t>(128));
  EXPECT_EQ(window::MultifeedLevel(1), std::optional<uint8_t>(0));
  EXPECT_EQ(window::MultifeedLevel(2), std::optional<uint8_t>(127));
  EXPECT_EQ(window::MultifeedLevel(3), std::nullopt);
  EXPECT_EQ(window::MultifeedLevel(-1), std::nullopt);
}

TEST(WindowValuesTest, FeederFlagsAndDropOutColour) {
  const struct {
    bool flatbed, colour;
    std::u16string filter;
    uint8_t want;
  } cases[] = {
      {false, true, u"Red", 0xE0},    {false, true, u"None", 0xE0},   {true, true, u"None", 0x60},
      {false, false, u"Red", 0xC8},   {false, false, u"Green", 0xD0}, {false, false, u"Blue", 0xD8},
      {false, false, u"None", 0xF0},  {false, false, u"red", 0xF0},   {true, false, u"Green", 0x50},
      {true, false, u"", 0x70},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(window::FeederFlags(c.flatbed, c.colour, c.filter), c.want)
        << "flatbed " << c.flatbed << " colour " << c.colour << " filter " << ToUtf8(c.filter);
  }
}

TEST(WindowValuesTest, CropMode) {
  const struct {
    bool allowed, crop, deskew;
    int32_t dpi, cropMax, deskewMax;
    uint8_t want;
  } cases[] = {
      {true, true, true, 300, 300, 300, 3},   {true, true, true, 300, 300, 200, 0},
      {true, true, true, 200, 300, 200, 3},   {true, true, false, 300, 300, 0, 1},
      {true, true, false, 400, 300, 600, 0},  {true, false, true, 300, 0, 300, 2},
      {true, false, true, 600, 600, 300, 0},  {true, false, false, 100, 300, 300, 0},
      {false, true, true, 100, 300, 300, 0},  {false, true, false, 100, 300, 300, 0},
      {true, true, false, 100, 0, 300, 0},    // a missing limit counts as 0
  };
  for (const auto& c : cases) {
    EXPECT_EQ(window::CropMode(c.allowed, c.crop, c.deskew, c.dpi, c.cropMax, c.deskewMax), c.want)
        << c.allowed << c.crop << c.deskew << " dpi " << c.dpi;
  }
}

TEST(WindowValuesTest, Rotation) {
  EXPECT_EQ(window::RotationByte(u"90"), 1);
  EXPECT_EQ(window::RotationByte(u"180"), 2);
  EXPECT_EQ(window::RotationByte(u"270"), 3);
  EXPECT_EQ(window::RotationByte(u"0"), 0);
  EXPECT_EQ(window::RotationByte(u"Auto"), 0);
}

TEST(WindowValuesTest, DecimalSettings) {
  const struct {
    const char16_t* text;
    double want;
  } cases[] = {{u"1.0", 1.0}, {u" 2.5x", 2.5}, {u"-0.5", -0.5}, {u"+3", 3.0},  {u"0.1", 0.1},
               {u"1e1", 10.0}, {u"abc", 0.0},  {u"", 0.0},      {u"--5", 0.0}, {u"4,5", 4.0}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(window::DecimalValue(c.text), c.want) << ToUtf8(c.text);
}

// ---- The same values through the conversion of the device description.
using WindowValuesConversionTest = ModelSettingsTest;

TEST_F(WindowValuesConversionTest, JpegQualityUsesTheObjectsLimits) {
  const int32_t qmax = settings_->m_byJpegQualityMax;
  const int32_t qmin = settings_->m_byJpegQualityMin;
  ASSERT_EQ(qmax, 87);  // the model driver's maximum
  const struct {
    const char16_t* ratio;
    int32_t want;
  } cases[] = {
      {u"0", qmin}, {u"50", 50}, {u"80", 50 + (qmax - 50) * 30 / 50}, {u"100", qmax},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Convert({SetRange(kColor1, u"CompressionRatio", c.ratio)}));
    EXPECT_EQ(ByteAt(Primary(), 65), c.want) << ToUtf8(c.ratio);
    EXPECT_EQ(Primary().CompressType, 2);
  }
  // A lower maximum set on the object is honoured.
  settings_->m_byJpegQualityMax = 60;
  ASSERT_TRUE(Convert({SetRange(kColor1, u"CompressionRatio", u"100")}));
  EXPECT_EQ(ByteAt(Primary(), 65), 60);
}

TEST_F(WindowValuesConversionTest, JpegOffAndSubSampling) {
  ASSERT_TRUE(Convert({SetCurrent(kColor1, u"JPEGTransfer", u"Off")}));
  EXPECT_EQ(Primary().CompressType, 0);
  EXPECT_EQ(Primary().CompressArg, 0);
  EXPECT_EQ(ByteAt(Primary(), 65), 0);
  const struct {
    const char16_t* sub;
    uint8_t arg;
  } cases[] = {{u"1", 3}, {u"2", 2}, {u"4", 1}};
  for (const auto& c : cases) {
    ASSERT_TRUE(Convert({SetCurrent(kColor1, u"CompressionSubSamping", c.sub)}));
    EXPECT_EQ(Primary().CompressArg, c.arg) << ToUtf8(c.sub);
  }
  // A colour JPEG stream needs its sub-sampling.
  EXPECT_FALSE(Convert({RemoveNode(kColor1 + u"//CompressionSubSamping")}));
}

TEST_F(WindowValuesConversionTest, BlankPageThresholdByte) {
  const std::u16string discard = kFront + u"/DiscardBlankPages/Enum/Value[@IsCurrent='true']";
  const std::u16string threshold = kFront + u"/BlankPageThreshold/Range/Value";
  const struct {
    const char16_t* discard;
    const char16_t* threshold;
    uint8_t want;
  } cases[] = {{u"Off", u"20", 0}, {u"On", u"20", 51}, {u"On", u"0", 1}, {u"On", u"100", 255}};
  for (const auto& c : cases) {
    ASSERT_TRUE(Convert({SetText(discard, c.discard), SetText(threshold, c.threshold)}));
    EXPECT_EQ(ByteAt(Primary(), 81), c.want) << ToUtf8(c.discard) << " " << ToUtf8(c.threshold);
  }
}

TEST_F(WindowValuesConversionTest, MultifeedLevelAndEnable) {
  const std::u16string dfd = kSource + u"//Item[@ID='Ultrasonic']";
  const std::u16string sensitivity =
      u"<Sensitivities><Range><Value Minimum=\"0\" Maximum=\"2\" Step=\"1\">%s</Value></Range></Sensitivities>";
  const struct {
    const char16_t* sensitivity;  // null: none in the document (1)
    const char16_t* enabled;
    const char16_t* action;
    bool ok;
    uint8_t level, enable, capBits;
  } cases[] = {
      {nullptr, u"Off", u"StopAndContinue", true, 0, 0x08, 0},
      {u"0", u"On", u"Stop", true, 128, 0x10, 0},
      {u"1", u"On", u"StopAndContinue", true, 0, 0x18, 0},
      {u"2", u"Off", u"None", true, 127, 0x00, 0x40},
      {u"3", u"On", u"Stop", false, 0, 0, 0},
  };
  for (const auto& c : cases) {
    std::vector<Edit> edits = {SetCurrent(dfd, u"IsEnabled", c.enabled), SetCurrent(dfd, u"Action", c.action)};
    if (c.sensitivity != nullptr) edits.push_back(AppendXml(dfd, FormatW(sensitivity.c_str(), c.sensitivity)));
    EXPECT_EQ(Convert(edits), c.ok) << ToUtf8(c.enabled) << " " << ToUtf8(c.action);
    if (!c.ok) continue;
    EXPECT_EQ(Primary().MFDlevel, c.level);
    EXPECT_EQ(Primary().MFDenable, c.enable);
    EXPECT_EQ(Primary().SetCapEx1 & 0x40, c.capBits);
  }
}

TEST_F(WindowValuesConversionTest, DropOutColourOfGrayStreams) {
  const struct {
    const char16_t* filter;
    uint8_t want;
  } cases[] = {{u"Red", 0xC8}, {u"Green", 0xD0}, {u"Blue", 0xD8}, {u"None", 0xF0}};
  for (const auto& c : cases) {
    // The gray stream's Filters enumeration carries only "None"; the value is set in the
    // current document as a client's document would have it.
    ASSERT_TRUE(ConvertFromSupported(UseStreams(kGray1, kGray2), {SetCurrent(kGray1, u"Filters", c.filter)}));
    EXPECT_EQ(Primary().ADF, c.want) << ToUtf8(c.filter);
    EXPECT_EQ(Primary().ImageComp, 2);
    EXPECT_EQ(Primary().CompressArg, 4);
  }
  // Colour ignores the drop-out colour.
  ASSERT_TRUE(Convert({SetCurrent(kColor1, u"Filters", u"Red")}));
  EXPECT_EQ(Primary().ADF, 0xE0);
}

TEST_F(WindowValuesConversionTest, CropModeAndItsOverScan) {
  const struct {
    const char16_t* crop;
    const char16_t* straighten;
    const char16_t* dpi;
    const char16_t* longLength;
    uint8_t want;
  } cases[] = {
      {u"On", u"On", u"300", u"Off", 3},  {u"On", u"Off", u"300", u"Off", 1}, {u"Off", u"On", u"200", u"Off", 2},
      {u"On", u"On", u"400", u"Off", 0},  {u"Off", u"Off", u"300", u"Off", 0},
      {u"On", u"On", u"300", u"On", 0},  // long length drops the crop
  };
  for (const auto& c : cases) {
    // Over-scan off on every edge, so that any over-scan seen comes from the crop rule.
    std::vector<Edit> edits = {SetCurrent(kFront, u"AutoCrop", c.crop), SetCurrent(kFront, u"Straighten", c.straighten),
                               SetCurrent(kColor1, u"Resolutions", c.dpi),
                               SetCurrent(kSource, u"LongLengthEnabled", c.longLength)};
    for (const char16_t* edge : {u"Top", u"Left", u"Width", u"Length"})
      edits.push_back(SetAttr(kColor1 + u"/Frame/" + edge, u"OverScan", u"Off"));
    ASSERT_TRUE(Convert(edits)) << ToUtf8(c.crop) << ToUtf8(c.straighten) << ToUtf8(c.dpi);
    EXPECT_EQ(ByteAt(Primary(), 87), c.want) << ToUtf8(c.crop) << ToUtf8(c.straighten) << ToUtf8(c.dpi);
    // A crop turns the vertical over-scan on, and with it the truncation lengths.
    EXPECT_EQ(settings_->m_Primary.FrontTruncLen, c.want != 0 ? 200u : 0u);
  }
  // With the crop-and-deskew switch off there is no hardware crop.
  settings_->m_HWIP[kHWIP_CropDeskew] = 0;
  ASSERT_TRUE(Convert({SetCurrent(kFront, u"AutoCrop", u"On"), SetCurrent(kFront, u"Straighten", u"On")}));
  EXPECT_EQ(ByteAt(Primary(), 87), 0);
}

TEST_F(WindowValuesConversionTest, RotationAndOtherImageBytes) {
  ASSERT_TRUE(Convert({SetCurrent(kFront, u"Rotations", u"270")}));
  EXPECT_EQ(ByteAt(Primary(), 96), 3);
  EXPECT_EQ(ByteAt(Primary(), 86), 0);
  ASSERT_TRUE(Convert({SetCurrent(kFront, u"Rotations", u"90"), SetCurrent(kColor1, u"TextEnhanced", u"On"),
                       SetCurrent(kColor1, u"Blur", u"On"), SetCurrent(kColor1, u"ImageFilters", u"Sharpen"),
                       SetRange(kColor1, u"FilterMask", u"15")}));
  EXPECT_EQ(ByteAt(Primary(), 96), 1);
  EXPECT_EQ(ByteAt(Primary(), 85), 1);
  EXPECT_EQ(ByteAt(Primary(), 109), 1);
  EXPECT_EQ(ByteAt(Primary(), 79), 255);
  EXPECT_EQ(ByteAt(Primary(), 78), 0);
  // A filter mask of 0 counts as 1.
  ASSERT_TRUE(Convert({SetCurrent(kColor1, u"ImageFilters", u"Blur"), SetRange(kColor1, u"FilterMask", u"0")}));
  EXPECT_EQ(ByteAt(Primary(), 78), 17);
}

}  // namespace
}  // namespace rzd::lowdrv::wintest
