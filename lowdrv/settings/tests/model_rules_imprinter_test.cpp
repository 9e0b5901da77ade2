// The imprinter parameters: the escape string's tokens, the date-time format code, the names
// replaced in the text, and ConvertXmlToImprinterParam on the device description.
#include "platform/process.h"
#include "platform/session.h"
#include "window/imprinter_text.h"
#include "window_test_support.h"

#include <optional>
#include <utility>

namespace rzd::lowdrv::wintest {
namespace {

using window::ImprinterTokens;
using window::ParseImprinterEscape;

TEST(ImprinterTextTest, EscapeStringTokens) {
  struct Case {
    const char16_t* escape;
    bool date, time, counter;
    const char16_t* dateSep;
    const char16_t* timeSep;
    const char16_t* text;
    uint8_t format;
  };
  const Case cases[] = {
      // Date with "/", time with ":", "Batch " and the counter at the end.
      {u"{#d/}{#t:}Batch {#0b}", true, true, true, u"/", u":", u"Batch ", 5},
      {u"{#d}{#t}", true, true, false, u"", u"", u"", 2},
      {u"{#d}{#t-}", true, true, false, u"", u"-", u"", 5},
      {u"{#d.}", true, false, false, u".", u"", u"", 3},
      {u"{#d}", true, false, false, u"", u"", u"", 0},
      {u"{#t:}", false, true, false, u"", u":", u"", 4},
      {u"{#t}", false, true, false, u"", u"", u"", 1},
      {u"Plain text", false, false, false, u"", u"", u"Plain text", 0},
      {u"", false, false, false, u"", u"", u"", 0},
      // Tokens are found and removed where they stand, not only at the start or the end.
      {u"Batch {#d}", true, false, false, u"", u"", u"Batch ", 0},
      {u"A{#0b}B", false, false, true, u"", u"", u"AB", 0},
      {u"{#t:} at {#d/} no {#0b}.", true, true, true, u"/", u":", u" at  no .", 5},
      // Not tokens: left in the text, and nothing is read past the end.
      {u"{#d", false, false, false, u"", u"", u"{#d", 0},
      {u"{#dX", false, false, false, u"", u"", u"{#dX", 0},
      {u"{#dXY}", false, false, false, u"", u"", u"{#dXY}", 0},
      {u"x{#t/", false, false, false, u"", u"", u"x{#t/", 0},
      {u"{#0b", false, false, false, u"", u"", u"{#0b", 0},
      // Only the first token of a kind counts.
      {u"{#d}{#d}", true, false, false, u"", u"", u"{#d}", 0},
  };
  for (const Case& c : cases) {
    const ImprinterTokens t = ParseImprinterEscape(c.escape);
    const std::string what = ToUtf8(c.escape);
    EXPECT_EQ(t.date, c.date) << what;
    EXPECT_EQ(t.time, c.time) << what;
    EXPECT_EQ(t.counter, c.counter) << what;
    EXPECT_EQ(t.dateSeparator, c.dateSep) << what;
    EXPECT_EQ(t.timeSeparator, c.timeSep) << what;
    EXPECT_EQ(t.text, c.text) << what;
    EXPECT_EQ(window::DateTimeFormatCode(t), c.format) << what;
  }
}

TEST(ImprinterTextTest, NamesInTheText) {
  EXPECT_EQ(window::ReplaceImprinterNames(u"{FN}-{User}@{Mach}{User}", u"scan.tif", u"ann", u"HOST"),
            u"scan.tif-ann@HOSTann");
  // A replacement is not read again for tokens.
  EXPECT_EQ(window::ReplaceImprinterNames(u"{User}", u"", u"{Mach}", u"HOST"), u"{Mach}");
  EXPECT_EQ(window::ReplaceImprinterNames(u"{FN}", u"", u"a", u"b"), u"");
  EXPECT_EQ(window::ReplaceImprinterNames(u"{Us", u"f", u"a", u"b"), u"{Us");
}

// The user-name token: the console session's user; without a console session the user this
// process runs as; "USER" when neither is known.
class ConsoleUserNameTest : public test::TempRoot {
 protected:
  void SetUp() override {
    for (const char* name : {"USER", "LOGNAME"}) saved_.emplace_back(name, GetEnv(name));
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value)
        SetEnv(name, *value);
      else
        UnsetEnv(name);
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(ConsoleUserNameTest, ConsoleUserThenProcessUserThenUSER) {
  const std::u16string console = FromUtf8(ConsoleUserName());
  ASSERT_FALSE(console.empty());
  SetEnv("USER", "imprinting-user");
  EXPECT_EQ(CScannerSettings_AV::GetConsoleUserName(), console);

  SetConsoleSessionForTests(0xFFFFFFFF);  // no active console session
  EXPECT_EQ(CScannerSettings_AV::GetConsoleUserName(), u"imprinting-user");
  UnsetEnv("USER");
  SetEnv("LOGNAME", std::string(300, 'n'));
  EXPECT_EQ(CScannerSettings_AV::GetConsoleUserName(), std::u16string(260, u'n'));
  UnsetEnv("LOGNAME");
  EXPECT_EQ(CScannerSettings_AV::GetConsoleUserName(), u"USER");
}

// An engine driver that has an imprinter.
class ImprinterLink : public IRZDSettingsEngineLink {
 public:
  bool IsImprinterFitted() override { return fitted; }
  bool GetPowerTimeoutLimits(RZDPowerTimeoutLimits*) override { return false; }
  void AdaptSupportedSettings(MSXML6StoreBSTR&) override {}
  bool fitted = true;
};

class ImprinterParamTest : public ModelSettingsTest {
 protected:
  void SetUp() override {
    ModelSettingsTest::SetUp();
    settings_->m_pEngineLink = &link_;
  }
  static inline const std::u16string kImprinter = u"//Imprinters/List/Item";
  ImprinterLink link_;
};

TEST_F(ImprinterParamTest, TheDescriptionsImprinter) {
  SetEnv("COMPUTERNAME", "SCANPC");
  settings_->m_ImprParam.strFileName = u"page.tif";
  ASSERT_TRUE(ConvertFromSupported({SetAttr(kImprinter, u"IsSet", u"true"),
                                    SetText(kImprinter + u"/PrinterEscString", u"{#d/}{#t:}{FN} {Mach} Batch {#0b}"),
                                    SetRange(kImprinter, u"CounterStart", u"12345678901")}));
  const RZDImprinterParam& p = settings_->m_ImprParam;
  EXPECT_EQ(p.bEnabled, 1);
  EXPECT_EQ(p.bDateToken, 1);
  EXPECT_EQ(p.bTimeToken, 1);
  EXPECT_EQ(p.bCounterToken, 1);
  EXPECT_EQ(p.strDateSeparator, u"/");
  EXPECT_EQ(p.strTimeSeparator, u":");
  EXPECT_EQ(p.strText, u"page.tif SCANPC Batch ");
  EXPECT_EQ(p.byDateTimeFormat, 5);
  EXPECT_EQ(p.lPrinterMode, 0);
  EXPECT_FLOAT_EQ(p.fTopOffset, 0.5f);
  EXPECT_EQ(p.llCounterStart, 12345678901LL);
  EXPECT_EQ(p.bSinglePage, 0);
  EXPECT_EQ(p.bCleaning, 0);
  EXPECT_EQ(p.lFontRotation, 0);
  EXPECT_EQ(p.byFontType, 0);
  EXPECT_EQ(p.bFixedPitch, 0);
  EXPECT_EQ(p.byCounterDigits, 4);
  EXPECT_EQ(p.strFileName, u"page.tif");
  EXPECT_TRUE(settings_->ImprinterOptionOn());
  UnsetEnv("COMPUTERNAME");
}

TEST_F(ImprinterParamTest, OtherValues) {
  ASSERT_TRUE(ConvertFromSupported({SetAttr(kImprinter, u"IsSet", u"true"),
                                    SetText(kImprinter + u"/PrinterEscString", u"{User}"),
                                    SetRange(kImprinter, u"Pages", u"1"), SetCurrent(kImprinter, u"Cleaning", u"On"),
                                    SetCurrent(kImprinter, u"FontRotations", u"270"),
                                    SetCurrent(kImprinter, u"FontType", u"1"),
                                    SetCurrent(kImprinter, u"FontStyle", u"Fixed")}));
  const RZDImprinterParam& p = settings_->m_ImprParam;
  EXPECT_EQ(p.strText, FromAnsi(ToAnsi(CScannerSettings_AV::GetConsoleUserName())));
  EXPECT_EQ(p.bSinglePage, 1);
  EXPECT_EQ(p.bCleaning, 1);
  EXPECT_TRUE(settings_->ImprinterCleaningOn());
  EXPECT_EQ(p.lFontRotation, 270);
  EXPECT_EQ(p.byFontType, 1);
  EXPECT_EQ(p.bFixedPitch, 1);
  EXPECT_EQ(p.bCounterToken, 0);
  EXPECT_EQ(p.byCounterDigits, 0);  // no counter token
  EXPECT_EQ(p.byDateTimeFormat, 0);

  // Values that are missing take their defaults.
  ASSERT_TRUE(ConvertFromSupported({SetAttr(kImprinter, u"IsSet", u"true"), RemoveNode(kImprinter + u"/FontRotations"),
                                    RemoveNode(kImprinter + u"/PrinterMode")}));
  EXPECT_EQ(settings_->m_ImprParam.lFontRotation, 90);
  EXPECT_EQ(settings_->m_ImprParam.lPrinterMode, 0);
}

TEST_F(ImprinterParamTest, NotEnabledOrNotFitted) {
  // The description's imprinter is not set: not enabled, the conversion succeeds.
  settings_->m_ImprParam.bEnabled = 1;
  settings_->m_ImprParam.strText = u"kept";
  ASSERT_TRUE(Convert({}));
  EXPECT_EQ(settings_->m_ImprParam.bEnabled, 0);
  EXPECT_EQ(settings_->m_ImprParam.strText, u"kept");
  // Without an imprinter fitted the parameters are not touched, even with a broken imprinter.
  link_.fitted = false;
  settings_->m_ImprParam.bEnabled = 1;
  ASSERT_TRUE(ConvertFromSupported({SetAttr(kImprinter, u"IsSet", u"true"), RemoveNode(kImprinter + u"/CounterDigits")}));
  EXPECT_EQ(settings_->m_ImprParam.bEnabled, 1);
}

TEST_F(ImprinterParamTest, MissingCounterDigitsFailsTheWholeConversion) {
  ASSERT_TRUE(Convert({SetCurrent(kColor1, u"Resolutions", u"200")}));
  settings_->m_ImprParam.strText = u"before";
  const RZDWindowDescription before = settings_->m_Primary;
  LogCapture log;
  EXPECT_FALSE(ConvertFromSupported(
      {SetAttr(kImprinter, u"IsSet", u"true"), RemoveNode(kImprinter + u"/CounterDigits")}));
  EXPECT_EQ(settings_->m_ImprParam.strText, u"before");
  EXPECT_EQ(settings_->m_ImprParam.bEnabled, 0);
  EXPECT_EQ(std::memcmp(&before.Desc, &settings_->m_Primary.Desc, sizeof(before.Desc)), 0);
  EXPECT_EQ(+settings_->m_Primary.Desc.XRes, 200);
  EXPECT_TRUE(log.Contains(u"ConvertXmlToImprinterParam failed because of missing CounterDigits")) << log.All();
}

TEST_F(ImprinterParamTest, TheStoreMustStandOnATypedNode) {
  MSXML6StoreBSTR store;
  ASSERT_TRUE(store.LoadFromString(current_));
  ASSERT_TRUE(store.SelectRoot());
  LogCapture log;
  EXPECT_FALSE(settings_->ConvertXmlToImprinterParam(store));
  EXPECT_TRUE(log.Contains(u"ConvertXmlToSettings cannot find second image source type"));
  ASSERT_TRUE(store.SelectNode(kSource));
  EXPECT_TRUE(settings_->ConvertXmlToImprinterParam(store));
}

}  // namespace
}  // namespace rzd::lowdrv::wintest
