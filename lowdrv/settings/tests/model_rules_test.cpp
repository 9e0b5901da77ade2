// The model's own rules: line art scanned as gray JPEG, the high-resolution rules, the page-length
// cap, the DFD buttons by capability and the current document for the page metadata.
#include "window/descriptor_bytes.h"
#include "window/model_rules.h"
#include "window_test_support.h"

namespace rzd::lowdrv::wintest {
namespace {

TEST(ModelRulesTest, LineArtBecomesGrayJpeg) {
  struct Case {
    const char* what;
    uint8_t fixedLengthMark;
    uint8_t compressType;
  };
  const Case cases[] = {{"length detection on", 0, 2}, {"length detection off", 1, 3}};
  for (const Case& c : cases) {
    ReduzidWindowDescriptor d{};
    d.ImageComp = 0;
    d.BitsPerChannel = 1;
    d.XRes = d.YRes = 200;
    d.Width = 10752;  // 8960 thousandths: 1792 pixels at 200 dpi
    window::DescBytes(d)[36] = c.fixedLengthMark;
    window::LineArtToGray(d, 87, 8);
    EXPECT_EQ(d.ImageComp, 2) << c.what;
    EXPECT_EQ(d.BitsPerChannel, 8) << c.what;
    EXPECT_EQ(d.CompressArg, 4) << c.what;
    EXPECT_EQ(d.CompressType, c.compressType) << c.what;
    EXPECT_EQ(ByteAt(d, 65), 87) << c.what;
    EXPECT_EQ(ByteAt(d, 36), 0) << c.what;
    EXPECT_EQ(window::BytesPerLine(d), 1792u) << c.what;
  }
  // Rounded up to the gray pixel boundary: 200 x 8500 / 1000 = 1700 -> 1704.
  ReduzidWindowDescriptor d{};
  d.XRes = 200;
  d.Width = 10200;
  window::LineArtToGray(d, 92, 8);
  EXPECT_EQ(window::BytesPerLine(d), 1704u);
  EXPECT_EQ(ByteAt(d, 65), 92);
  // Other compositions are left alone.
  for (uint8_t comp : {1, 2, 5}) {
    ReduzidWindowDescriptor other{};
    other.ImageComp = comp;
    other.XRes = 200;
    other.Width = 10200;
    const ReduzidWindowDescriptor before = other;
    window::LineArtToGray(other, 87, 8);
    EXPECT_EQ(std::memcmp(&before, &other, sizeof(other)), 0) << int(comp);
  }
}

TEST(ModelRulesTest, HighResolutionRules) {
  window::PixelBounds bounds{8, 8, 32};
  // Fragile paper above 300 dpi gives up the continuous mode.
  ReduzidWindowDescriptor d{};
  d.XRes = d.YRes = 600;
  d.UseTrans = 0x40;
  d.SetCapEx1 = 0x90;
  d.Width = 10200;
  window::ApplyHighResolutionRules(d, 2700, bounds);
  EXPECT_EQ(d.UseTrans, 0);
  EXPECT_EQ(d.SetCapEx1, 0x10);
  EXPECT_EQ(+d.Width, 10200u);
  // At 300 dpi nothing changes.
  d = ReduzidWindowDescriptor{};
  d.XRes = d.YRes = 300;
  d.UseTrans = 0x40;
  d.SetCapEx1 = 0x80;
  d.Width = 12000;
  window::ApplyHighResolutionRules(d, 2700, bounds);
  EXPECT_EQ(d.UseTrans, 0x40);
  EXPECT_EQ(+d.Width, 12000u);
  // Wider than the feeder (12000 / 4 = 3000 > 2700): the feeder width 9000, left edge 0, bytes
  // per line 600 x 9000 / 1000 = 5400 pixels, x 3 for colour.
  const struct {
    uint8_t comp, bits;
    uint32_t bytes;
  } cases[] = {{5, 8, 16200}, {2, 8, 5400}, {0, 1, 676}};  // line art: 5408 pixels (bound 32)
  for (const auto& c : cases) {
    d = ReduzidWindowDescriptor{};
    d.XRes = d.YRes = 600;
    d.ImageComp = c.comp;
    d.BitsPerChannel = c.bits;
    d.Width = 12000;
    d.XStart = 300;
    window::ApplyHighResolutionRules(d, 2700, bounds);
    EXPECT_EQ(+d.Width, 10800u) << int(c.comp);
    EXPECT_EQ(+d.XStart, 0u) << int(c.comp);
    EXPECT_EQ(window::BytesPerLine(d), c.bytes) << int(c.comp);
  }
}

TEST(ModelRulesTest, PageLengthCapLines) {
  const struct {
    uint32_t dpi, cap;
  } cases[] = {{100, 23600}, {200, 47200}, {299, 70564}, {300, 65400}, {301, 17759}, {400, 23600}, {600, 35400}};
  for (const auto& c : cases) EXPECT_EQ(window::PageLengthCapLines(c.dpi), c.cap) << c.dpi;
}

TEST(ModelRulesTest, PageLengthCap) {
  const uint32_t align[4] = {1, 1, 8, 8};
  struct Case {
    const char* what;
    uint16_t dpi;
    bool twoSided, compressed;
    uint32_t lines, front;
    bool capped;
    uint32_t wantLines, wantLength;
  };
  const Case cases[] = {
      {"one side, JPEG, 600 dpi", 600, false, true, 60000, 200, true, 35400, 70800},
      {"two sides, JPEG, 600 dpi", 600, true, true, 120800, 200, true, 70800, 70800},
      {"within the cap", 600, true, true, 70800, 200, false, 70800, 0},
      {"no front truncation", 600, false, true, 60000, 0, false, 60000, 0},
      {"two sides, uncompressed, 301 dpi: aligned to 2", 301, true, false, 40000, 200, true, 35518, 70800},
      {"two sides, JPEG, 301 dpi: aligned to 16", 301, true, true, 40000, 200, true, 35504, 70772},
      {"one side, JPEG, 250 dpi: aligned to 8", 250, false, true, 60000, 200, true, 59000, 283200},
  };
  for (const Case& c : cases) {
    ReduzidWindowDescriptor d{};
    d.YRes = c.dpi;
    d.SetCapEx1 = c.twoSided ? 0x10 : 0;
    d.CompressType = c.compressed ? 2 : 0;
    window::SetLineCount(d, c.lines);
    uint32_t front = c.front, back = 200;
    EXPECT_EQ(window::ApplyPageLengthCap(d, align, front, back), c.capped) << c.what;
    EXPECT_EQ(window::LineCount(d), c.wantLines) << c.what;
    if (c.capped) {
      EXPECT_EQ(+d.Length, c.wantLength) << c.what;
      EXPECT_EQ(front, 20u) << c.what;
      EXPECT_EQ(back, 20u) << c.what;
    } else {
      EXPECT_EQ(front, c.front) << c.what;
      EXPECT_EQ(back, 200u) << c.what;
    }
  }
}

// ---- Through the model's conversion.
using ModelRulesConversionTest = ModelSettingsTest;

TEST_F(ModelRulesConversionTest, LineArtAt200DpiIsScannedAsGrayJpeg) {
  ASSERT_TRUE(ConvertFromSupported(UseStreams(kMono1, kMono2), {SetCurrent(kMono1, u"Resolutions", u"200")}));
  EXPECT_EQ(Primary().ImageComp, 2);
  EXPECT_EQ(Primary().BitsPerChannel, 8);
  EXPECT_EQ(Primary().CompressType, 2);
  EXPECT_EQ(Primary().CompressArg, 4);
  EXPECT_EQ(ByteAt(Primary(), 65), settings_->m_byJpegQualityMax);
  // Line art window: 200 x 8833 / 1000 = 1766 pixels up to 1792 (bound 32); width 10752. As gray:
  // 200 x (10752 x 10 / 12) / 1000 = 1792 bytes per line.
  EXPECT_EQ(+Primary().Width, 10752u);
  EXPECT_EQ(+Primary().PixelNum, 1792);
  EXPECT_EQ(Primary().Threshold, 102);  // thresholded later with the mono threshold

  // The quality is the object's maximum, whatever the model driver set it to.
  for (const uint8_t maximum : {uint8_t{92}, uint8_t{61}}) {
    settings_->m_byJpegQualityMax = maximum;
    ASSERT_TRUE(ConvertFromSupported(UseStreams(kMono1, kMono2), {SetCurrent(kMono1, u"Resolutions", u"200")}));
    EXPECT_EQ(ByteAt(Primary(), 65), maximum);
  }
}

TEST_F(ModelRulesConversionTest, LongPagesAreCapped) {
  // 600 dpi, 100 inches, over-scan "Auto", both sides: (100666 x 12 / 10 x 10 / 12) x 600 / 1000 =
  // 60399 lines per side, 120800 after doubling and alignment; the cap is 59 x 600 = 35400 per side.
  ASSERT_TRUE(Convert({SetCurrent(kColor1, u"Resolutions", u"600"), SetText(kColor1 + u"/Frame/Length", u"100000")}));
  EXPECT_EQ(window::LineCount(Primary()), 70800u);
  EXPECT_EQ(+Primary().Length, 70800u);
  EXPECT_EQ(settings_->m_Primary.FrontTruncLen, 20u);
  EXPECT_EQ(settings_->m_Primary.BackTruncLen, 20u);
  // 11 inches are not capped.
  ASSERT_TRUE(Convert({SetCurrent(kColor1, u"Resolutions", u"600")}));
  EXPECT_EQ(settings_->m_Primary.FrontTruncLen, 200u);
}

TEST_F(ModelRulesConversionTest, FragilePaperAbove300Dpi) {
  const Edit fragile =
      AppendXml(kSource, u"<PaperHandling><Enum><Value IsCurrent=\"true\">Fragile</Value></Enum></PaperHandling>");
  ASSERT_TRUE(Convert({fragile}));
  EXPECT_EQ(Primary().UseTrans, 0x40);
  EXPECT_EQ(Primary().SetCapEx1 & 0x80, 0x80);
  ASSERT_TRUE(Convert({fragile, SetCurrent(kColor1, u"Resolutions", u"400")}));
  EXPECT_EQ(Primary().UseTrans, 0);
  EXPECT_EQ(Primary().SetCapEx1 & 0x80, 0);
}

// ---- Engine facts (operation 21).
class ModelFactsTest : public test::TempRoot {
 protected:
  std::u16string SupportedAfterInit(uint8_t abilityEx8) {
    ReduzidInq inq = ModelInquiry();
    inq.AbilityEx8 = abilityEx8;
    CM48tzScannerSettings settings;
    ConfigureAsModel(settings);
    EXPECT_TRUE(settings.Init(inq, ModelNvm(), nullptr, u"1", u"1"));
    EXPECT_NE(InqBytes(CRZDScannerSettingsBase::InquiryCopy())[164] & 0x08, 0);
    Bstr supported = Bstr::Attach(settings.GetSupported());
    return supported.Str();
  }
  static int Count(std::u16string_view xml, std::u16string_view path) {
    MSXML6StoreSTL store;
    if (!store.LoadFromString(xml) || !store.SelectNode(path)) return 0;
    int n = 1;
    while (store.MoveToNextNode()) ++n;
    return n;
  }
};

TEST_F(ModelFactsTest, WithoutTheDfdButtonCapability) {
  const std::u16string xml = SupportedAfterInit(0x00);
  EXPECT_EQ(Count(xml, u"//Item[@ID='Button7']"), 0);
  EXPECT_EQ(Count(xml, u"//Item[@ID='Button8']"), 0);
  EXPECT_EQ(Count(xml, u"//Item[@ID='Button9']"), 1);
  const std::u16string action = u"//Item[@ID='Ultrasonic']/Action/Enum/Value";
  EXPECT_EQ(Count(xml, action + u"[.='Stop'][@IsCurrent='true'][@IsDefault='true']"), 1);
  EXPECT_EQ(Count(xml, action + u"[.='StopAndContinue'][@IsCurrent]"), 0);
  EXPECT_EQ(Count(xml, action + u"[.='StopAndContinue'][@IsDefault]"), 0);
  EXPECT_EQ(Count(xml, action + u"[@IsCurrent='true']"), 1);
}

TEST_F(ModelFactsTest, WithTheDfdButtonCapability) {
  const std::u16string xml = SupportedAfterInit(0x80);
  EXPECT_EQ(Count(xml, u"//Item[@ID='Button7']"), 1);
  EXPECT_EQ(Count(xml, u"//Item[@ID='Button8']"), 1);
  EXPECT_EQ(Count(xml, u"//Item[@ID='Ultrasonic']/Action/Enum/Value[.='StopAndContinue'][@IsCurrent='true']"), 1);
}

// ---- The current document for the page metadata (operation 24).
using ModelCurrentForSourceTest = ModelSettingsTest;

TEST_F(ModelCurrentForSourceTest, AMonoStreamIsHandedOverAsGray) {
  Bstr supported = Bstr::Attach(settings_->GetSupported());
  const uint32_t code = settings_->SetCurrent(Edited(supported.View(), UseStreams(kMono1, kMono2)));
  ASSERT_TRUE(code == 0 || code == 0x800C) << code;

  MSXML6StoreBSTR metadata;
  ASSERT_TRUE(metadata.LoadFromString(u"<Operation><Data/></Operation>"));
  ASSERT_TRUE(metadata.SelectNode(u"/Operation"));
  Bstr result = Bstr::Attach(settings_->GetCurrentForSource(u"ADF", u"Front", metadata));
  ASSERT_TRUE(result);

  Bstr text;
  ASSERT_TRUE(metadata.GetNodeText(u"/Operation/ConvertToBWThreshold", text));
  EXPECT_EQ(text.View(), u"102");
  // The caller's context is where it was.
  Bstr name;
  ASSERT_TRUE(metadata.GetNodeName(name));
  EXPECT_EQ(name.View(), u"Operation");

  const std::u16string xml = result.Str();
  EXPECT_EQ(CountOf(xml, kFront + u"//Item[@Name='Stream'][@ID='Gray1'][@IsSet='true']"), 1);
  EXPECT_EQ(CountOf(xml, kFront + u"//Item[@Name='Stream'][@ID='Mono1']"), 0);
  // A current document: no limits, only current values.
  EXPECT_EQ(CountOf(xml, u"//Limits"), 0);
  EXPECT_EQ(CountOf(xml, kGray1 + u"//Resolutions/Enum/Value"), 1);

  // The back side has its own mono stream.
  Bstr back = Bstr::Attach(settings_->GetCurrentForSource(u"ADF", u"Back", metadata));
  EXPECT_EQ(CountOf(back.View(), kBack + u"//Item[@Name='Stream'][@ID='Gray2'][@IsSet='true']"), 1);
}

TEST_F(ModelCurrentForSourceTest, OtherwiseACopyOfTheCurrentDocument) {
  MSXML6StoreBSTR metadata;
  ASSERT_TRUE(metadata.LoadFromString(u"<Operation/>"));
  ASSERT_TRUE(metadata.SelectRoot());
  for (const auto& args : {std::pair<std::u16string, std::u16string>{u"ADF", u"Front"}, {u"Tray", u"Front"},
                           {u"ADF\"]|//*[\"", u"Front"}}) {
    Bstr result = Bstr::Attach(settings_->GetCurrentForSource(args.first, args.second, metadata));
    ASSERT_TRUE(result);
    EXPECT_EQ(result.View(), current_);
  }
  Bstr text;
  EXPECT_FALSE(metadata.GetNodeText(u"//ConvertToBWThreshold", text));
}

}  // namespace
}  // namespace rzd::lowdrv::wintest
