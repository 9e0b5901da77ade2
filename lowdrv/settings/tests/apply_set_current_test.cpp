// SetCurrent on the model's settings object with the embedded device description: accepted and
// adjusted documents reach both settings documents; refused documents leave the documents, the
// window descriptions and the NVRAM time-outs exactly as they were.
#include "documents_fixture.h"

#include <cstring>

namespace rzd::lowdrv::test {
namespace {

const std::u16string kColor = u"//Item[@ID='Color1']";
const std::u16string kQuality = kColor + u"/ImageQuality";
const std::u16string kMainBrightness = kQuality + u"/Brightness[@DependsOnValue='Main']/Range/Value";
const std::u16string kMainGamma = kQuality + u"/GammaCorrection[@DependsOnValue='Main']/Range/Value";
const std::u16string kSleep = u"//SleepTimeout/Range/Value";
const std::u16string kOff = u"//OffTimeout/Range/Value";

// `xml` with the text (or an attribute) of the node `path` selects replaced.
std::u16string WithText(std::u16string_view xml, std::u16string_view path, std::u16string_view text) {
  Doc doc(xml);
  EXPECT_TRUE(doc.Store().SelectNode(path)) << U8(path);
  EXPECT_TRUE(doc.Store().SetText(text));
  std::u16string out;
  doc.Store().GetDocumentXML(out);
  return out;
}
// The current document with resolution 600 chosen for the colour stream.
std::u16string With600(std::u16string_view current) {
  // The current document holds only the current value; the client names another supported one.
  return WithText(current, kColor + u"/Resolutions/Enum/Value", u"600");
}

// A settings object whose conversion works on the real documents and can be told to refuse a
// document after it has written the window descriptions (a conversion failing half way).
class ConvertingSettings : public TestSettings {
 public:
  ConvertingSettings() { conversion = Conversion::Real; }
  BOOL ConvertXmlToSettings(std::u16string_view text) override {
    BOOL ok = TestSettings::ConvertXmlToSettings(text);
    if (refuse600 && text.find(u">600</Value>") != std::u16string_view::npos) return FALSE;
    return ok;
  }
  BOOL SettingsHookA(MSXML6StoreBSTR& incoming) override {
    ++hookCalls;
    Bstr xml;
    incoming.GetDocumentXML(xml);
    hookSaw = xml.Str();
    return FALSE;
  }
  bool refuse600 = false;
  int hookCalls = 0;
  std::u16string hookSaw;
};

class ApplySetCurrentTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override { ASSERT_TRUE(settings.InitDefault()); }
  ConvertingSettings settings;
};

TEST_F(ApplySetCurrentTest, AcceptedValuesReachBothDocuments) {
  struct Case {
    const char* name;
    std::u16string path;
    const char16_t* sent;
    uint32_t code;
    const char16_t* stored;
  };
  const Case cases[] = {
      {"brightness above the maximum", kMainBrightness, u"300", 0x800C, u"255"},
      {"brightness valid", kMainBrightness, u"77", 0, u"77"},
      {"gamma 0.6", kMainGamma, u"0.6", 0, u"0.6"},
      {"gamma 0.7", kMainGamma, u"0.7", 0, u"0.7"},
      {"gamma 1.2", kMainGamma, u"1.2", 0, u"1.2"},
      {"gamma 2.3", kMainGamma, u"2.3", 0, u"2.3"},
      {"gamma 3.9", kMainGamma, u"3.9", 0, u"3.9"},
      {"gamma off the step", kMainGamma, u"1.05", 0x800C, u"1.0"},
      {"frame length below the minimum", kColor + u"/Frame/Length", u"1000", 0x800C, u"2000"},
      {"frame left beyond the width", kColor + u"/Frame/Left", u"8000", 0x800C, u"0"},
      // This model's windows never invert: Off is the only value offered.
      {"invert off", kQuality + u"/Invert/Enum/Value", u"Off", 0, u"Off"},
      {"invert on is not offered", kQuality + u"/Invert/Enum/Value", u"On", 0x800C, u"Off"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(settings.Reset());
    const uint32_t code = settings.SetCurrent(WithText(settings.Current(), c.path, c.sent));
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(U8(Doc(settings.Supported()).Text(c.path)), U8(c.stored));
    EXPECT_EQ(U8(Doc(settings.Current()).Text(c.path)), U8(c.stored));
  }
}

TEST_F(ApplySetCurrentTest, ChosenResolutionReachesTheWindowDescription) {
  const uint16_t before = settings.m_Primary.Desc.XRes;
  EXPECT_EQ(before, 300);
  EXPECT_EQ(settings.SetCurrent(With600(settings.Current())), 0u);
  EXPECT_EQ(U8(Doc(settings.Current()).Text(kColor + u"/Resolutions/Enum/Value[@IsCurrent='true']")), "600");
  EXPECT_EQ(settings.m_Primary.Desc.XRes, 600);
}

TEST_F(ApplySetCurrentTest, RefusedDocumentsChangeNothing) {
  const std::u16string gammaRed = kQuality + u"/Gamma/EightBit/Red";
  struct Case {
    const char* name;
    std::u16string (*client)(const std::u16string& current);
    uint32_t code;
  };
  const Case cases[] = {
      {"a document that does not parse", [](const std::u16string&) { return std::u16string(u"<Scanner"); }, 0x8004},
      {"a range that is not a number",
       [](const std::u16string& cur) { return WithText(WithText(cur, kSleep, u"45"), kMainBrightness, u"bright"); },
       0x8004},
      {"an infinite range value",
       [](const std::u16string& cur) { return WithText(WithText(cur, kSleep, u"45"), kMainGamma, u"inf"); }, 0x8004},
      {"an enumeration without entries",
       [](const std::u16string& cur) {
         return ReplaceOnce(WithText(cur, kSleep, u"45"), u"<Value IsCurrent=\"true\" IsDefault=\"true\">300</Value>", u"");
       },
       0x8004},
      {"a gamma table that does not parse",
       [](const std::u16string& cur) {
         return WithText(WithText(cur, kSleep, u"45"), kQuality + u"/Gamma/EightBit/Red", u"0x00 0xZZ");
       },
       0x8006},
      {"a matrix that does not parse",
       [](const std::u16string& cur) {
         return WithText(WithText(cur, kSleep, u"45"), kQuality + u"/Matrix/TwelveBitMatrix", u"identity");
       },
       0x8006},
      {"a document the conversion refuses",
       [](const std::u16string& cur) { return With600(WithText(cur, kSleep, u"45")); }, 0x8002},
  };
  settings.refuse600 = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::u16string supported = settings.Supported();
    const std::u16string current = settings.Current();
    const RZDWindowDescription primary = settings.m_Primary;
    const ReduzidNVMData nvm = CRZDScannerSettingsBase::NVMDataCopy();
    const std::u16string client = c.client(current);

    EXPECT_EQ(settings.SetCurrent(client), c.code);
    EXPECT_EQ(settings.Supported(), supported);
    EXPECT_EQ(settings.Current(), current);
    EXPECT_EQ(std::memcmp(&settings.m_Primary.Desc, &primary.Desc, sizeof(primary.Desc)), 0);
    EXPECT_EQ(std::memcmp(settings.m_Primary.Gamma, primary.Gamma, sizeof(primary.Gamma)), 0);
    EXPECT_EQ(CRZDScannerSettingsBase::NVMDataCopy().PowerSavingTime, nvm.PowerSavingTime);
  }
  // The object still takes a good document afterwards.
  EXPECT_EQ(settings.SetCurrent(WithText(settings.Current(), kMainBrightness, u"100")), 0u);
}

TEST_F(ApplySetCurrentTest, BadSupportedDocumentIsAnInternalFailure) {
  // A description whose gamma range has a step of zero: the client's value cannot be checked.
  std::u16string description = EmbeddedDescription();
  ASSERT_FALSE(description.empty());
  description = ReplaceOnce(description, u"Minimum=\"0.5\" Maximum=\"4.0\" Step=\"0.1\"",
                            u"Minimum=\"0.5\" Maximum=\"4.0\" Step=\"0\"");
  RegisteredDescription registered(4242, description);
  ConvertingSettings bad;
  bad.m_uSupportedResourceId = 4242;
  ASSERT_TRUE(bad.InitDefault());
  const std::u16string supported = bad.Supported();
  const std::u16string current = bad.Current();
  EXPECT_EQ(bad.SetCurrent(WithText(current, kMainGamma, u"1.5")), 0x8002u);
  EXPECT_EQ(bad.Supported(), supported);
  EXPECT_EQ(bad.Current(), current);
}

TEST_F(ApplySetCurrentTest, TimeoutsReachTheNvramWithTheDocuments) {
  std::u16string client = WithText(WithText(settings.Current(), kSleep, u"45"), kOff, u"3");
  EXPECT_EQ(settings.SetCurrent(client), 0u);
  const ReduzidNVMData nvm = CRZDScannerSettingsBase::NVMDataCopy();
  EXPECT_EQ(uint16_t{nvm.PowerSavingTime}, 45);
  EXPECT_EQ(uint16_t{nvm.PowerOffTime}, 45);  // raised to the sleep time, without an adjustment
  EXPECT_EQ(U8(Doc(settings.Supported()).Text(kOff)), "45");
  EXPECT_EQ(U8(Doc(settings.Current()).Text(kSleep)), "45");
}

TEST_F(ApplySetCurrentTest, NetworkDataHookOnlyWithItsFlag) {
  SettingsLogCapture log;
  const std::u16string client = WithText(settings.Current(), kMainBrightness, u"90");
  EXPECT_EQ(settings.SetCurrent(client), 0u);
  EXPECT_EQ(settings.hookCalls, 0);

  settings.m_bNetworkData = 1;
  EXPECT_EQ(settings.SetCurrent(client), 0u);  // a refusing hook is only logged
  EXPECT_EQ(settings.hookCalls, 1);
  EXPECT_EQ(U8(Doc(settings.hookSaw).Text(kMainBrightness)), "90");
  EXPECT_TRUE(log.Contains(u"SetCurrent error : cannot set NetworkData value."));
}

TEST_F(ApplySetCurrentTest, FailuresAndSkipsAreLogged) {
  SettingsLogCapture log;
  std::u16string client = ReplaceOnce(settings.Current(), u"</Scanner>",
                                      u"<Ghost><Enum><Value IsCurrent=\"true\">1</Value></Enum></Ghost></Scanner>");
  EXPECT_EQ(settings.SetCurrent(client), 0u);
  EXPECT_TRUE(log.Contains(u"SetCurrent skipping /Scanner/Ghost/Enum"));

  EXPECT_EQ(settings.SetCurrent(WithText(settings.Current(), kMainBrightness, u"300")), 0x800Cu);
  EXPECT_TRUE(log.Contains(u"SetCurrent failed because of bad Range (value out of range)- /Scanner/"));

  EXPECT_EQ(settings.SetCurrent(u"<Scanner"), 0x8004u);
  EXPECT_TRUE(log.Contains(u"SetCurrent cannot parse strSettings"));
}

TEST_F(ApplySetCurrentTest, NodeChainOfTheClass) {
  MSXML6StoreBSTR store;
  ASSERT_TRUE(store.LoadFromString(u"<S><A ID='a\"1' DependsOnValue='Red'><B/></A></S>"));
  ASSERT_TRUE(store.SelectNode(u"/S/A/B"));
  std::u16string path;
  ASSERT_TRUE(CRZDScannerSettingsBase::GetCurrentNodeXPath(store, path));
  EXPECT_EQ(U8(path), "/S/A[@ID='a\"1'][@DependsOnValue=\"Red\"]/B");
}

}  // namespace
}  // namespace rzd::lowdrv::test
