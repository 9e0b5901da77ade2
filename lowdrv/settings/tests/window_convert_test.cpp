// ConvertXmlToSettings and the conversion of one source: required and optional settings, the
// all-or-nothing rule, paper handling, image sources, line art and the tone parameters.
#include "window_test_support.h"

#include <cstring>

namespace rzd::lowdrv::wintest {
namespace {

using WindowConvertTest = ModelSettingsTest;

// A snapshot of everything a conversion may change.
struct Snapshot {
  explicit Snapshot(const CM48tzScannerSettings& s)
      : primary(s.m_Primary),
        alternate(s.m_Alternate),
        third(s.m_Third),
        flags{s.m_bAlternateDefined, s.m_bThirdDefined, s.m_bAlternateSelected, s.m_bThirdSelected,
              s.m_bFlatbedSource,    s.m_bStaplesDetect, s.m_byDFDSensorLeft,   s.m_byDFDSensorCenter,
              s.m_byDFDSensorRight} {}
  static bool Same(const RZDWindowDescription& a, const RZDWindowDescription& b) {
    return std::memcmp(&a.Desc, &b.Desc, sizeof(a.Desc)) == 0 && std::memcmp(a.Gamma, b.Gamma, sizeof(a.Gamma)) == 0 &&
           std::memcmp(a.Gamma2, b.Gamma2, sizeof(a.Gamma2)) == 0 &&
           std::memcmp(a.Matrix, b.Matrix, sizeof(a.Matrix)) == 0 && a.ImageSourceID == b.ImageSourceID &&
           a.FrontTruncLen == b.FrontTruncLen && a.BackTruncLen == b.BackTruncLen;
  }
  bool operator==(const Snapshot& o) const {
    return Same(primary, o.primary) && Same(alternate, o.alternate) && Same(third, o.third) &&
           std::memcmp(flags, o.flags, sizeof(flags)) == 0;
  }
  RZDWindowDescription primary, alternate, third;
  uint8_t flags[9];
};

TEST_F(WindowConvertTest, RequiredSettings) {
  struct Case {
    Edit edit;
    const char16_t* message;
  };
  const std::u16string dfd = kSource + u"//Item[@ID='Ultrasonic']";
  const Case cases[] = {
      {RemoveNode(kSource + u"/OperatingModes"), u"ConvertXmlToSettings cannot find current Operation mode for main source"},
      {RemoveNode(dfd + u"/IsEnabled"), u"ConvertXmlToSettings cannot find DFD state"},
      {RemoveNode(dfd + u"/Action"), u"ConvertXmlToSettings cannot find DFD action mode"},
      {SetAttr(kFront, u"IsSet", u"false"), nullptr},  // the back image source alone is fine
      {RemoveAttr(kBack, u"Type"), u"ConvertXmlToSettings cannot find second image source type"},
      {SetAttr(kColor1, u"IsSet", u"false"), u"ConvertXmlToSettings cannot find current stream"},
      {RemoveAttr(kColor1, u"BitDepth"), u"ConvertXmlToSettings cannot find current bit depth"},
      {SetAttr(kColor1, u"BitDepth", u"0"), u"ConvertXmlToSettings cannot find current bit depth"},
      {SetCurrent(kColor1, u"Resolutions", u"0"), u"ConvertXmlToSettings cannot find current resolution"},
      {RemoveNode(kColor1 + u"/Frame"), u"ConvertXmlToSettings cannot find Frame"},
      {SetText(kColor1 + u"/Frame/Left", u"-1"), u"ConvertXmlToSettings cannot find Frame.Left"},
      {RemoveNode(kColor1 + u"/Frame/Top"), u"ConvertXmlToSettings cannot find Frame.Top"},
      {SetText(kColor1 + u"/Frame/Width", u"0"), u"ConvertXmlToSettings cannot find Frame.Width"},
      {SetText(kColor1 + u"/Frame/Length", u""), u"ConvertXmlToSettings cannot find Frame.Length"},
      {RemoveNode(kColor1 + u"//Gamma/EightBit/Red"), u"ConvertXmlToSettings cannot find red gamma table"},
      {SetText(kColor1 + u"//Gamma/EightBit/Green", u"0x00"), u"ConvertXmlToSettings failed to parse green gamma table"},
      {RemoveNode(kColor1 + u"//Gamma/EightBit/Blue"), u"ConvertXmlToSettings cannot find blue gamma table"},
      {RemoveNode(kColor1 + u"//Matrix"), u"ConvertXmlToSettings failed to find 3x3 matrix"},
      {SetText(kColor1 + u"//Matrix/TwelveBitMatrix", u"0x400"), u"ConvertXmlToSettings failed to parse 3x3 matrix"},
      {RemoveNode(kColor1 + u"//CompressionRatio"),
       u"ConvertXmlToSettings failed to find current CompressionRatio value"},
      {RemoveNode(kColor1 + u"//Invert"), u"ConvertXmlToSettings failed to find current Invert value"},
      {RemoveNode(kColor1 + u"//Brightness[@DependsOnValue='Green']"),
       u"ConvertXmlToSettings failed to find current Brightness value"},
      {RemoveNode(kColor1 + u"//Contrast[@DependsOnValue='Main']"),
       u"ConvertXmlToSettings failed to find current Contrast value"},
      {RemoveNode(kColor1 + u"//GammaCorrection[@DependsOnValue='Blue']"),
       u"ConvertXmlToSettings failed to find current Gamma value"},
      {RemoveNode(kColor1 + u"//Exposure/Red"), u"ConvertXmlToSettings failed to find current Exposure Red value"},
      {RemoveNode(kColor1 + u"//Exposure/Green"), u"ConvertXmlToSettings failed to find current Exposure Green value"},
      {RemoveNode(kColor1 + u"//Exposure/Blue"), u"ConvertXmlToSettings failed to find current Exposure Blue value"},
      {RemoveNode(kColor1 + u"//Highlight"), u"ConvertXmlToSettings failed to find current Highlight value"},
      {RemoveNode(kColor1 + u"//Shadow"), u"ConvertXmlToSettings failed to find current Shadow value"},
      {RemoveNode(kColor1 + u"//Filters"), u"ConvertXmlToSettings failed to find current Filter value"},
  };
  for (const Case& c : cases) {
    LogCapture log;
    const bool ok = Convert({c.edit});
    if (c.message == nullptr) {
      EXPECT_TRUE(ok) << ToUtf8(c.edit.path);
      continue;
    }
    EXPECT_FALSE(ok) << ToUtf8(c.message);
    EXPECT_TRUE(log.Contains(c.message)) << ToUtf8(c.message) << "\n" << log.All();
  }
}

TEST_F(WindowConvertTest, OptionalSettingsAreLoggedOnly) {
  LogCapture log;
  ASSERT_TRUE(Convert({}));
  EXPECT_TRUE(log.Contains(u"ConvertXmlToSettings failed to find current PaperHandling value"));
  EXPECT_TRUE(log.Contains(u"ConvertXmlToSettings failed to find current LongDocumentMode value"));
  // Without the crop-and-deskew settings in the supported document the limits are 0.
  log.Clear();
  settings_->m_HWIP[kHWIP_CropDeskew] = 0;
  ASSERT_TRUE(settings_->Reset());
  EXPECT_TRUE(log.Contains(u"ConvertXmlToSettings cannot find AutoCropMaxDPI")) << log.All();
  EXPECT_TRUE(log.Contains(u"ConvertXmlToSettings cannot find StraightenMaxDPI"));
}

TEST_F(WindowConvertTest, AFailedConversionStoresNothing) {
  // A first, good translation at 200 dpi with the alternate selected by the scan preparation.
  ASSERT_TRUE(Convert({SetCurrent(kColor1, u"Resolutions", u"200")}));
  settings_->m_bAlternateSelected = 1;
  const Snapshot before(*settings_);
  ASSERT_EQ(+before.primary.Desc.XRes, 200);

  // Failures late in the conversion (after descriptor, tables and flags were written).
  const std::vector<Edit> failing[] = {
      {SetCurrent(kSource, u"OperatingModes", u"Single"), SetCurrent(kFront, u"AutoCrop", u"On"),
       RemoveNode(kColor1 + u"//Filters")},
      {SetCurrent(kColor1, u"Resolutions", u"600"), RemoveNode(kColor1 + u"//Shadow")},
      {SetText(kColor1 + u"//Gamma/EightBit/Blue", u"junk")},
  };
  for (const auto& edits : failing) {
    EXPECT_FALSE(Convert(edits));
    EXPECT_TRUE(Snapshot(*settings_) == before);
  }
}

TEST_F(WindowConvertTest, AFailedAlternateSourceStoresNothing) {
  ASSERT_TRUE(Convert({}));
  const Snapshot before(*settings_);
  // A second source whose conversion fails (no Invert), after the primary converted well.
  MSXML6StoreSTL store;
  ASSERT_TRUE(store.LoadFromString(Edited(current_, {RemoveNode(kColor1 + u"//Invert")})));
  ASSERT_TRUE(store.SelectNode(kSource));
  ASSERT_TRUE(store.SetAttribute(u"ID", u"FB"));
  ASSERT_TRUE(store.SetAttribute(u"Type", u"Flatbed"));
  std::u16string second;
  ASSERT_TRUE(store.GetNodeXML(second));
  EXPECT_FALSE(Convert({AppendXml(u"//DocumentSources/List", second)}));
  EXPECT_TRUE(Snapshot(*settings_) == before);
  EXPECT_FALSE(settings_->m_bAlternateDefined);
  EXPECT_EQ(settings_->m_bFlatbedSource, 0);
}

TEST_F(WindowConvertTest, OperatingModeAndImageSources) {
  ASSERT_TRUE(Convert({SetCurrent(kSource, u"OperatingModes", u"Single")}));
  EXPECT_EQ(Primary().PagesPerJob, 1);
  EXPECT_EQ(Primary().SetCapEx1, 0x10);
  // One side: the front only, or the back only.
  ASSERT_TRUE(Convert({SetAttr(kBack, u"IsSet", u"false")}));
  EXPECT_EQ(Primary().SetCapEx1, 0x80);
  EXPECT_EQ(+Primary().LineNum, 3504);  // 3499 rounded up to A4 = 8
  ASSERT_TRUE(Convert({SetAttr(kFront, u"IsSet", u"false")}));
  EXPECT_EQ(Primary().SetCapEx1, 0x88);
  // With both sides set, the front one is converted: here the second image source.
  const std::u16string backStream = kBack + u"//Item[@Name='Stream'][@IsSet='true']";
  ASSERT_TRUE(Convert({SetCurrent(backStream, u"Resolutions", u"200")}));
  EXPECT_EQ(+Primary().XRes, 300);
  ASSERT_TRUE(Convert({SetCurrent(backStream, u"Resolutions", u"200"), SetAttr(kFront, u"Type", u"Back"),
                       SetAttr(kBack, u"Type", u"Front")}));
  EXPECT_EQ(+Primary().XRes, 200);
  EXPECT_EQ(Primary().SetCapEx1, 0x90);
}

TEST_F(WindowConvertTest, PaperHandling) {
  auto option = [](const char16_t* name, const char16_t* value) {
    return AppendXml(kSource, FormatW(u"<%s><Enum><Value IsCurrent=\"true\">%s</Value></Enum></%s>", name, value, name));
  };
  ASSERT_TRUE(Convert({option(u"PaperHandling", u"Fragile"), option(u"CarrierSheetMode", u"On"),
                       option(u"LongDocumentMode", u"On"), option(u"Paperweight", u"On"),
                       option(u"CatchPageOnExit", u"On"), option(u"StopAfterPageLength", u"On"),
                       option(u"DoNotRewindAfterStop", u"On"), option(u"StaplesDetect", u"On")}));
  EXPECT_EQ(Primary().UseTrans, 0x40);
  EXPECT_EQ(ByteAt(Primary(), 39), 0x28);
  EXPECT_EQ(Word32At(Primary(), 139), 0xF0u);
  EXPECT_EQ(settings_->m_bStaplesDetect, 1);

  ASSERT_TRUE(Convert({option(u"PaperHandling", u"Normal"), option(u"CarrierSheetMode", u"Off"),
                       option(u"LongDocumentMode", u"Off"), option(u"Paperweight", u"Off"),
                       option(u"CatchPageOnExit", u"Off"), option(u"StaplesDetect", u"Off")}));
  EXPECT_EQ(Primary().UseTrans, 0);
  EXPECT_EQ(ByteAt(Primary(), 39), 0);
  EXPECT_EQ(Word32At(Primary(), 139), 0u);
  EXPECT_EQ(settings_->m_bStaplesDetect, 0);

  // A flatbed takes none of the feeder-only bits.
  ASSERT_TRUE(Convert({SetAttr(kSource, u"Type", u"Flatbed"), option(u"Paperweight", u"On"),
                       option(u"CatchPageOnExit", u"On"), option(u"StopAfterPageLength", u"On"),
                       option(u"CarrierSheetMode", u"On")}));
  EXPECT_EQ(ByteAt(Primary(), 39), 0);
  EXPECT_EQ(Word32At(Primary(), 139), 0x10u);
  EXPECT_EQ(settings_->m_bFlatbedSource, 1);
  EXPECT_EQ(Primary().ADF & 0x80, 0);
}

TEST_F(WindowConvertTest, DfdSensorSwitches) {
  const std::u16string dfd = kSource + u"//Item[@ID='Ultrasonic']";
  auto sensor = [&](const char16_t* name, const char16_t* value) {
    return AppendXml(dfd, FormatW(u"<%s><Enum><Value IsCurrent=\"true\">%s</Value></Enum></%s>", name, value, name));
  };
  // Read only when the object has the three-sensor flag.
  ASSERT_TRUE(Convert({sensor(u"DFDSensorLeft", u"Off")}));
  EXPECT_EQ(settings_->m_byDFDSensorLeft, 1);

  settings_->m_bThreeSensor = 1;
  LogCapture log;
  ASSERT_TRUE(Convert({sensor(u"DFDSensorLeft", u"Off"), sensor(u"DFDSensorRight", u"On")}));
  EXPECT_EQ(settings_->m_byDFDSensorLeft, 0);
  EXPECT_EQ(settings_->m_byDFDSensorCenter, 1);  // missing: logged, unchanged
  EXPECT_EQ(settings_->m_byDFDSensorRight, 1);
  EXPECT_TRUE(log.Contains(u"ConvertXmlToSettings cannot find center DFD sensor setting"));
}

TEST_F(WindowConvertTest, ChannelTone) {
  // Colour: channel = Main + channel - 128 for brightness and contrast, Main x channel for gamma.
  ASSERT_TRUE(Convert({SetText(kColor1 + u"//Brightness[@DependsOnValue='Main']/Range/Value", u"150"),
                       SetText(kColor1 + u"//Brightness[@DependsOnValue='Red']/Range/Value", u"140"),
                       SetText(kColor1 + u"//Contrast[@DependsOnValue='Green']/Range/Value", u"255"),
                       SetText(kColor1 + u"//Contrast[@DependsOnValue='Main']/Range/Value", u"200"),
                       SetText(kColor1 + u"//GammaCorrection[@DependsOnValue='Main']/Range/Value", u"2.0"),
                       SetText(kColor1 + u"//GammaCorrection[@DependsOnValue='Blue']/Range/Value", u"0.5"),
                       SetRange(kColor1, u"WhiteLevel", u"255")}));
  const uint8_t* red = settings_->m_Primary.Gamma;
  const uint8_t* green = red + 512;
  const uint8_t* blue = red + 1024;
  for (int i = 0; i < 256; ++i) {
    const uint8_t in = static_cast<uint8_t>(i);
    ASSERT_EQ(red[i], CRZDScannerSettingsBase::ComputeToneValue(in, 162, 2.0, 200)) << i;
    ASSERT_EQ(green[i], CRZDScannerSettingsBase::ComputeToneValue(in, 150, 2.0, 255)) << i;  // 200 + 255 - 128
    ASSERT_EQ(blue[i], CRZDScannerSettingsBase::ComputeToneValue(in, 150, 1.0, 200)) << i;
  }
}

TEST_F(WindowConvertTest, GrayToneAndLevels) {
  ASSERT_TRUE(ConvertFromSupported(UseStreams(kGray1, kGray2),
                                   {SetRange(kGray1, u"Brightness", u"64"), SetRange(kGray1, u"BlackLevel", u"20"),
                                    SetRange(kGray1, u"WhiteLevel", u"200"), SetRange(kGray1, u"Highlight", u"250"),
                                    SetRange(kGray1, u"Shadow", u"5")}));
  EXPECT_EQ(Primary().ImageComp, 2);
  EXPECT_EQ(Primary().BitsPerChannel, 8);
  EXPECT_EQ(+Primary().HalftoneNum, 127);
  EXPECT_EQ(Primary().Highlight, 250);
  EXPECT_EQ(Primary().Shadow, 5);
  for (int c = 0; c < 3; ++c) {
    const uint8_t* table = settings_->m_Primary.Gamma + 512 * c;
    for (int i = 0; i < 256; ++i) {
      const int v = CRZDScannerSettingsBase::ComputeToneValue(static_cast<uint8_t>(i), 64, 1.0, 128);
      ASSERT_EQ(table[i], v < 20 ? 0 : v > 200 ? 255 : v) << i;
    }
  }
  // The luminance matrix of the gray stream.
  EXPECT_EQ(settings_->m_Primary.Matrix[0], 0x12B);
  EXPECT_EQ(settings_->m_Primary.Matrix[4], 0x24B);
}

// Line art as the engine family converts it (the model's own rule is tested with the model
// rules).
class LineArtConvertTest : public ModelSettingsTest {
 protected:
  bool ConvertMono(std::vector<Edit> edits) {
    return ConvertFromSupported(UseStreams(kMono1, kMono2), edits);
  }
  // The base class's conversion of the source the store stands on, without the model's rules.
  bool ConvertBase(const std::vector<Edit>& edits, ReduzidWindowDescriptor& desc) {
    MSXML6StoreBSTR store;
    EXPECT_TRUE(store.LoadFromString(Edited(CurrentFromSupported(UseStreams(kMono1, kMono2)), edits)));
    EXPECT_TRUE(store.SelectNode(kSource));
    desc = ReduzidWindowDescriptor{};
    uint8_t tables[kGammaBufferSize];
    uint16_t matrix[kMatrixValues];
    uint32_t front = 0, back = 0;
    return settings_->CScannerSettings_AV::ConvertXmlToSettingsForSource(store, desc, tables, nullptr, matrix, &front,
                                                                         &back) != FALSE;
  }
};

TEST_F(LineArtConvertTest, ThresholdInvertAndBitDepthReduction) {
  ReduzidWindowDescriptor desc;
  ASSERT_TRUE(ConvertBase({}, desc));
  EXPECT_EQ(desc.ImageComp, 0);
  EXPECT_EQ(desc.BitsPerChannel, 1);
  EXPECT_EQ(+desc.HalftoneNum, 0);
  EXPECT_EQ(desc.Threshold, 102);  // the description's mono threshold
  EXPECT_EQ(desc.RIF, 3);
  EXPECT_EQ(desc.CompressType, 0);  // line art is never compressed
  EXPECT_EQ(desc.ADF, 0xF0);

  ASSERT_TRUE(ConvertBase({SetRange(kMono1, u"Threshold", u"0"), SetCurrent(kMono1, u"Invert", u"On")}, desc));
  EXPECT_EQ(desc.Threshold, 1);
  EXPECT_EQ(desc.RIF, 0x83);

  const struct {
    const char16_t* reduction;
    bool ok;
    uint8_t comp;
    uint16_t halftone;
  } cases[] = {{u"Threshold", true, 0, 0},
               {u"ErrorDiffusion", true, 1, 0},
               {u"Halftone", true, 1, 1},
               {u"Bayer", true, 1, 2},
               {u"Dither", false, 0, 0}};
  for (const auto& c : cases) {
    LogCapture log;
    EXPECT_EQ(ConvertBase({SetCurrent(kMono1, u"BitDepthReductions", c.reduction)}, desc), c.ok);
    if (!c.ok) {
      EXPECT_TRUE(log.Contains(u"ConvertXmlToSettings failed because of unsupported Bitdepth reduction"));
      continue;
    }
    EXPECT_EQ(desc.ImageComp, c.comp) << ToUtf8(c.reduction);
    EXPECT_EQ(+desc.HalftoneNum, c.halftone) << ToUtf8(c.reduction);
  }
  LogCapture log;
  EXPECT_FALSE(ConvertBase({RemoveNode(kMono1 + u"//Threshold")}, desc));
  EXPECT_TRUE(log.Contains(u"ConvertXmlToSettings failed to find current Threshold value"));
  EXPECT_FALSE(ConvertBase({RemoveNode(kMono1 + u"//BitDepthReductions")}, desc));
  EXPECT_TRUE(log.Contains(u"ConvertXmlToSettings failed to find current Bitdepth reduction value"));
}

}  // namespace
}  // namespace rzd::lowdrv::wintest
