// Applying a client's frames: the document source's limits, the maximum length by resolution and
// the over-scan choices.
#include "apply_test_docs.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

namespace rzd::lowdrv::applytest {
namespace {

using apply::kApplyAdjusted;
using apply::kApplyInternal;
using apply::kApplyOk;

const std::u16string kFrame = std::u16string(kColor1) + u"/Frame";
const std::u16string kLimits = u"/Scanner/DocumentSources/List/Item[@ID='ADF']/Limits";

class ApplyFrameTest : public rzd::test::TempRoot {};

struct FrameValues {
  const char16_t* top;
  const char16_t* left;
  const char16_t* width;
  const char16_t* length;
};

std::u16string ClientFrame(std::u16string_view supported, const FrameValues& v) {
  return Edited(supported, {Text(kFrame + u"/Top", v.top), Text(kFrame + u"/Left", v.left),
                            Text(kFrame + u"/Width", v.width), Text(kFrame + u"/Length", v.length)});
}

std::string StoredFrame(std::u16string_view xml) {
  return Narrow(TextOf(xml, kFrame + u"/Top") + u"," + TextOf(xml, kFrame + u"/Left") + u"," +
                TextOf(xml, kFrame + u"/Width") + u"," + TextOf(xml, kFrame + u"/Length"));
}

// Limits of the ADF: width 8500, long length 236000, minimum width 2900, minimum length 2000.
TEST_F(ApplyFrameTest, FramesAreHeldWithinTheLimits) {
  struct Case {
    const char* name;
    FrameValues sent;
    uint32_t code;
    const char* stored;  // Top,Left,Width,Length
  };
  const Case cases[] = {
      {"valid", {u"100", u"200", u"8000", u"11000"}, kApplyOk, "100,200,8000,11000"},
      {"at the limits", {u"234000", u"5600", u"2900", u"2000"}, kApplyOk, "234000,5600,2900,2000"},
      {"length below the minimum", {u"0", u"0", u"8500", u"1000"}, kApplyAdjusted, "0,0,8500,2000"},
      {"left too far right: left 0, then the width fits", {u"0", u"8000", u"8500", u"11000"}, kApplyAdjusted,
       "0,0,8500,11000"},
      {"width beyond the limit", {u"0", u"1000", u"9000", u"11000"}, kApplyAdjusted, "0,1000,7500,11000"},
      {"width below the minimum", {u"0", u"1000", u"100", u"11000"}, kApplyAdjusted, "0,1000,2900,11000"},
      {"negative top", {u"-5", u"0", u"8500", u"11000"}, kApplyAdjusted, "0,0,8500,11000"},
      {"top too low", {u"234001", u"0", u"8500", u"2000"}, kApplyAdjusted, "0,0,8500,2000"},
      {"top plus length beyond the maximum", {u"230000", u"0", u"8500", u"11000"}, kApplyAdjusted,
       "230000,0,8500,6000"},
      {"negative left", {u"0", u"-1", u"8500", u"11000"}, kApplyAdjusted, "0,0,8500,11000"},
      // 32-bit extremes: the sums are made in 64 bits and never wrap into "valid".
      {"largest values", {u"2147483647", u"2147483647", u"2147483647", u"2147483647"}, kApplyAdjusted,
       "0,0,8500,236000"},
      {"length that would wrap a 32-bit sum", {u"1000", u"0", u"8500", u"2147483647"}, kApplyAdjusted,
       "1000,0,8500,235000"},
      {"smallest values", {u"-2147483648", u"-2147483648", u"-2147483648", u"-2147483648"}, kApplyAdjusted,
       "0,0,2900,2000"},
      {"values beyond 32 bits saturate", {u"99999999999", u"0", u"8500", u"11000"}, kApplyAdjusted,
       "0,0,8500,11000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    apply::ApplyResult result = Apply(kApplySupported, ClientFrame(kApplySupported, c.sent));
    EXPECT_EQ(result.code, c.code);
    EXPECT_EQ(StoredFrame(result.supportedXml), c.stored);
  }
}

TEST_F(ApplyFrameTest, MissingFrameValuesCountAsMinusOne) {
  std::u16string client = Edited(kApplySupported, {Remove(kFrame + u"/Top"), Remove(kFrame + u"/Width")});
  apply::ApplyResult result = Apply(kApplySupported, client);
  EXPECT_EQ(result.code, kApplyAdjusted);
  EXPECT_EQ(StoredFrame(result.supportedXml), "0,0,2900,11000");
}

TEST_F(ApplyFrameTest, MaximumLengthByResolution) {
  // Lmax from the document source's limits; a Top of 1000 and a Length of 300000 become
  // Length = Lmax - 1000.
  const std::u16string longLength = u"<LongLength>236000</LongLength>";
  struct Case {
    const char* name;
    std::u16string limits;       // replaces the LongLength element of the ADF
    bool backSet;                // the back image source set in the supported document
    const char16_t* resolution;  // the client's current resolution
    const char* length;
  };
  const Case cases[] = {
      {"long length", longLength, true, u"300", "235000"},
      {"lines at 300 dpi", longLength + u"<LongLengthLines>65400</LongLengthLines>", true, u"300", "217000"},
      {"lines at 100 dpi, held at the long length", longLength + u"<LongLengthLines>65400</LongLengthLines>", true,
       u"100", "235000"},
      {"duplex: at the duplex threshold",
       longLength + u"<LongLengthAtDPI SimplexResolution=\"400\" DuplexResolution=\"300\">59000</LongLengthAtDPI>",
       true, u"300", "58000"},
      {"duplex: below the duplex threshold",
       longLength + u"<LongLengthAtDPI SimplexResolution=\"400\" DuplexResolution=\"300\">59000</LongLengthAtDPI>",
       true, u"200", "235000"},
      {"simplex: below the simplex threshold",
       longLength + u"<LongLengthAtDPI SimplexResolution=\"400\" DuplexResolution=\"300\">59000</LongLengthAtDPI>",
       false, u"300", "235000"},
      {"simplex: at the simplex threshold",
       longLength + u"<LongLengthAtDPI SimplexResolution=\"300\" DuplexResolution=\"200\">59000</LongLengthAtDPI>",
       false, u"300", "58000"},
      {"only the length", u"", true, u"300", "13000"},
      {"lines without a resolution are the limit", u"<LongLengthLines>50000</LongLengthLines>", true, u"0", "49000"},
  };
  const std::u16string res = std::u16string(kColor1) + u"/Resolutions/Enum";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::u16string supported = Replaced(kApplySupported, longLength, c.limits);
    if (!c.backSet) {
      supported = Edited(supported, {Remove(u"//Item[@ID='Back1']", u"IsSet")});
    }
    // A supported resolution value equal to the client's.
    supported = Edited(supported, {Text(res + u"/Value[.='100']", c.resolution)});
    std::u16string client = ClientFrame(supported, {u"1000", u"0", u"8500", u"300000"});
    client = Edited(client, {Remove(res + u"/Value[.='300']", u"IsCurrent"),
                             Attr(res + u"/Value[1]", u"IsCurrent", u"true")});
    apply::ApplyResult result = Apply(supported, client);
    EXPECT_EQ(result.code, kApplyAdjusted);
    EXPECT_EQ(Narrow(TextOf(result.supportedXml, kFrame + u"/Length")), c.length);
  }
}

TEST_F(ApplyFrameTest, BadLimitsAreInternalFailures) {
  const std::vector<Edit> cases[] = {
      {Remove(kLimits)},
      {Remove(kLimits + u"/Width")},
      {Remove(kLimits + u"/MinWidth")},
      {Remove(kLimits + u"/MinLength")},
      {Remove(kLimits + u"/LongLength"), Remove(kLimits + u"/Length")},
      {Text(kLimits + u"/MinLength", u"300000")},  // no length can be valid
      {Text(kLimits + u"/MinWidth", u"9000")},
      {Text(kLimits + u"/MinWidth", u"0")},
  };
  for (const auto& edits : cases) {
    SCOPED_TRACE(Narrow(edits[0].path));
    std::u16string supported = Edited(kApplySupported, edits);
    EXPECT_EQ(Apply(supported, ClientFrame(supported, {u"0", u"0", u"8500", u"11000"})).code, kApplyInternal);
  }
}

TEST_F(ApplyFrameTest, OverScanChoices) {
  struct Case {
    const char* name;
    std::vector<Edit> edits;  // on the client's frame
    bool supportedOffers;     // the supported Top carries OverScan
    const char* stored;       // the supported Top's OverScan afterwards
  };
  const Case cases[] = {
      {"on", {Attr(kFrame + u"/Top", u"OverScan", u"On")}, true, "On"},
      {"off", {Attr(kFrame + u"/Top", u"OverScan", u"Off")}, true, "Off"},
      {"empty means off", {Attr(kFrame + u"/Top", u"OverScan", u"")}, true, "Off"},
      {"missing means off", {Remove(kFrame + u"/Top", u"OverScan")}, true, "Off"},
      {"unknown leaves it", {Attr(kFrame + u"/Top", u"OverScan", u"Sideways")}, true, "Auto"},
      {"case counts", {Attr(kFrame + u"/Top", u"OverScan", u"on")}, true, "Auto"},
      {"none is introduced", {Attr(kFrame + u"/Top", u"OverScan", u"On")}, false, "<none>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::u16string supported =
        c.supportedOffers ? std::u16string(kApplySupported) : Edited(kApplySupported, {Remove(kFrame + u"/Top", u"OverScan")});
    apply::ApplyResult result = Apply(supported, Edited(kApplySupported, c.edits));
    EXPECT_EQ(result.code, kApplyOk);
    EXPECT_EQ(Narrow(AttrOf(result.supportedXml, kFrame + u"/Top", u"OverScan")), c.stored);
    EXPECT_EQ(Narrow(AttrOf(result.supportedXml, kFrame + u"/Left", u"OverScan")), "Auto");
  }
}

TEST_F(ApplyFrameTest, EachStreamFrameIsCheckedOnItsOwn) {
  const std::u16string gray = std::u16string(kGray1) + u"/Frame";
  std::u16string client = Edited(kApplySupported, {Text(gray + u"/Length", u"500")});
  apply::ApplyResult result = Apply(kApplySupported, client);
  EXPECT_EQ(result.code, kApplyAdjusted);
  EXPECT_EQ(Narrow(TextOf(result.supportedXml, gray + u"/Length")), "2000");
  EXPECT_EQ(Narrow(TextOf(result.supportedXml, kFrame + u"/Length")), "11000");
}

}  // namespace
}  // namespace rzd::lowdrv::applytest
