// Applying a client's tone tables, matrices, imprinter strings, stream options, power time-outs,
// eject direction and long length.
#include "apply_test_docs.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

namespace rzd::lowdrv::applytest {
namespace {

using apply::kApplyAdjusted;
using apply::kApplyBadValue;
using apply::kApplyInternal;
using apply::kApplyOk;

const std::u16string kQuality = std::u16string(kColor1) + u"/ImageQuality";
const std::u16string kAdf = u"/Scanner/DocumentSources/List/Item[@ID='ADF']";
const std::u16string kTray = u"/Scanner/DocumentSources/List/Item[@ID='Tray']";

class ApplyExtrasTest : public rzd::test::TempRoot {};

TEST_F(ApplyExtrasTest, GammaTablesAndMatrices) {
  const std::u16string eightBit = kQuality + u"/Gamma/EightBit";
  const std::u16string matrix = kQuality + u"/Matrix/TwelveBitMatrix";
  struct Case {
    const char* name;
    std::u16string client;
    uint32_t code;
    const char* red;
    const char* gray;
    const char* matrix;
  };
  const Case cases[] = {
      {"new red table", Edited(kApplySupported, {Text(eightBit + u"/Red", u"0x10 0x20")}), kApplyOk, "0x10 0x20",
       "<none>", "0x400 0x000"},
      {"a gray table is created",
       Replaced(kApplySupported, u"</Blue>", u"</Blue><Gray>0x05 0x06</Gray>"), kApplyOk, "0x00 0x01", "0x05 0x06",
       "0x400 0x000"},
      {"new matrix", Edited(kApplySupported, {Text(matrix, u"0x12B 0x24B")}), kApplyOk, "0x00 0x01", "<none>",
       "0x12B 0x24B"},
      {"bad green table", Edited(kApplySupported, {Text(eightBit + u"/Green", u"zz")}), kApplyBadValue, "", "", ""},
      {"bad matrix", Edited(kApplySupported, {Text(matrix, u"")}), kApplyBadValue, "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    apply::ApplyResult result = Apply(kApplySupported, c.client);
    EXPECT_EQ(result.code, c.code);
    if (c.code != kApplyOk) continue;
    EXPECT_EQ(Narrow(TextOf(result.supportedXml, eightBit + u"/Red")), c.red);
    EXPECT_EQ(Narrow(TextOf(result.supportedXml, eightBit + u"/Gray")), c.gray);
    EXPECT_EQ(Narrow(TextOf(result.supportedXml, matrix)), c.matrix);
  }
}

TEST_F(ApplyExtrasTest, ImprinterStringsAndStreamOptions) {
  // A new imprinter string replaces the old; an empty one leaves it.
  apply::ApplyResult result = Apply(kApplySupported, Edited(kApplySupported, {Text(u"//PrinterEscString", u"{#d/}Batch")}));
  EXPECT_EQ(result.code, kApplyOk);
  EXPECT_EQ(Narrow(TextOf(result.supportedXml, u"//PrinterEscString")), "{#d/}Batch");
  result = Apply(kApplySupported, Edited(kApplySupported, {Text(u"//PrinterEscString", u"")}));
  EXPECT_EQ(Narrow(TextOf(result.supportedXml, u"//PrinterEscString")), "old");

  // The client's stream options replace the supported ones and become the source's last child.
  std::u16string client = Replaced(kApplySupported, u"<VantixStreamRequestOption><Old/></VantixStreamRequestOption>",
                                   u"<VantixStreamRequestOption><New A=\"1\"/></VantixStreamRequestOption>");
  result = Apply(kApplySupported, client);
  EXPECT_EQ(result.code, kApplyOk);
  EXPECT_EQ(CountOf(result.supportedXml, u"//VantixStreamRequestOption"), 1);
  EXPECT_EQ(Narrow(AttrOf(result.supportedXml, kAdf + u"/*[last()]/New", u"A")), "1");
  EXPECT_EQ(CountOf(result.supportedXml, u"//Old"), 0);
}

TEST_F(ApplyExtrasTest, PowerTimeoutsAreRaisedToTheSleepTime) {
  const std::u16string sleep = u"//SleepTimeout/Range/Value";
  const std::u16string off = u"//OffTimeout/Range/Value";
  const std::u16string erp = u"//ERPTimeout/Range/Value";
  struct Case {
    const char16_t* sleep;
    const char16_t* off;
    const char16_t* erp;
    int sleepOut, offOut, erpOut;
  };
  const Case cases[] = {
      {u"15", u"3", u"10", 15, 15, 15},   // raised, without counting as an adjustment
      {u"15", u"0", u"0", 15, 0, 0},      // 0 (never) stays
      {u"20", u"30", u"4320", 20, 30, 4320},
      {u"5", u"4", u"5", 5, 5, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.sleep) + "/" + Narrow(c.off) + "/" + Narrow(c.erp));
    apply::ApplyResult result =
        Apply(kApplySupported, Edited(kApplySupported, {Text(sleep, c.sleep), Text(off, c.off), Text(erp, c.erp)}));
    EXPECT_EQ(result.code, kApplyOk);
    ASSERT_TRUE(result.times.sleep && result.times.off && result.times.erp);
    EXPECT_EQ(*result.times.sleep, c.sleepOut);
    EXPECT_EQ(*result.times.off, c.offOut);
    EXPECT_EQ(*result.times.erp, c.erpOut);
    EXPECT_EQ(Narrow(TextOf(result.supportedXml, off)), std::to_string(c.offOut));
    EXPECT_EQ(Narrow(TextOf(result.supportedXml, erp)), std::to_string(c.erpOut));
  }

  // Without a sleep time nothing is raised.
  std::u16string noSleep = Edited(kApplySupported, {Remove(u"//SleepTimeout")});
  apply::ApplyResult result = Apply(noSleep, Edited(noSleep, {Text(off, u"3")}));
  EXPECT_EQ(result.code, kApplyOk);
  EXPECT_FALSE(result.times.sleep);
  EXPECT_EQ(*result.times.off, 3);

  // A negative supported time-out (not sent by the client) is a bad supported document.
  std::u16string negative = Edited(kApplySupported, {Text(erp, u"-1")});
  EXPECT_EQ(Apply(negative, Edited(negative, {Remove(u"//HardwareSettings")})).code, kApplyInternal);
  std::u16string junk = Edited(kApplySupported, {Text(sleep, u"soon")});
  EXPECT_EQ(Apply(junk, Edited(junk, {Remove(u"//HardwareSettings")})).code, kApplyInternal);
}

TEST_F(ApplyExtrasTest, EjectDirection) {
  const std::u16string adfEject = kAdf + u"/EjectDirection/Enum";
  const std::u16string trayEject = kTray + u"/EjectDirection/Enum";
  struct Case {
    const char* name;
    const char16_t* trayType;  // in both documents
    bool traySet;
    const char16_t* adfDirection;
    const char16_t* trayDirection;
    uint32_t code;
    const char* trayCurrent;  // the tray's current value afterwards
  };
  const Case cases[] = {
      {"second source a feeder asking for back", u"Feeder", true, u"Front", u"Back", kApplyAdjusted, "Front"},
      {"second source a feeder asking for front", u"Feeder", true, u"Back", u"Front", kApplyOk, "Front"},
      {"second source not a feeder: the first decides", u"Flatbed", true, u"Back", u"Back", kApplyAdjusted, "Front"},
      {"second source not a feeder, first asks front", u"Flatbed", true, u"Front", u"Back", kApplyOk, "Back"},
      {"only one source set", u"Feeder", false, u"Back", u"Back", kApplyOk, "Back"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::u16string supported = Edited(kApplySupported, {Attr(kTray, u"Type", c.trayType)});
    std::vector<Edit> edits = {
        Remove(adfEject + u"/Value[@IsCurrent]", u"IsCurrent"),
        Attr(adfEject + u"/Value[.='" + std::u16string(c.adfDirection) + u"']", u"IsCurrent", u"true"),
        Remove(trayEject + u"/Value[@IsCurrent]", u"IsCurrent"),
        Attr(trayEject + u"/Value[.='" + std::u16string(c.trayDirection) + u"']", u"IsCurrent", u"true")};
    if (c.traySet) edits.push_back(Attr(kTray, u"IsSet", u"true"));
    apply::ApplyResult result = Apply(supported, Edited(supported, edits));
    EXPECT_EQ(result.code, c.code);
    EXPECT_EQ(Narrow(TextOf(result.supportedXml, trayEject + u"/Value[@IsCurrent='true']")), c.trayCurrent);
    EXPECT_EQ(CountOf(result.supportedXml, trayEject + u"/Value[@IsCurrent]"), 1);
  }
}

TEST_F(ApplyExtrasTest, LongLengthSetLengthIsHeldWithinTheSourceLimits) {
  const std::u16string adfLong = kAdf + u"/LongLengthEnabled";
  const std::u16string trayLong = kTray + u"/LongLengthEnabled";
  struct Case {
    const char16_t* sent;
    uint32_t code;
    const char* adf;   // ADF limits: MinLength 2000, LongLength 236000
    const char* tray;  // tray limits: MinLength 2000, Length 14000
  };
  const Case cases[] = {
      {u"10000", kApplyOk, "10000", "10000"},
      {u"50000", kApplyAdjusted, "50000", "14000"},
      {u"300000", kApplyAdjusted, "236000", "14000"},
      {u"2000", kApplyOk, "2000", "2000"},
      {u"1999", kApplyAdjusted, "2000", "2000"},
      {u"1", kApplyAdjusted, "2000", "2000"},
      {u"0", kApplyAdjusted, "2000", "2000"},
      {u"-5", kApplyAdjusted, "2000", "2000"},
      {u"99999999999", kApplyAdjusted, "236000", "14000"},
      {u"-1", kApplyOk, "-1", "-1"},      // no length set
      {u"abc", kApplyOk, "-1", "-1"},     // not a whole number: ignored
      {u"12.5", kApplyOk, "-1", "-1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.sent));
    apply::ApplyResult result = Apply(kApplySupported, Edited(kApplySupported, {Attr(adfLong, u"SetLength", c.sent)}));
    EXPECT_EQ(result.code, c.code);
    EXPECT_EQ(Narrow(AttrOf(result.supportedXml, adfLong, u"SetLength")), c.adf);
    EXPECT_EQ(Narrow(AttrOf(result.supportedXml, trayLong, u"SetLength")), c.tray);
  }
  // A source without MinLength holds the length at 1 at least.
  const std::u16string supported = Edited(kApplySupported, {Remove(kTray + u"/Limits/MinLength")});
  apply::ApplyResult result = Apply(supported, Edited(supported, {Attr(adfLong, u"SetLength", u"0")}));
  EXPECT_EQ(result.code, kApplyAdjusted);
  EXPECT_EQ(Narrow(AttrOf(result.supportedXml, adfLong, u"SetLength")), "2000");
  EXPECT_EQ(Narrow(AttrOf(result.supportedXml, trayLong, u"SetLength")), "1");
}

TEST_F(ApplyExtrasTest, NetworkDataHookSeesTheClientDocument) {
  apply::ApplyHooks hooks = TestHooks();
  std::u16string seen;
  int calls = 0;
  hooks.networkData = [&](MSXML6StoreBSTR& incoming) {
    ++calls;
    Bstr xml;
    incoming.GetDocumentXML(xml);
    seen = xml.Str();
  };
  std::u16string client = Edited(kApplySupported, {Text(u"//PrinterEscString", u"net")});
  EXPECT_EQ(Apply(kApplySupported, client, hooks).code, kApplyOk);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(TextOf(seen, u"//PrinterEscString"), u"net");

  // Not called when an earlier pass failed.
  calls = 0;
  EXPECT_EQ(Apply(kApplySupported, Edited(kApplySupported, {Text(kQuality + u"/Matrix/TwelveBitMatrix", u"")}), hooks).code,
            kApplyBadValue);
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace rzd::lowdrv::applytest
