// Applying a client's enumerations, lists and ranges to the supported-settings document.
#include "apply_test_docs.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

namespace rzd::lowdrv::applytest {
namespace {

using apply::kApplyAdjusted;
using apply::kApplyBadDocument;
using apply::kApplyInternal;
using apply::kApplyOk;

const std::u16string kRes = std::u16string(kColor1) + u"/Resolutions/Enum";
const std::u16string kChannel = std::u16string(kColor1) + u"/ImageQuality/RGBChannel/Enum";
const std::u16string kStreams = u"/Scanner/DocumentSources/List/Item[@ID='ADF']/ImageSources/List/Item[@ID='Front1']/Streams/List";
const std::u16string kQuality = std::u16string(kColor1) + u"/ImageQuality";

class ApplyValuesTest : public rzd::test::TempRoot {};

// The texts of the current values of an enumeration, joined with ",".
std::string CurrentValues(std::u16string_view xml, const std::u16string& enumPath) {
  MSXML6StoreSTL store;
  std::string out;
  if (!store.LoadFromString(xml) || !store.SelectNode(enumPath + u"/Value[@IsCurrent='true']")) return out;
  do {
    std::u16string text;
    store.GetText(text);
    if (!out.empty()) out += ",";
    out += Narrow(text);
  } while (store.MoveToNextNode());
  return out;
}

TEST_F(ApplyValuesTest, Enumerations) {
  struct Case {
    const char* name;
    std::vector<Edit> edits;
    uint32_t code;
    std::u16string enumPath;
    const char* current;  // the current values afterwards
  };
  const Case cases[] = {
      {"another value",
       {Remove(kRes + u"/Value[.='300']", u"IsCurrent"), Attr(kRes + u"/Value[.='600']", u"IsCurrent", u"true")},
       kApplyOk, kRes, "600"},
      {"the value already current", {}, kApplyOk, kRes, "300"},
      {"two current values: the first wins",
       {Remove(kRes + u"/Value[.='300']", u"IsCurrent"), Attr(kRes + u"/Value[.='200']", u"IsCurrent", u"true"),
        Attr(kRes + u"/Value[.='600']", u"IsCurrent", u"true")},
       kApplyAdjusted, kRes, "200"},
      {"a value not supported: the default",
       {Text(kRes + u"/Value[.='300']", u"700"), Attr(kRes + u"/Value[.='600']", u"IsCurrent", u"false")},
       kApplyAdjusted, kRes, "300"},
      {"no current value: the default",
       {Remove(kRes + u"/Value[.='300']", u"IsCurrent"), Attr(kRes + u"/Value[.='600']", u"IsCurrent", u"1")},
       kApplyAdjusted, kRes, "300"},
      {"values compare with case", {Text(kChannel + u"/Value[.='Main']", u"main")}, kApplyAdjusted, kChannel, "Main"},
      {"a current value without text", {Text(kRes + u"/Value[.='300']", u"")}, kApplyBadDocument, kRes, ""},
      {"an enumeration without entries",
       {Remove(kRes + u"/Value[.='100']"), Remove(kRes + u"/Value[.='200']"), Remove(kRes + u"/Value[.='600']"),
        Remove(kRes + u"/Value[.='300']")},
       kApplyBadDocument, kRes, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::u16string client = Edited(kApplySupported, c.edits);
    apply::ApplyResult result = Apply(kApplySupported, client);
    EXPECT_EQ(result.code, c.code);
    if (c.code == kApplyOk || c.code == kApplyAdjusted) {
      EXPECT_EQ(CurrentValues(result.supportedXml, c.enumPath), c.current);
      // Values other than the current keep no IsCurrent at all.
      EXPECT_EQ(CountOf(result.supportedXml, c.enumPath + u"/Value[@IsCurrent]"), 1);
    } else {
      EXPECT_TRUE(result.supportedXml.empty());
    }
  }
}

TEST_F(ApplyValuesTest, EnumerationEntryOfAnotherNameIsRefused) {
  // The only current entry is a "Choice", which the supported enumeration does not have.
  std::u16string client = Replaced(kApplySupported, u"<Value IsCurrent=\"true\" IsDefault=\"true\">300</Value>",
                                   u"<Value>300</Value>");
  client = Replaced(client, u"<Value>600</Value>", u"<Choice IsCurrent=\"true\">600</Choice>");
  EXPECT_EQ(Apply(kApplySupported, client).code, kApplyBadDocument);
}

TEST_F(ApplyValuesTest, SupportedEnumerationWithoutDefaultKeepsOneCurrentValue) {
  std::u16string supported = Replaced(kApplySupported, u"<Value IsCurrent=\"true\" IsDefault=\"true\">300</Value>",
                                      u"<Value IsCurrent=\"true\">300</Value>");
  std::u16string client = Edited(supported, {Text(kRes + u"/Value[.='300']", u"700")});
  apply::ApplyResult result = Apply(supported, client);
  EXPECT_EQ(result.code, kApplyAdjusted);
  EXPECT_EQ(CurrentValues(result.supportedXml, kRes), "100");
}

TEST_F(ApplyValuesTest, SettingsMissingFromTheSupportedDocumentAreSkipped) {
  std::u16string client = Replaced(kApplySupported, u"<RGBChannel>",
                                   u"<Extra><Enum><Value IsCurrent=\"true\">x</Value></Enum></Extra>"
                                   u"<Ghost><Range><Value>5</Value></Range></Ghost><RGBChannel>");
  apply::ApplyResult result = Apply(kApplySupported, client);
  EXPECT_EQ(result.code, kApplyOk);
  EXPECT_EQ(CountOf(result.supportedXml, u"//Extra"), 0);
  EXPECT_EQ(CountOf(result.supportedXml, u"//Ghost"), 0);
}

TEST_F(ApplyValuesTest, ModuleElementsAreDroppedAndNeverMatched) {
  // The client's value for the ModuleID setting is skipped, and the element leaves the document.
  std::u16string client = Edited(kApplySupported, {Text(u"//Vendor/Range/Value", u"7")});
  apply::ApplyResult result = Apply(kApplySupported, client);
  EXPECT_EQ(result.code, kApplyOk);
  EXPECT_EQ(CountOf(result.supportedXml, u"//*[@ModuleID]"), 0);
}

TEST_F(ApplyValuesTest, Lists) {
  struct Case {
    const char* name;
    std::vector<Edit> edits;
    uint32_t code;
    const char* setItems;       // the IDs of the set streams afterwards
    const char* selectedItems;  // the IDs of the selected streams afterwards
  };
  const Case cases[] = {
      {"another stream",
       {Remove(kStreams + u"/Item[@ID='Color1']", u"IsSet"), Attr(kStreams + u"/Item[@ID='Gray1']", u"IsSet", u"true")},
       kApplyOk, "Gray1", ""},
      {"two streams",
       {Attr(kStreams + u"/Item[@ID='Gray1']", u"IsSet", u"true")}, kApplyOk, "Color1,Gray1", ""},
      {"nothing set: the items set by default",
       {Remove(kStreams + u"/Item[@ID='Color1']", u"IsSet")}, kApplyOk, "Color1", ""},
      {"selected stream",
       {Attr(kStreams + u"/Item[@ID='Gray1']", u"IsSelected", u"true")}, kApplyOk, "Color1", "Gray1"},
      {"an unknown item",
       {Attr(kStreams + u"/Item[@ID='Gray1']", u"ID", u"Mono9"), Attr(kStreams + u"/Item[@ID='Mono9']", u"IsSet", u"true")},
       kApplyBadDocument, "", ""},
      {"a set item without ID",
       {Remove(kStreams + u"/Item[@ID='Gray1']", u"ID"), Attr(kStreams + u"/Item[not(@ID)]", u"IsSet", u"true")},
       kApplyBadDocument, "", ""},
  };
  auto ids = [](std::u16string_view xml, const std::u16string& path) {
    MSXML6StoreSTL store;
    std::string out;
    if (!store.LoadFromString(xml) || !store.SelectNode(path)) return out;
    do {
      std::u16string id;
      store.GetNodeAttribute(u"ID", id);
      if (!out.empty()) out += ",";
      out += Narrow(id);
    } while (store.MoveToNextNode());
    return out;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::u16string supported = Edited(kApplySupported, {Attr(kStreams + u"/Item[@ID='Color1']", u"IsSelected", u"true")});
    apply::ApplyResult result = Apply(supported, Edited(kApplySupported, c.edits));
    EXPECT_EQ(result.code, c.code);
    if (c.code != kApplyOk) continue;
    EXPECT_EQ(ids(result.supportedXml, kStreams + u"/Item[@IsSet='true']"), c.setItems);
    EXPECT_EQ(ids(result.supportedXml, kStreams + u"/Item[@IsSelected='true']"), c.selectedItems);
    EXPECT_EQ(CountOf(result.supportedXml, kStreams + u"/Item[@IsSet='false']"), 0);
  }
}

TEST_F(ApplyValuesTest, Ranges) {
  const std::u16string brightness = kQuality + u"/Brightness[@DependsOnValue='Main']/Range/Value";
  const std::u16string red = kQuality + u"/Brightness[@DependsOnValue='Red']/Range/Value";
  const std::u16string gamma = kQuality + u"/GammaCorrection/Range/Value";
  const std::u16string offset = kQuality + u"/Offset/Range/Value";
  struct Case {
    std::u16string path;
    const char16_t* sent;
    uint32_t code;
    const char16_t* stored;
  };
  const Case cases[] = {
      // Valid values are kept as sent.
      {brightness, u"77", kApplyOk, u"77"},
      {brightness, u"255", kApplyOk, u"255"},
      {brightness, u"077", kApplyOk, u"077"},
      {gamma, u"0.6", kApplyOk, u"0.6"},
      {gamma, u"0.7", kApplyOk, u"0.7"},
      {gamma, u"1.2", kApplyOk, u"1.2"},
      {gamma, u"2.3", kApplyOk, u"2.3"},
      {gamma, u"3.9", kApplyOk, u"3.9"},
      {gamma, u"4", kApplyOk, u"4"},
      {offset, u"-1.75", kApplyOk, u"-1.75"},
      // A valid value in exponent form is written plainly, for integer readers.
      {brightness, u"1e2", kApplyOk, u"100"},
      {gamma, u"15e-1", kApplyOk, u"1.5"},
      // Clamped to the limits.
      {brightness, u"300", kApplyAdjusted, u"255"},
      {brightness, u"0", kApplyAdjusted, u"1"},
      {brightness, u"-2147483649", kApplyAdjusted, u"1"},
      {brightness, u"1e300", kApplyAdjusted, u"255"},
      {gamma, u"9", kApplyAdjusted, u"4.0"},
      {offset, u"-3", kApplyAdjusted, u"-2.50"},
      // Snapped onto the step grid, written in the grid's format.
      {brightness, u"12.5", kApplyAdjusted, u"12"},
      {gamma, u"1.05", kApplyAdjusted, u"1.0"},
      {gamma, u"0.74", kApplyAdjusted, u"0.7"},
      {offset, u"0.3", kApplyAdjusted, u"0.25"},
      // Not numbers: the document is refused.
      {brightness, u"", kApplyBadDocument, nullptr},
      {brightness, u"bright", kApplyBadDocument, nullptr},
      {brightness, u"inf", kApplyBadDocument, nullptr},
      {brightness, u"NaN", kApplyBadDocument, nullptr},
      {brightness, u"0x10", kApplyBadDocument, nullptr},
      {gamma, u"1,5", kApplyBadDocument, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.path) + " = " + Narrow(c.sent));
    apply::ApplyResult result = Apply(kApplySupported, Edited(kApplySupported, {Text(c.path, c.sent)}));
    EXPECT_EQ(result.code, c.code);
    if (c.stored != nullptr) {
      EXPECT_EQ(Narrow(TextOf(result.supportedXml, c.path)), Narrow(c.stored));
      // The channel next to it keeps its own value.
      if (c.path == brightness) {
        EXPECT_EQ(Narrow(TextOf(result.supportedXml, red)), "128");
      }
    } else {
      EXPECT_TRUE(result.supportedXml.empty());
    }
  }
}

TEST_F(ApplyValuesTest, BadSupportedRangesAreInternalFailures) {
  const std::u16string gamma = kQuality + u"/GammaCorrection/Range/Value";
  const std::vector<Edit> cases[] = {
      {Attr(gamma, u"Step", u"0")},      // never a division by zero
      {Attr(gamma, u"Step", u"-0.1")},
      {Attr(gamma, u"Step", u"0.0000001")},  // rounds to zero millionths
      {Attr(gamma, u"Step", u"tiny")},
      {Remove(gamma, u"Step")},
      {Remove(gamma, u"Minimum")},
      {Attr(gamma, u"Minimum", u"nan")},
      {Remove(gamma, u"Maximum")},
      {Attr(gamma, u"Maximum", u"0.1")},  // below the minimum
      {Attr(gamma, u"Maximum", u"1e20")},
  };
  for (const auto& edits : cases) {
    SCOPED_TRACE(Narrow(edits[0].attribute) + " " + Narrow(edits[0].value));
    std::u16string supported = Edited(kApplySupported, edits);
    EXPECT_EQ(Apply(supported, Edited(supported, {Text(gamma, u"1.5")})).code, kApplyInternal);
  }
  // A range without a Value in the supported document.
  std::u16string noValue = Edited(kApplySupported, {Remove(gamma)});
  EXPECT_EQ(Apply(noValue, kApplySupported).code, kApplyInternal);
}

TEST_F(ApplyValuesTest, DocumentsThatDoNotParse) {
  EXPECT_EQ(Apply(kApplySupported, u"<Scanner>").code, kApplyBadDocument);
  EXPECT_EQ(Apply(kApplySupported, u"").code, kApplyBadDocument);
  EXPECT_EQ(Apply(kApplySupported, u"<!DOCTYPE Scanner [<!ENTITY a 'b'>]><Scanner>&a;</Scanner>").code, kApplyBadDocument);
  EXPECT_EQ(Apply(u"<Scanner", kApplySupported).code, kApplyInternal);
}

}  // namespace
}  // namespace rzd::lowdrv::applytest
