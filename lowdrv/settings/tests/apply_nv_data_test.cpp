// The engine facts in the supported document: counters, dates, serial number, firmware text,
// power time-outs, identity, the HWProps.ini switches and the colour-correction files.
#include "documents_fixture.h"
#include "foundation/hwprops.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace rzd::lowdrv::test {
namespace {

class ApplyNvDataTest : public rzd::test::TempRoot {
 protected:
  // Init with the records, then the supported document.
  static std::u16string SupportedAfterInit(const ReduzidInq& inq, const ReduzidNVMData& nvm,
                                           IRZDSettingsEngineLink* link = nullptr, uint8_t canUpdate = 0) {
    TestSettings settings;
    settings.m_bCanUpdateFirmware = canUpdate;
    EXPECT_TRUE(settings.InitWith(inq, nvm, link));
    return settings.Supported();
  }

  // ApplyNvData of `settings` on a document of our own; the result document.
  static std::u16string Apply(TestSettings& settings, std::u16string_view xml, BOOL* ok = nullptr) {
    MSXML6StoreBSTR store;
    EXPECT_TRUE(store.LoadFromString(xml));
    const BOOL result = settings.ApplyNvData(store);
    if (ok != nullptr) *ok = result;
    Bstr out;
    store.GetDocumentXML(out);
    return out.Str();
  }

  static std::filesystem::path ModelFolder() { return HwPropsFile(u"M48tz").Path().parent_path(); }
};

TEST_F(ApplyNvDataTest, CountersDatesIdentityAndVersionsFromTheRecords) {
  Doc doc(SupportedAfterInit(FixtureInquiry(), FixtureNVM()));
  const std::u16string hw = u"/Scanner/HardwareSettings/";
  EXPECT_EQ(doc.Text(hw + u"RollerScanCount"), u"1234");
  EXPECT_EQ(doc.Text(hw + u"ADFSimplexCount"), u"10");
  EXPECT_EQ(doc.Text(hw + u"ADFDuplexCount"), u"20");
  EXPECT_EQ(doc.Text(hw + u"ADFMultifeedCount"), u"3");
  EXPECT_EQ(doc.Text(hw + u"ADFJamCount"), u"4");
  EXPECT_EQ(doc.Text(hw + u"ReverseRollerCount"), u"0");  // not one of the written counters
  EXPECT_FALSE(doc.Has(hw + u"PadScanCount"));             // counters are written only where carried
  EXPECT_FALSE(doc.Has(hw + u"ADFCount"));
  EXPECT_EQ(doc.Text(hw + u"DateOfManufacture"), u"2013 05 07");
  EXPECT_EQ(doc.Text(hw + u"DateOfFirstScan"), u"2014 02 03");
  EXPECT_EQ(doc.Text(hw + u"DatOfFirstScan"), u"2010 12 28");  // carried, left alone
  EXPECT_EQ(doc.Text(hw + u"SerialNumber"), u"SN0012345");
  EXPECT_EQ(doc.Text(hw + u"FirmwareVersion"), u"1.07");
  EXPECT_EQ(doc.Text(hw + u"DriverVersion"), u"2.3.4.5");
  EXPECT_EQ(doc.Text(hw + u"TWAINDSVersion"), u"6, 7, 8, 9");
  EXPECT_EQ(doc.Text(hw + u"ProductName"), u"Quarx M48tz Scanner");
  EXPECT_EQ(doc.Text(hw + u"VendorName"), u"Quarx Incorporated");
  EXPECT_EQ(doc.Text(hw + u"ModelID"), u"0148");
  EXPECT_EQ(doc.Text(hw + u"VendorID"), u"2E5A");
  EXPECT_EQ(doc.Text(hw + u"ScannerModel"), u"M48tz");
  EXPECT_EQ(doc.Text(hw + u"CanUpdateFirmware"), u"0");
  EXPECT_EQ(doc.Text(hw + u"FrontPostImprinter"), u"1");  // the fixture's unit has one
  // The power times are the unit's; without the engine driver's limits the carried ones stay.
  EXPECT_EQ(doc.Text(hw + u"SleepTimeout/Range/Value"), u"30");
  EXPECT_EQ(doc.Text(hw + u"OffTimeout/Range/Value"), u"60");
  EXPECT_EQ(doc.Text(hw + u"ERPTimeout/Range/Value"), u"90");
  EXPECT_EQ(doc.Attr(hw + u"SleepTimeout/Range/Value", u"Minimum"), u"5");
  EXPECT_EQ(doc.Attr(hw + u"SleepTimeout/Range/Value", u"Maximum"), u"120");
  EXPECT_EQ(doc.Attr(hw + u"OffTimeout/Range/Value", u"Maximum"), u"4320");
}

TEST_F(ApplyNvDataTest, EveryCounterTheDescriptionMayCarry) {
  TestSettings settings;
  ASSERT_TRUE(settings.InitDefault());
  ReduzidNVMData nvm = FixtureNVM();
  nvm.ADFSingleModeScanCount = 3000000000u;  // counters are unsigned
  CRZDScannerSettingsBase::SetNVMDataCopy(nvm);
  Doc doc(Apply(settings,
                u"<Scanner><HardwareSettings><PadScanCount/><SeparationRollerScanCount/><RollerScanCount/>"
                u"<ADFCount/><ADFSimplexCount/><ADFDuplexCount/><ADFMultifeedCount/><ADFJamCount/>"
                u"<FlatbedScanCount/></HardwareSettings></Scanner>"));
  const std::u16string hw = u"/Scanner/HardwareSettings/";
  EXPECT_EQ(doc.Text(hw + u"PadScanCount"), u"77");
  EXPECT_EQ(doc.Text(hw + u"SeparationRollerScanCount"), u"77");
  EXPECT_EQ(doc.Text(hw + u"RollerScanCount"), u"1234");
  EXPECT_EQ(doc.Text(hw + u"ADFCount"), u"3000000020");
  EXPECT_EQ(doc.Text(hw + u"ADFSimplexCount"), u"3000000000");
  EXPECT_EQ(doc.Text(hw + u"ADFDuplexCount"), u"20");
  EXPECT_EQ(doc.Text(hw + u"ADFMultifeedCount"), u"3");
  EXPECT_EQ(doc.Text(hw + u"ADFJamCount"), u"4");
  EXPECT_EQ(doc.Text(hw + u"FlatbedScanCount"), u"5");
}

TEST_F(ApplyNvDataTest, SerialNumberAndFirmwareTexts) {
  struct Case {
    const char* name;
    std::string serial;  // up to 24 bytes
    std::string revision;  // 4 bytes
    std::u16string expectedSerial, expectedFirmware;
  };
  const Case cases[] = {
      {"24 characters", "ABCDEFGHIJKLMNOPQRSTUVWX", "2.10", u"ABCDEFGHIJKLMNOPQRSTUVWX", u"2.10"},
      {"a zero byte ends them", std::string("AB\0CD", 5), std::string("12\0" "4", 4), u"AB", u"12"},
      {"empty", std::string(), std::string(4, '\0'), u"", u""},
      {"8-bit characters", "N\xE9" "1", "V\xB2" "00", u"N\u00E91", u"V\u00B200"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReduzidNVMData nvm = FixtureNVM();
    std::memset(nvm.SerialNumber, 0, sizeof nvm.SerialNumber);
    std::memcpy(nvm.SerialNumber, c.serial.data(), c.serial.size());
    ReduzidInq inq = FixtureInquiry();
    std::memcpy(inq.ProductReversion, c.revision.data(), 4);
    Doc doc(SupportedAfterInit(inq, nvm));
    EXPECT_EQ(U8(doc.Text(u"//HardwareSettings/SerialNumber")), U8(c.expectedSerial));
    EXPECT_EQ(U8(doc.Text(u"//HardwareSettings/FirmwareVersion")), U8(c.expectedFirmware));
  }
}

TEST_F(ApplyNvDataTest, ASerialNumberTheDocumentCannotHoldFailsTheReset) {
  SettingsLogCapture log;
  ReduzidNVMData nvm = FixtureNVM();
  nvm.SerialNumber[2] = '\x01';  // a control character XML cannot hold
  TestSettings settings;
  EXPECT_FALSE(settings.InitWith(FixtureInquiry(), nvm));
  EXPECT_TRUE(log.Contains(u"ApplyNvData failed to set SerialNumber = "));
  EXPECT_TRUE(log.Contains(u"Reset failed because ApplyNvData() failed"));
  EXPECT_EQ(settings.GetCurrent(), nullptr);
  EXPECT_TRUE(settings.converted.empty());
}

TEST_F(ApplyNvDataTest, PowerTimeOutLimitsOfTheEngineDriver) {
  FakeEngineLink link;
  link.haveLimits = true;
  link.limits.found = kPowerLimitsSleep | kPowerLimitsERP;  // no power-off range found
  link.limits.sleepMin = 1;
  link.limits.sleepMax = 60;
  link.limits.sleepDefault = 20;
  link.limits.offMin = 15;
  link.limits.offMax = 999;
  link.limits.erpMin = 15;
  link.limits.erpMax = 4320;
  link.limits.erpDefault = 240;
  link.mark = true;
  Doc doc(SupportedAfterInit(FixtureInquiry(), FixtureNVM(), &link));
  const std::u16string sleep = u"//HardwareSettings/SleepTimeout/Range/Value";
  EXPECT_EQ(doc.Attr(sleep, u"Minimum"), u"1");
  EXPECT_EQ(doc.Attr(sleep, u"Maximum"), u"60");
  EXPECT_EQ(doc.Attr(sleep, u"Default"), u"20");
  EXPECT_EQ(doc.Attr(sleep, u"Step"), u"1");
  EXPECT_EQ(doc.Text(sleep), u"30");
  const std::u16string off = u"//HardwareSettings/OffTimeout/Range/Value";
  EXPECT_EQ(doc.Attr(off, u"Minimum"), u"0");
  EXPECT_EQ(doc.Attr(off, u"Maximum"), u"4320");
  EXPECT_EQ(doc.Text(off), u"60");
  const std::u16string erp = u"//HardwareSettings/ERPTimeout/Range/Value";
  EXPECT_EQ(doc.Attr(erp, u"Minimum"), u"15");
  EXPECT_EQ(doc.Attr(erp, u"Default"), u"240");
  EXPECT_EQ(doc.Text(erp), u"90");
  // The engine driver's last pass ran on the document that became the supported one.
  EXPECT_EQ(link.lastPasses, 1);
  EXPECT_EQ(doc.Text(u"/Scanner/EngineMark"), u"seen");
}

TEST_F(ApplyNvDataTest, NVRAMTimeSettersWriteTheProcessCopy) {
  TestSettings settings;
  ASSERT_TRUE(settings.InitDefault());
  settings.SetNvPowerSavingTime(45);
  settings.SetNvPowerOffTime(0x12345);  // kept as 16 bits
  settings.SetNvERPTime(240);
  const ReduzidNVMData nvm = CRZDScannerSettingsBase::NVMDataCopy();
  // (packed fields are copied before they are compared)
  EXPECT_EQ(uint16_t{nvm.PowerSavingTime}, 45);
  EXPECT_EQ(uint16_t{nvm.PowerOffTime}, 0x2345);
  EXPECT_EQ(uint16_t{nvm.ERPTime}, 240);
  EXPECT_EQ(uint32_t{nvm.RollerCount}, 1234u);  // nothing else changed
  ASSERT_TRUE(settings.Reset());
  Doc doc(settings.Supported());
  EXPECT_EQ(doc.Text(u"//HardwareSettings/SleepTimeout/Range/Value"), u"45");
  EXPECT_EQ(doc.Text(u"//HardwareSettings/ERPTimeout/Range/Value"), u"240");
}

TEST_F(ApplyNvDataTest, FirmwareUpdateFlagImprinterAndDefaultFirmware) {
  ReduzidInq inq = FixtureInquiry();
  InqBytes(inq)[156] |= 0x08;  // front post-imprinter
  Doc doc(SupportedAfterInit(inq, FixtureNVM(), nullptr, 1));
  EXPECT_EQ(doc.Text(u"//HardwareSettings/CanUpdateFirmware"), u"1");
  EXPECT_EQ(doc.Text(u"//HardwareSettings/FrontPostImprinter"), u"1");

  TestSettings settings;
  ASSERT_TRUE(settings.InitDefault());
  EXPECT_EQ(settings.GetDefaultFirmwareVersion(), u"");
  CRZDScannerSettingsBase::SetInquiryCopy(inq);
  Doc adapted(Apply(settings, u"<Scanner><HardwareSettings><DefaultFirmwareVersion>1.20</DefaultFirmwareVersion>"
                              u"</HardwareSettings></Scanner>"));
  EXPECT_EQ(settings.GetDefaultFirmwareVersion(), u"1.20");
  EXPECT_FALSE(adapted.Has(u"//FrontPostImprinter"));  // set only where carried
  EXPECT_EQ(adapted.Text(u"//CanUpdateFirmware"), u"0");  // created
  Apply(settings, u"<Scanner><HardwareSettings/></Scanner>");
  EXPECT_EQ(settings.GetDefaultFirmwareVersion(), u"");  // cleared on every pass
}

TEST_F(ApplyNvDataTest, DFDThreeButtonFlag) {
  TestSettings settings;
  ASSERT_TRUE(settings.InitDefault());
  EXPECT_EQ(settings.m_bDFD3Button, 1);
  Apply(settings, u"<Scanner><Buttons><List><Item Name=\"Button\" ID=\"Button2\"/></List></Buttons></Scanner>");
  EXPECT_EQ(settings.m_bDFD3Button, 0);
}

// ---- The HWProps.ini switches.
TEST_F(ApplyNvDataTest, MissingHwPropsFileLeavesEverySwitchOn) {
  ASSERT_FALSE(std::filesystem::exists(HwPropsFile(u"M48tz").Path()));
  TestSettings settings;
  for (uint8_t& s : settings.m_HWIP) s = 0;
  ASSERT_TRUE(settings.InitDefault());
  for (size_t i = 0; i < kHwipSwitchCount; ++i) EXPECT_EQ(settings.m_HWIP[i], 1) << i;
  EXPECT_EQ(settings.m_ModelFolder, ModelFolder());
  Doc doc(settings.Supported());
  EXPECT_EQ(doc.Count(u"//AutoCrop"), 2);
  EXPECT_EQ(doc.Count(u"//Rotations"), 2);
  EXPECT_EQ(doc.Count(u"//Blur"), 6);
  EXPECT_EQ(doc.Count(u"//*[@OverScan='Auto']"), 24);
}

TEST_F(ApplyNvDataTest, SwitchedOffSettingsAreRemoved) {
  struct Case {
    HwProp key;
    HwipSwitch which;
    std::vector<const char16_t*> gone;  // paths that select nothing afterwards
  };
  const Case cases[] = {
      {HwProp::HWIP_ACD, kHWIP_ACD, {u"//AutoColor"}},
      {HwProp::HWIP_BPD, kHWIP_BPD, {u"//DiscardBlankPages"}},
      {HwProp::HWIP_CropDeskew, kHWIP_CropDeskew, {u"//AutoCrop", u"//Straighten", u"//*[@OverScan]"}},
      {HwProp::HWIP_TextEnhancement, kHWIP_TextEnhancement, {u"//TextEnhanced"}},
      {HwProp::HWIP_Moire, kHWIP_Moire, {u"//Blur"}},
      {HwProp::HWIP_Rotate, kHWIP_Rotate, {u"//Rotations"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.which));
    rzd::test::ScopedRoot root;
    ASSERT_TRUE(HwPropsFile(u"M48tz").WriteInt(c.key, 0));
    TestSettings settings;
    ASSERT_TRUE(settings.InitDefault());
    for (size_t i = 0; i < kHwipSwitchCount; ++i) EXPECT_EQ(settings.m_HWIP[i], i == c.which ? 0 : 1) << i;
    Doc supported(settings.Supported());
    Doc current(settings.Current());
    for (const char16_t* path : c.gone) {
      EXPECT_FALSE(supported.Has(path)) << U8(path);
      EXPECT_FALSE(current.Has(path)) << U8(path);
    }
    // The rest of the description is still there.
    EXPECT_EQ(supported.Count(u"//Item[@Name='Stream']"), 6);
    EXPECT_TRUE(supported.Has(u"//BlurRadius"));
    EXPECT_TRUE(supported.Has(u"//ImageFilters"));
  }
}

TEST_F(ApplyNvDataTest, SwitchedOffEnumerationsKeepOnlyTheirPlainValue) {
  TestSettings settings;
  ASSERT_TRUE(settings.InitDefault());
  for (size_t i = 0; i < kHwipSwitchCount; ++i) settings.m_HWIP[i] = 1;
  settings.m_HWIP[kHWIP_BDR] = 0;
  settings.m_HWIP[kHWIP_Filter] = 0;
  settings.m_HWIP[kHWIP_ColorDropout] = 0;
  settings.m_HWIP[kHWIP_RB] = 0;
  settings.m_HWIP[kHWIP_WFP] = 0;
  const std::u16string xml =
      u"<Scanner><S ID=\"1\">"
      u"<BitDepthReductions><Enum><Value IsCurrent=\"true\">ErrorDiffusion</Value><Value IsDefault=\"true\">Bayer</Value>"
      u"<Value>Threshold</Value><Value>Halftone</Value></Enum></BitDepthReductions>"
      u"<ImageFilters><Enum><Value>None</Value><Value IsCurrent=\"true\" IsDefault=\"true\">Blur</Value></Enum></ImageFilters>"
      u"<Filters><Enum><Value IsCurrent=\"true\" IsDefault=\"true\">Red</Value><Value>Green</Value></Enum></Filters>"
      u"<BackgroundRemoval><Enum><Value IsCurrent=\"true\" IsDefault=\"true\">On</Value></Enum></BackgroundRemoval>"
      u"<P><WhiteFromPaper/></P>"
      u"</S><S ID=\"2\">"
      u"<BitDepthReductions><Enum><Value IsCurrent=\"true\" IsDefault=\"true\">Threshold</Value><Value>Bayer</Value></Enum></BitDepthReductions>"
      u"</S></Scanner>";
  Doc doc(Apply(settings, xml));
  EXPECT_EQ(doc.Texts(u"//S[@ID='1']/BitDepthReductions/Enum/Value[@IsCurrent='true'][@IsDefault='true']"),
            std::vector<std::u16string>{u"Threshold"});
  EXPECT_EQ(doc.Count(u"//S[@ID='1']/BitDepthReductions/Enum/Value"), 1);
  EXPECT_EQ(doc.Texts(u"//S[@ID='2']/BitDepthReductions/Enum/Value[@IsCurrent='true'][@IsDefault='true']"),
            std::vector<std::u16string>{u"Threshold"});
  EXPECT_EQ(doc.Count(u"//S[@ID='2']/BitDepthReductions/Enum/Value"), 1);
  EXPECT_EQ(doc.Texts(u"//ImageFilters/Enum/Value[@IsCurrent='true'][@IsDefault='true']"),
            std::vector<std::u16string>{u"None"});
  EXPECT_EQ(doc.Count(u"//ImageFilters/Enum/Value"), 1);
  // Filters had no None: it gets one, the one current value.
  EXPECT_EQ(doc.Texts(u"//Filters/Enum/Value"), std::vector<std::u16string>{u"None"});
  EXPECT_EQ(doc.Attr(u"//Filters/Enum/Value", u"IsCurrent"), u"true");
  EXPECT_FALSE(doc.Has(u"//BackgroundRemoval"));
  EXPECT_FALSE(doc.Has(u"//WhiteFromPaper"));
  EXPECT_TRUE(doc.Has(u"//P"));
}

// Each switch removes exactly its own settings: a document carrying every setting a switch can
// remove, with one switch off at a time.
TEST_F(ApplyNvDataTest, EverySwitchRemovesItsOwnSettings) {
  const std::vector<std::u16string> plain = {
      u"AutoColor",     u"DiscardBlankPages", u"TransferBlankPages",          u"AutoCrop",
      u"Straighten",    u"Despeckle",         u"ImageEmphasis",               u"BackgroundRemoval",
      u"SmoothBackground", u"WhiteFromPaper", u"AutoSeparationCharBrightness", u"TextEnhanced",
      u"AutoBrightness", u"Blur",             u"Rotations",                   u"AlternateSides"};
  std::u16string xml = u"<Scanner><S>";
  for (const std::u16string& name : plain) xml += u"<" + name + u"/>";
  xml +=
      u"<BitDepthReductions><Enum><Value IsCurrent=\"true\" IsDefault=\"true\">Bayer</Value><Value>Threshold</Value>"
      u"</Enum></BitDepthReductions>"
      u"<ImageFilters><Enum><Value IsCurrent=\"true\" IsDefault=\"true\">Sharpen</Value><Value>None</Value></Enum>"
      u"</ImageFilters>"
      u"<Filters><Enum><Value IsCurrent=\"true\" IsDefault=\"true\">Red</Value><Value>None</Value></Enum></Filters>"
      u"<Frame><Top OverScan=\"Auto\">0</Top><Left OverScan=\"On\">0</Left><Width OverScan=\"Off\">8500</Width>"
      u"</Frame></S></Scanner>";

  struct Case {
    HwipSwitch which;
    std::vector<std::u16string> removed;  // plain settings that go
    const char16_t* reduced;              // the enumeration reduced to one value (or null)
    const char16_t* kept;                 // the value it keeps
    bool overscanGone;                    // the OverScan "On"/"Auto" attributes go
  };
  const Case cases[] = {
      {kHWIP_ACD, {u"AutoColor"}, nullptr, nullptr, false},
      {kHWIP_BDR, {}, u"BitDepthReductions", u"Threshold", false},
      {kHWIP_Filter, {}, u"ImageFilters", u"None", false},
      {kHWIP_CropDeskew, {u"AutoCrop", u"Straighten"}, nullptr, nullptr, true},
      {kHWIP_Despeckle, {u"Despeckle"}, nullptr, nullptr, false},
      {kHWIP_IE, {u"ImageEmphasis"}, nullptr, nullptr, false},
      {kHWIP_RB, {u"BackgroundRemoval"}, nullptr, nullptr, false},
      {kHWIP_Rotate, {u"Rotations", u"AlternateSides"}, nullptr, nullptr, false},
      {kHWIP_BPD, {u"DiscardBlankPages"}, nullptr, nullptr, false},
      {kHWIP_BPD_MODE2, {u"TransferBlankPages"}, nullptr, nullptr, false},
      {kHWIP_SB, {u"SmoothBackground"}, nullptr, nullptr, false},
      {kHWIP_ColorDropout, {}, u"Filters", u"None", false},
      {kHWIP_WFP, {u"WhiteFromPaper"}, nullptr, nullptr, false},
      {kHWIP_TextBrightness, {u"AutoSeparationCharBrightness"}, nullptr, nullptr, false},
      {kHWIP_TextEnhancement, {u"TextEnhanced"}, nullptr, nullptr, false},
      {kHWIP_Autobrightness, {u"AutoBrightness"}, nullptr, nullptr, false},
      {kHWIP_Moire, {u"Blur"}, nullptr, nullptr, false},
  };
  static_assert(std::size(cases) == kHwipSwitchCount);

  TestSettings settings;
  ASSERT_TRUE(settings.InitDefault());
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.which));
    for (uint8_t& s : settings.m_HWIP) s = 1;
    settings.m_HWIP[c.which] = 0;
    BOOL ok = FALSE;
    Doc doc(Apply(settings, xml, &ok));
    ASSERT_TRUE(ok);
    for (const std::u16string& name : plain) {
      const bool gone = std::find(c.removed.begin(), c.removed.end(), name) != c.removed.end();
      EXPECT_EQ(doc.Has(u"//" + name), !gone) << U8(name);
    }
    for (const char16_t* name : {u"BitDepthReductions", u"ImageFilters", u"Filters"}) {
      const std::u16string values = u"//" + std::u16string(name) + u"/Enum/Value";
      if (c.reduced != nullptr && std::u16string_view(name) == c.reduced) {
        EXPECT_EQ(doc.Texts(values), std::vector<std::u16string>{c.kept}) << U8(name);
        EXPECT_EQ(doc.Count(values + u"[@IsCurrent='true'][@IsDefault='true']"), 1) << U8(name);
      } else {
        EXPECT_EQ(doc.Count(values), 2) << U8(name);
      }
    }
    EXPECT_EQ(doc.Count(u"//Frame/*[@OverScan]"), c.overscanGone ? 1 : 3);
    EXPECT_EQ(doc.Attr(u"//Frame/Width", u"OverScan"), u"Off");
  }
}

// HWProps.ini: any value other than 0 allows the settings, a missing key counts as 1.
TEST_F(ApplyNvDataTest, SwitchValuesFromTheIniFile) {
  const HwPropsFile file(u"M48tz");
  ASSERT_TRUE(file.WriteInt(HwProp::HWIP_ACD, 2));
  ASSERT_TRUE(file.WriteInt(HwProp::HWIP_BDR, -1));
  ASSERT_TRUE(file.WriteInt(HwProp::HWIP_Rotate, 0));
  ASSERT_TRUE(file.WriteInt(HwProp::HWIP_Moire, 1));
  TestSettings settings;
  ASSERT_TRUE(settings.InitDefault());
  for (size_t i = 0; i < kHwipSwitchCount; ++i) EXPECT_EQ(settings.m_HWIP[i], i == kHWIP_Rotate ? 0 : 1) << i;
  Doc doc(settings.Supported());
  EXPECT_FALSE(doc.Has(u"//Rotations"));
  EXPECT_EQ(doc.Count(u"//AutoColor"), 2);
  EXPECT_EQ(doc.Count(u"//Blur"), 6);
}

// ---- Colour-correction files of the model folder.
TEST_F(ApplyNvDataTest, ColourCorrectionFilesAreListed) {
  std::filesystem::create_directories(ModelFolder());
  {
    TestSettings settings;
    ASSERT_TRUE(settings.InitDefault());
    Doc doc(settings.Supported());
    EXPECT_EQ(doc.Texts(u"/Scanner/ColorCorrection/Enum/Value"), std::vector<std::u16string>{u"None"});
  }
  for (const char* name : {"ColorQA_Office.xml", "ColorQA_Bright.xml", "colorqa_low.XML", "Other.xml", "ColorQA.txt"})
    std::ofstream(ModelFolder() / name) << "<x/>";
  std::filesystem::create_directories(ModelFolder() / "ColorQA_Folder.xml");

  TestSettings settings;
  ASSERT_TRUE(settings.InitDefault());
  Doc doc(settings.Supported());
  EXPECT_EQ(doc.Texts(u"/Scanner/ColorCorrection/Enum/Value"),
            (std::vector<std::u16string>{u"None", u"ColorQA_Bright", u"ColorQA_Office", u"colorqa_low"}));
  EXPECT_EQ(doc.Texts(u"/Scanner/ColorCorrection/Enum/Value[@IsCurrent='true'][@IsDefault='true']"),
            std::vector<std::u16string>{u"None"});
  EXPECT_EQ(Doc(settings.Current()).Texts(u"/Scanner/ColorCorrection/Enum/Value"), std::vector<std::u16string>{u"None"});

  // A description without the setting gets it, with its first file current.
  Doc made(Apply(settings, u"<Scanner><HardwareSettings/></Scanner>"));
  EXPECT_EQ(made.Count(u"/Scanner/ColorCorrection/Enum/Value"), 3);
  EXPECT_EQ(made.Texts(u"/Scanner/ColorCorrection/Enum/Value[@IsCurrent='true'][@IsDefault='true']"),
            std::vector<std::u16string>{u"ColorQA_Bright"});
}

}  // namespace
}  // namespace rzd::lowdrv::test
