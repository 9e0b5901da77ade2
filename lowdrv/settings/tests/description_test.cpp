// The device description (resource XML 110): its form, the rules it keeps as carried, and the
// rules the supported and current documents keep after Reset and UpdateCurrent with a unit's
// records.
#include "description_checks.h"

#include <functional>

namespace rzd::lowdrv::test {
namespace {

class DescriptionTest : public rzd::test::TempRoot {};

TEST_F(DescriptionTest, ResourceIsUtf16WithTheMarkAndNoDeclaration) {
  static const int anchor = 0;
  std::optional<std::span<const uint8_t>> bytes = FindResource(&anchor, u"xml", IDR_XML_SUPPORTED_SETTINGS);
  ASSERT_TRUE(bytes);
  ASSERT_GT(bytes->size(), 1000u);
  EXPECT_EQ((*bytes)[0], 0xFF);
  EXPECT_EQ((*bytes)[1], 0xFE);
  EXPECT_EQ(bytes->size() % 2, 0u);
  const std::u16string text = EmbeddedDescription();
  EXPECT_EQ(text.substr(0, 9), u"<Scanner ");
  EXPECT_EQ(text.find(u"<?xml"), std::u16string::npos);
  for (const char16_t* tag : {u"<Indicators xmlns=\"\">", u"<Buttons xmlns=\"\">", u"<DocumentSourceModes xmlns=\"\">",
                              u"<DocumentSources xmlns=\"\">", u"<Sensors xmlns=\"\">"}) {
    EXPECT_NE(text.find(tag), std::u16string::npos) << U8(tag);
  }
  EXPECT_NE(text.find(u"<!-- Keep ID name 'Button' + button number -->"), std::u16string::npos);
}

TEST_F(DescriptionTest, CarriedDescriptionKeepsEveryRule) {
  const std::vector<std::string> violations = DescriptionChecker(EmbeddedDescription(), DocKind::Resource).Run();
  EXPECT_TRUE(violations.empty()) << JoinViolations(violations);
}

// The checker itself: each broken copy of the description is caught by the rule it breaks.
TEST_F(DescriptionTest, CheckerCatchesBrokenDescriptions) {
  struct Case {
    const char* name;
    std::function<std::u16string(std::u16string)> breakIt;
    const char* rule;
  };
  const std::vector<Case> cases = {
      {"second current value", [](std::u16string t) { return ReplaceOnce(t, u"<Value>Single</Value>", u"<Value IsCurrent=\"true\">Single</Value>"); },
       "exactly one current value"},
      {"no default value", [](std::u16string t) { return ReplaceOnce(t, u"IsDefault=\"true\">Continuous", u">Continuous"); },
       "exactly one default value"},
      {"zero step", [](std::u16string t) { return ReplaceOnce(t, u"Step=\"1\" Default=\"30\"", u"Step=\"0\" Default=\"30\""); },
       "step is a number above zero"},
      {"missing maximum", [](std::u16string t) { return ReplaceOnce(t, u"Maximum=\"255\" Step=\"1\" Default=\"30\"", u"Step=\"1\" Default=\"30\""); },
       "Minimum, Maximum, Step and Default"},
      {"bad gamma token", [](std::u16string t) { return ReplaceOnce(t, u"0x7E 0x7F", u"0x7E 0x7G"); }, "256 tokens"},
      {"double space in gamma", [](std::u16string t) { return ReplaceOnce(t, u"0x7E 0x7F", u"0x7E  0x7F"); }, "256 tokens"},
      {"short matrix", [](std::u16string t) { return ReplaceOnce(t, u"0x000 0x400</TwelveBitMatrix>", u"0x400</TwelveBitMatrix>"); },
       "9 tokens"},
      {"module id", [](std::u16string t) { return ReplaceOnce(t, u"<FeederType>", u"<FeederType ModuleID=\"7\">"); }, "ModuleID"},
      {"gray stream set", [](std::u16string t) { return ReplaceOnce(t, u"ID=\"Gray1\" Type=\"Gray\" BitDepth=\"8\"", u"ID=\"Gray1\" Type=\"Gray\" BitDepth=\"8\" IsSet=\"false\""); },
       "carry no IsSet"},
      {"renamed first-scan date", [](std::u16string t) { return ReplaceOnce(t, u"DatOfFirstScan>2010 12 28</DatOfFirstScan", u"DateOfFirstScan>2010 12 28</DateOfFirstScan"); },
       "DatOfFirstScan"},
      {"sensor without usage", [](std::u16string t) { return ReplaceOnce(t, u"Type=\"Cover\" Usage=\"Poll\"", u"Type=\"Cover\""); },
       "carries Usage"},
      {"channel without brightness", [](std::u16string t) { return ReplaceOnce(t, u"<Brightness DependsOnValue=\"Green\">", u"<Brightness DependsOnValue=\"Greem\">"); },
       "every channel"},
      {"crop without limit", [](std::u16string t) { return ReplaceOnce(t, u"<AutoCrop MaxLenMils=\"14000\" MaxDPI=\"300\"", u"<AutoCrop MaxLenMils=\"14000\""); },
       "MaxDPI"},
      {"sleep limits", [](std::u16string t) { return ReplaceOnce(t, u"Minimum=\"5\" Maximum=\"120\"", u"Minimum=\"1\" Maximum=\"120\""); },
       "SleepTimeout 5, 120"},
      {"DFD button without subtype", [](std::u16string t) { return ReplaceOnce(t, u"Type=\"DFDStop\" SubType=\"DFD3Button\"", u"Type=\"DFDStop\""); },
       "SubType DFD3Button"},
      {"imprinter set by default", [](std::u16string t) { return ReplaceOnce(t, u"ID=\"Imprinter1\"", u"ID=\"Imprinter1\" IsSetByDefault=\"false\""); },
       "imprinter item"},
  };
  const std::u16string good = EmbeddedDescription();
  for (const Case& c : cases) {
    const std::vector<std::string> violations = DescriptionChecker(c.breakIt(good), DocKind::Resource).Run();
    const bool caught = std::any_of(violations.begin(), violations.end(),
                                    [&](const std::string& v) { return v.find(c.rule) != std::string::npos; });
    EXPECT_TRUE(caught) << c.name << ":" << JoinViolations(violations);
  }
}

// Every element of the current document corresponds, by its ID chain, to an element of the
// supported document (a Value to a value of the same text).
void ExpectChainsExist(MSXML6StoreSTL& current, Doc& supported, const std::u16string& parentChain, int* checked) {
  XmlStoreContext* here = current.CloneContext();
  if (current.MoveToFirstChild()) {
    do {
      std::u16string name;
      current.GetNodeName(name);
      if (name.empty() || name[0] == u'#') continue;
      std::u16string chain = parentChain + u"/" + name;
      std::u16string value;
      if (current.GetNodeAttribute(u"ID", value)) chain += u"[@ID=\"" + value + u"\"]";
      if (current.GetNodeAttribute(u"DependsOnValue", value)) chain += u"[@DependsOnValue=\"" + value + u"\"]";
      std::u16string probe = chain;
      if (name == u"Value" && current.GetText(value)) probe = parentChain + u"/Value[.=\"" + value + u"\"]";
      EXPECT_TRUE(supported.Has(probe)) << U8(probe);
      ++*checked;
      ExpectChainsExist(current, supported, chain, checked);
    } while (current.MoveToNextSibling());
  }
  current.SetContext(here);
  current.FreeContext(here);
}

TEST_F(DescriptionTest, SupportedAndCurrentDocumentsKeepTheRulesAfterReset) {
  struct Unit {
    const char* name;
    bool dfdButtons;
    bool imprinter;
  };
  for (const Unit unit : {Unit{"unit with DFD buttons and imprinter", true, true},
                          Unit{"unit without DFD buttons", false, true}, Unit{"unit without imprinter", true, false}}) {
    SCOPED_TRACE(unit.name);
    TestSettings settings;
    settings.conversion = TestSettings::Conversion::Real;
    ReduzidInq inq = FixtureInquiry();
    if (!unit.dfdButtons) InqBytes(inq)[133] &= 0x7F;
    if (!unit.imprinter) InqBytes(inq)[156] &= static_cast<uint8_t>(~0x08);
    FakeEngineLink link;
    link.haveLimits = true;
    link.limits = {kPowerLimitsSleep | kPowerLimitsOff | kPowerLimitsERP, 5, 60, 15, 0, 4320, 0, 0, 4320, 0};
    ASSERT_TRUE(settings.InitWith(inq, FixtureNVM(), &link));

    const std::u16string supported = settings.Supported();
    const std::u16string current = settings.Current();
    std::vector<std::string> violations = DescriptionChecker(supported, DocKind::Supported).Run();
    EXPECT_TRUE(violations.empty()) << "supported:" << JoinViolations(violations);
    violations = DescriptionChecker(current, DocKind::Current).Run();
    EXPECT_TRUE(violations.empty()) << "current:" << JoinViolations(violations);

    // The imprinter settings are offered only by a unit with an imprinter.
    EXPECT_EQ(Doc(supported).Has(u"//Imprinters"), unit.imprinter);
    EXPECT_EQ(Doc(supported).Has(u"//Item[@ID='Button7']"), unit.dfdButtons);

    // UpdateCurrent again gives the same current document.
    ASSERT_TRUE(settings.UpdateCurrent());
    EXPECT_EQ(settings.Current(), current);

    Doc supportedDoc(supported);
    MSXML6StoreSTL currentStore;
    ASSERT_TRUE(currentStore.LoadFromString(current));
    ASSERT_TRUE(currentStore.SelectRoot());
    std::u16string rootName;
    currentStore.GetNodeName(rootName);
    int checked = 0;
    ExpectChainsExist(currentStore, supportedDoc, u"/" + rootName, &checked);
    EXPECT_GT(checked, 200);
  }
}

}  // namespace
}  // namespace rzd::lowdrv::test
