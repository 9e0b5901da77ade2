// The settings documents and their life: Init, Reset, the current document, the walk that reduces
// the supported document to its current entries, and the DisableButtons rule.
#include "documents_fixture.h"
#include "platform/registry.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <type_traits>

namespace rzd::lowdrv::test {
namespace {

class SettingsDocumentsTest : public rzd::test::TempRoot {
 protected:
  static void SetDisableButtons(uint32_t value) {
    RegKey key;
    ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"Software\\Corvanite\\M48tz", &key), ERROR_SUCCESS);
    ASSERT_EQ(key.SetDword(u"DisableButtons", value), ERROR_SUCCESS);
  }
};

// ---- RemoveNonCurrentItems on small documents.
struct WalkCase {
  const char* name;
  const char16_t* input;
  const char16_t* expected;  // the document after the walk from the root
  bool emptied;
};

TEST_F(SettingsDocumentsTest, RemoveNonCurrentItemsKeepsCurrentSetAndSetupEntries) {
  const WalkCase cases[] = {
      {"node without children", u"<S/>", u"<S/>", false},
      {"text only", u"<S>abc</S>", u"<S>abc</S>", false},
      {"enum keeps its current value",
       u"<S><A><Enum><Value IsDefault=\"true\">1</Value><Value IsCurrent=\"true\">2</Value><Value>3</Value></Enum></A></S>",
       u"<S><A><Enum><Value IsCurrent=\"true\">2</Value></Enum></A></S>", false},
      {"list keeps set and setup items",
       u"<S><L><List><Item ID=\"a\"/><Item ID=\"b\" IsSet=\"true\"/><Item ID=\"c\" Usage=\"Setup\"/>"
       u"<Item ID=\"d\" Usage=\"Poll\"/><Item ID=\"e\" IsSet=\"false\"/></List></L></S>",
       u"<S><L><List><Item ID=\"b\" IsSet=\"true\"/><Item ID=\"c\" Usage=\"Setup\"/></List></L></S>", false},
      {"an emptied setting goes, and so does its emptied parent",
       u"<S><P><L><List><Item ID=\"a\"/></List></L></P></S>", u"<S/>", true},
      {"an enum without a current value goes with its setting",
       u"<S><K>text</K><A><Enum><Value>1</Value></Enum></A></S>", u"<S><K>text</K></S>", false},
      {"kept items are walked",
       u"<S><List><Item ID=\"x\" IsSet=\"true\"><M><Enum><Value>1</Value><Value IsCurrent=\"true\">2</Value></Enum></M>"
       u"<N><List><Item ID=\"y\"/></List></N></Item></List></S>",
       u"<S><List><Item ID=\"x\" IsSet=\"true\"><M><Enum><Value IsCurrent=\"true\">2</Value></Enum></M></Item></List></S>",
       false},
      {"names compare with case",
       u"<S><list><Item ID=\"a\"/></list><ENUM><Value>1</Value></ENUM></S>",
       u"<S><list><Item ID=\"a\"/></list><ENUM><Value>1</Value></ENUM></S>", false},
      {"IsCurrent other than true does not keep",
       u"<S><A><Enum><Value IsCurrent=\"True\">1</Value><Value IsCurrent=\"true\">2</Value></Enum></A></S>",
       u"<S><A><Enum><Value IsCurrent=\"true\">2</Value></Enum></A></S>", false},
      {"comments stay",
       u"<S><!-- note --><A><Enum><Value>1</Value></Enum></A></S>", u"<S><!-- note --></S>", false},
  };
  TestSettings settings;
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(c.name);
    MSXML6StoreBSTR store;
    ASSERT_TRUE(store.LoadFromString(c.input));
    ASSERT_TRUE(store.SelectRoot());
    bool emptied = !c.emptied;
    ASSERT_TRUE(settings.RemoveNonCurrentItems(store, &emptied));
    EXPECT_EQ(emptied, c.emptied);
    Bstr xml;
    ASSERT_TRUE(store.GetDocumentXML(xml));
    EXPECT_EQ(U8(xml.View()), U8(c.expected));
    // The store stands where the walk began.
    Bstr name;
    ASSERT_TRUE(store.GetNodeName(name));
    EXPECT_EQ(name.View(), u"S");
  }
}

// ---- The current document of the description.
TEST_F(SettingsDocumentsTest, CurrentDocumentKeepsTheSetAndSetupPartsOfTheDescription) {
  TestSettings settings;
  ASSERT_TRUE(settings.InitDefault());
  ASSERT_EQ(settings.converted.size(), 1u);
  const std::u16string current = settings.Current();
  EXPECT_EQ(settings.converted.back(), current);  // the converted text is the held one
  Doc doc(current);
  ASSERT_TRUE(doc.Loaded());

  // Ultrasonic (Usage Setup) stays with its values; the polled sensors go.
  const std::u16string sensors = u"/Scanner/DocumentSources/List/Item[@ID='ADF']/Sensors/List/Item";
  EXPECT_EQ(doc.Count(sensors), 1);
  EXPECT_EQ(doc.Attr(sensors, u"ID"), u"Ultrasonic");
  EXPECT_EQ(doc.Texts(sensors + u"/IsEnabled/Enum/Value"), std::vector<std::u16string>{u"Off"});
  EXPECT_EQ(doc.Texts(sensors + u"/Action/Enum/Value"), std::vector<std::u16string>{u"StopAndContinue"});
  EXPECT_FALSE(doc.Has(u"//Item[@ID='PaperPresentADF']"));
  EXPECT_FALSE(doc.Has(u"//Item[@ID='Cover1']"));
  // Unset streams, indicators, buttons, the unset imprinter and the limits go.
  for (const char16_t* id : {u"Gray1", u"Mono1", u"Gray2", u"Mono2", u"Segment1", u"Button2", u"Button9", u"Imprinter1"})
    EXPECT_FALSE(doc.Has(u"//Item[@ID='" + std::u16string(id) + u"']")) << U8(id);
  EXPECT_FALSE(doc.Has(u"//Limits"));
  EXPECT_FALSE(doc.Has(u"/Scanner/Indicators"));
  EXPECT_FALSE(doc.Has(u"/Scanner/Buttons"));
  EXPECT_FALSE(doc.Has(u"//LongDocDependent"));
  // Set items stay with their current values.
  for (const char16_t* id : {u"ADF", u"Front1", u"Back1", u"Color1", u"Color2"})
    EXPECT_TRUE(doc.Has(u"//Item[@ID='" + std::u16string(id) + u"'][@IsSet='true']")) << U8(id);
  EXPECT_EQ(doc.Texts(u"//Item[@ID='Color1']/Resolutions/Enum/Value"), std::vector<std::u16string>{u"300"});
  EXPECT_EQ(doc.Text(u"//Item[@ID='Color1']/Format/CompressionRatio/Range/Value"), u"80");
  EXPECT_EQ(doc.Count(u"//Item[@ID='Color2']/ImageQuality/Brightness"), 4);
  // Everything outside lists and enumerations stays.
  EXPECT_EQ(doc.Text(u"/Scanner/SupportedLanguages"), u"REFIGSCT");
  EXPECT_EQ(doc.Text(u"/Scanner/HardwareSettings/SerialNumber"), u"SN0012345");
  EXPECT_EQ(doc.Text(u"//Item[@ID='ADF']/DuplexType"), u"SinglePass");
  EXPECT_EQ(doc.Attr(u"//Item[@ID='Color1']/Frame/Width", u"OverScan"), u"Auto");
  // The supported document still has all of it.
  Doc supported(settings.Supported());
  EXPECT_TRUE(supported.Has(u"//Item[@ID='PaperPresentADF']"));
  EXPECT_EQ(supported.Count(u"//Limits"), 1);
}

TEST_F(SettingsDocumentsTest, DocumentsBeforeAndAfterInit) {
  CRZDScannerSettingsBase::SetInquiryCopy(ReduzidInq{});
  CRZDScannerSettingsBase::SetSettingsInitialised(false);
  TestSettings settings;
  EXPECT_EQ(settings.GetSupported(), nullptr);  // no valid engine records
  EXPECT_EQ(settings.GetCurrent(), nullptr);
  EXPECT_FALSE(settings.UpdateCurrent());
  EXPECT_FALSE(CRZDScannerSettingsBase::IsSettingsInitialised());

  ASSERT_TRUE(settings.InitDefault());
  EXPECT_TRUE(CRZDScannerSettingsBase::IsSettingsInitialised());
  BSTR first = settings.GetCurrent();
  BSTR second = settings.GetCurrent();
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first, second);  // each caller gets its own copy
  EXPECT_EQ(BstrView(first), BstrView(second));
  SysFreeString(first);
  SysFreeString(second);
  const std::u16string supported = settings.Supported();
  EXPECT_EQ(supported.substr(0, 9), u"<Scanner ");

  // Records that are not valid (no born day): the supported document is withheld.
  ReduzidNVMData unborn = FixtureNVM();
  unborn.BornDay = 0;
  CRZDScannerSettingsBase::SetNVMDataCopy(unborn);
  EXPECT_EQ(settings.GetSupported(), nullptr);
  EXPECT_FALSE(settings.UpdateCurrent());
}

TEST_F(SettingsDocumentsTest, InitFailsWithRecordsThatAreNotValid) {
  SettingsLogCapture log;
  for (int variant = 0; variant < 2; ++variant) {
    TestSettings settings;
    ReduzidInq inq = FixtureInquiry();
    ReduzidNVMData nvm = FixtureNVM();
    if (variant == 0) inq.ProductQualifier = 0;
    else nvm.BornDay = 0;
    EXPECT_FALSE(settings.InitWith(inq, nvm));
    EXPECT_EQ(settings.GetCurrent(), nullptr);
    EXPECT_TRUE(settings.converted.empty());
  }
  EXPECT_TRUE(log.Contains(u"Reset failed because UpdateCurrent() failed"));
  EXPECT_TRUE(log.Contains(u"Init failed because Reset() failed"));
}

// ---- A failed Reset leaves the supported and current documents as they were.
TEST_F(SettingsDocumentsTest, FailedResetKeepsThePreviousDocuments) {
  SettingsLogCapture log;
  TestSettings settings;
  FakeEngineLink link;
  ASSERT_TRUE(settings.InitDefault(&link));
  const std::u16string supported = settings.Supported();
  const std::u16string current = settings.Current();
  const uint8_t flag = settings.m_bFeederAndFlatbed;

  // ApplyNvData fails after it changed the scratch document.
  settings.failApplyAfterWork = true;
  EXPECT_FALSE(settings.Reset());
  EXPECT_TRUE(log.Contains(u"Reset failed because ApplyNvData() failed"));
  EXPECT_EQ(settings.Supported(), supported);
  EXPECT_EQ(settings.Current(), current);
  EXPECT_EQ(settings.Supported().find(u"HalfAdapted"), std::u16string::npos);
  settings.failApplyAfterWork = false;

  // The conversion of the new current document fails.
  CRZDScannerSettingsBase::SetNVMDataCopy([] {
    ReduzidNVMData nvm = FixtureNVM();
    nvm.RollerCount = 999999;
    return nvm;
  }());
  settings.conversion = TestSettings::Conversion::Refuse;
  EXPECT_FALSE(settings.Reset());
  EXPECT_TRUE(log.Contains(u"UpdateCurrent failed because ConvertXmlToSettings failed"));
  EXPECT_TRUE(log.Contains(u"Reset failed because UpdateCurrent() failed"));
  EXPECT_EQ(settings.Supported(), supported);
  EXPECT_EQ(settings.Current(), current);
  EXPECT_EQ(settings.m_bFeederAndFlatbed, flag);

  // A failed UpdateCurrent alone keeps the held document too.
  EXPECT_FALSE(settings.UpdateCurrent());
  EXPECT_EQ(settings.Current(), current);

  // A description that is not there, or does not parse.
  settings.conversion = TestSettings::Conversion::Accept;
  settings.m_uSupportedResourceId = 9999;
  EXPECT_FALSE(settings.Reset());
  EXPECT_TRUE(log.Contains(u"Reset failed because CRZDBaseLLD::GetXMLfromResources(IDR_XML_SUPPORTED_SETTINGS) failed"));
  RegisteredDescription broken(9001, u"<Scanner><Unclosed></Scanner>");
  settings.m_uSupportedResourceId = 9001;
  EXPECT_FALSE(settings.Reset());
  EXPECT_TRUE(log.Contains(u"Reset failed because cannot parse IDR_XML_SUPPORTED_SETTINGS - <Scanner><Unclosed></Scanner>"));
  RegisteredDescription sourceless(9002, u"<Scanner><DocumentSources><List/></DocumentSources></Scanner>");
  settings.m_uSupportedResourceId = 9002;
  EXPECT_FALSE(settings.Reset());
  EXPECT_EQ(settings.Supported(), supported);
  EXPECT_EQ(settings.Current(), current);

  // And a Reset that works takes the new facts.
  settings.m_uSupportedResourceId = IDR_XML_SUPPORTED_SETTINGS;
  ASSERT_TRUE(settings.Reset());
  Doc doc(settings.Supported());
  EXPECT_EQ(doc.Text(u"//HardwareSettings/RollerScanCount"), u"999999");
}

// ---- DisableButtons: one of a feeder and a flatbed source stays.
// The description with a second document source of `type` before the feeder, and the document
// source mode FixedMultiSource current.
std::u16string TwoSourceDescription(std::u16string_view type) {
  std::u16string text = EmbeddedDescription();
  text = ReplaceOnce(text, u"<Value IsCurrent=\"true\" IsDefault=\"true\">SingleSource</Value>",
                     u"<Value>SingleSource</Value><Value IsCurrent=\"true\" IsDefault=\"true\">FixedMultiSource</Value>");
  const std::u16string second = u"<Item Name=\"DocumentSource\" ID=\"Second\" Type=\"" + std::u16string(type) +
                                u"\"><Limits><Width>8500</Width></Limits></Item>";
  return ReplaceOnce(text, u"<Item Name=\"DocumentSource\" ID=\"ADF\"", second + u"<Item Name=\"DocumentSource\" ID=\"ADF\"");
}

TEST_F(SettingsDocumentsTest, DisableButtonsKeepsOneOfTwoSources) {
  struct Case {
    const char* name;
    std::optional<uint32_t> disable;  // nullopt: no value
    const char16_t* secondType;        // nullptr: the description as carried
    bool adfStays, secondStays;
    uint8_t feederAndFlatbed;
  };
  const Case cases[] = {
      {"0x8000, one source: nothing changes", 0x8000, nullptr, true, false, 0},
      {"0x4000, one source: nothing changes", 0x4000, nullptr, true, false, 0},
      {"0x8000 with a flatbed: the feeder goes", 0x8000, u"Flatbed", false, true, 0},
      {"0x4000 with a flatbed: the flatbed goes", 0x4000, u"Flatbed", true, false, 0},
      {"0x4000 with a tray: the tray goes", 0x4000, u"Tray", true, false, 0},
      {"0xC000 keeps the flatbed", 0xC000, u"Flatbed", false, true, 0},
      {"0x4000 with a transparency unit: nothing to remove", 0x4000, u"Transparency", true, true, 3},
      {"bits outside the mask count for nothing", 0x3FFF, u"Flatbed", true, true, 3},
      {"no value", std::nullopt, u"Flatbed", true, true, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rzd::test::ScopedRoot root;
    if (c.disable) SetDisableButtons(*c.disable);
    std::optional<RegisteredDescription> description;
    TestSettings settings;
    if (c.secondType != nullptr) {
      description.emplace(9100, TwoSourceDescription(c.secondType));
      settings.m_uSupportedResourceId = 9100;
    }
    ASSERT_TRUE(settings.InitDefault());
    EXPECT_EQ(settings.ReadDisableButtons(), c.disable.value_or(0) & 0xC000);
    Doc doc(settings.Supported());
    EXPECT_EQ(doc.Has(u"//Item[@Name='DocumentSource'][@ID='ADF']"), c.adfStays);
    EXPECT_EQ(doc.Has(u"//Item[@Name='DocumentSource'][@ID='Second']"), c.secondStays);
    const bool removed = c.secondType != nullptr && !(c.adfStays && c.secondStays);
    if (removed) {
      EXPECT_FALSE(doc.Has(u"//DocumentSourceModes//Value[.='FixedMultiSource']"));
      EXPECT_EQ(doc.Texts(u"//DocumentSourceModes/Enum/Value[@IsCurrent='true'][@IsDefault='true']"),
                std::vector<std::u16string>{u"SingleSource"});
      EXPECT_EQ(doc.Count(u"//DocumentSourceModes/Enum/Value[@IsCurrent or @IsDefault]"), 1);
    } else if (c.secondType != nullptr) {
      EXPECT_EQ(doc.Text(u"//DocumentSourceModes/Enum/Value[@IsCurrent='true']"), u"FixedMultiSource");
    } else {
      EXPECT_EQ(doc.Text(u"//DocumentSourceModes/Enum/Value[@IsCurrent='true']"), u"SingleSource");
    }
    EXPECT_EQ(settings.m_bFeederAndFlatbed, c.feederAndFlatbed == 3 ? 1 : 0);
  }
}

TEST_F(SettingsDocumentsTest, FeederAndFlatbedFlagFromTheFirstTwoSources) {
  struct Case {
    const char16_t* secondType;
    uint8_t expected;
  };
  for (const Case& c : {Case{u"Flatbed", 1}, Case{u"Transparency", 1}, Case{u"Tray", 0}, Case{u"ADF", 0}}) {
    SCOPED_TRACE(U8(c.secondType));
    RegisteredDescription description(9200, TwoSourceDescription(c.secondType));
    TestSettings settings;
    settings.m_uSupportedResourceId = 9200;
    ASSERT_TRUE(settings.InitDefault());
    EXPECT_EQ(settings.m_bFeederAndFlatbed, c.expected);
  }
}

TEST_F(SettingsDocumentsTest, ImageSourceIdsFollowTheSelection) {
  TestSettings settings;
  settings.m_Primary.ImageSourceID = u"ADF";
  settings.m_Alternate.ImageSourceID = u"Flatbed";
  settings.m_Third.ImageSourceID = u"RearTray";
  EXPECT_EQ(settings.GetImageSourceID(), u"ADF");
  EXPECT_EQ(settings.GetCurrentImageSourceID(), u"ADF");
  settings.m_bAlternateSelected = 1;
  EXPECT_EQ(settings.GetImageSourceID(), u"Flatbed");
  EXPECT_EQ(settings.GetCurrentImageSourceID(), u"Flatbed");
  settings.m_bThirdSelected = 1;
  EXPECT_EQ(settings.GetImageSourceID(), u"Flatbed");
  EXPECT_EQ(settings.GetCurrentImageSourceID(), u"RearTray");
}

// The driver holds the leaf through its base; deleting it there must run every destructor.
static_assert(std::has_virtual_destructor_v<CRZDScannerSettingsBase>);
static_assert(std::has_virtual_destructor_v<CScannerSettings_AV>);

TEST_F(SettingsDocumentsTest, DeletedThroughTheBasePointer) {
  // A leaf below the model's class that reports its own destruction.
  class CountedSettings : public TestSettings {
   public:
    explicit CountedSettings(int* destroyed) : destroyed_(destroyed) {}
    ~CountedSettings() override { ++*destroyed_; }

   private:
    int* destroyed_;
  };
  int destroyed = 0;
  std::unique_ptr<CRZDScannerSettingsBase> settings = std::make_unique<CountedSettings>(&destroyed);
  ASSERT_TRUE(static_cast<CountedSettings*>(settings.get())->InitDefault());
  settings.reset();
  EXPECT_EQ(destroyed, 1);
}

// The operations keep their order: the mix-in's 15, then 15-22 of the base, then 23-26 of the
// family class, each in the next slot of the virtual table; the model's class overrides 21, 24
// and 26 in place. (A pointer to a virtual member holds 1 + its slot's byte offset in the
// virtual table under the Itanium C++ ABI that GCC and Clang use here.)
template <class Member>
std::ptrdiff_t Slot(Member member) {
  static_assert(sizeof(Member) == 2 * sizeof(uintptr_t));
  uintptr_t words[2];
  std::memcpy(words, &member, sizeof words);
  EXPECT_EQ(words[0] % 2, 1u) << "not a virtual member";
  return static_cast<std::ptrdiff_t>((words[0] - 1) / sizeof(void*));
}

TEST_F(SettingsDocumentsTest, OperationsKeepTheirOrder) {
  const std::ptrdiff_t mixin[] = {
      Slot(&CLogClient::SetLogObject2),    Slot(&CLogClient::_LogFmtError),      Slot(&CLogClient::_LogFmtWarn),
      Slot(&CLogClient::_LogFmtInfo),      Slot(&CLogClient::_LogDataFmtError),  Slot(&CLogClient::_LogDataFmtWarn),
      Slot(&CLogClient::_LogDataFmtInfo),  Slot(&CLogClient::_getFeatureFlag),   Slot(&CLogClient::_getDataFlag),
      Slot(&CLogClient::GetLogObject),     Slot(&CLogClient::GetFeatureName),    Slot(&CLogClient::GetDataFeatureName),
      Slot(&CLogClient::_LogLargeFile),    Slot(&CLogClient::_LogDataFile),      Slot(&CLogClient::_LogDataFileXML)};
  const std::ptrdiff_t operations[] = {
      Slot(&CRZDScannerSettingsBase::IsScannerCfgValid),        // 15
      Slot(&CRZDScannerSettingsBase::ConvertXmlToSettings),     // 16
      Slot(&CRZDScannerSettingsBase::SettingsHookA),            // 17
      Slot(&CRZDScannerSettingsBase::SetNvPowerSavingTime),     // 18
      Slot(&CRZDScannerSettingsBase::SetNvPowerOffTime),        // 19
      Slot(&CRZDScannerSettingsBase::SetNvERPTime),             // 20
      Slot(&CRZDScannerSettingsBase::ApplyNvData),              // 21
      Slot(&CRZDScannerSettingsBase::IsGammaTable512),          // 22
      Slot(&CScannerSettings_AV::SettingsHookB),                // 23
      Slot(&CScannerSettings_AV::GetCurrentForSource),          // 24
      Slot(&CScannerSettings_AV::ConvertXmlToImprinterParam),   // 25
      Slot(&CScannerSettings_AV::ConvertXmlToSettingsForSource) // 26
  };
  for (size_t i = 1; i < std::size(mixin); ++i) EXPECT_EQ(mixin[i], mixin[0] + static_cast<std::ptrdiff_t>(i)) << i;
  for (size_t i = 0; i < std::size(operations); ++i) {
    EXPECT_EQ(operations[i], mixin[0] + 15 + static_cast<std::ptrdiff_t>(i)) << "operation " << 15 + i;
  }
  // Overrides stay in the slots they override.
  EXPECT_EQ(Slot(&CScannerSettings_AV::ApplyNvData), operations[21 - 15]);
  EXPECT_EQ(Slot(&CScannerSettings_AV::IsGammaTable512), operations[22 - 15]);
  EXPECT_EQ(Slot(&CM48tzScannerSettings::ApplyNvData), operations[21 - 15]);
  EXPECT_EQ(Slot(&CM48tzScannerSettings::GetCurrentForSource), operations[24 - 15]);
  EXPECT_EQ(Slot(&CM48tzScannerSettings::ConvertXmlToSettingsForSource), operations[26 - 15]);
}

// The values every settings object starts with, before the model driver writes its own: the
// frame parameters of the base, the family's limits and the options other parts read (their
// defaults are recorded in docs/decisions.md).
TEST_F(SettingsDocumentsTest, ConstructionDefaults) {
  CScannerSettings_AV family;
  EXPECT_EQ(family.m_lMaxLongLength, 14000);
  EXPECT_EQ(family.m_lOverScanMargin, 500);
  EXPECT_EQ(family.m_lFrontTruncLen, 400);
  EXPECT_EQ(family.m_lBackTruncLen, 200);
  EXPECT_EQ(family.m_bNetworkData, 0);
  EXPECT_EQ(family.m_strDriverVersion, u"X, X, X, X");
  EXPECT_EQ(family.m_strTwainDSVersion, u"X, X, X, X");
  EXPECT_EQ(family.m_uSupportedResourceId, 110u);
  EXPECT_EQ(family.m_bAlternateDefined + family.m_bThirdDefined + family.m_bAlternateSelected +
                family.m_bThirdSelected + family.m_bFeederAndFlatbed,
            0);
  EXPECT_EQ(family.GetCurrent(), nullptr);
  for (size_t i = 0; i < kHwipSwitchCount; ++i) EXPECT_EQ(family.m_HWIP[i], 1) << i;
  EXPECT_EQ(family.m_ulAlignA1, 1u);
  EXPECT_EQ(family.m_ulAlignA2, 1u);
  EXPECT_EQ(family.m_ulAlignA3, 8u);
  EXPECT_EQ(family.m_ulAlignA4, 8u);
  EXPECT_EQ(family.m_byVSPLength, 24);
  EXPECT_EQ(family.m_wHalftone, 127);
  EXPECT_EQ(family.m_byJpegQualityMax, 92);
  EXPECT_EQ(family.m_byJpegQualityMin, 24);
  // The options other parts read.
  EXPECT_EQ(family.m_bWidthFlag, 0);
  EXPECT_EQ(family.m_bThreeSensor, 0);
  EXPECT_EQ(family.m_byDFDSensorLeft, 1);
  EXPECT_EQ(family.m_byDFDSensorCenter, 1);
  EXPECT_EQ(family.m_byDFDSensorRight, 1);
  EXPECT_EQ(family.m_bUltrasonicOption, 0);
  EXPECT_EQ(family.m_bDFDResetOption, 0);
  EXPECT_EQ(family.m_bMediaStatusOverride, 0);
  EXPECT_EQ(family.m_bShortImprFlags, 0);
  EXPECT_EQ(family.m_bCanUpdateFirmware, 0);
  EXPECT_FALSE(family.ImprinterOptionOn());
  EXPECT_FALSE(family.ImprinterCleaningOn());
  EXPECT_TRUE(family.m_ImprParam.strText.empty());
  EXPECT_TRUE(family.m_ImprParam.strFileName.empty());
  EXPECT_EQ(family.CRZDScannerSettingsBase::IsGammaTable512(), FALSE);

  // The model's class differs only in its DFD reset option.
  CM48tzScannerSettings model;
  EXPECT_EQ(model.m_bDFDResetOption, 1);
  EXPECT_EQ(model.m_byJpegQualityMax, 92);
  EXPECT_EQ(model.m_bWidthFlag, 0);
  EXPECT_EQ(model.m_bThreeSensor, 0);
}

}  // namespace
}  // namespace rzd::lowdrv::test
