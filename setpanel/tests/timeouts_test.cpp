// The power time-outs of page 0: ranges from the supported settings, "Never", the machine's
// power-off lock, and setting one time-out adjusting the other in the same settings document.
#include "panel_fixture.h"

#include "platform/registry.h"

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace rzd::test {
namespace {

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The unit's current settings and information with these times (a negative one is left out of
// the information document).
std::string Current(const std::string& sleep, const std::string& off, const std::string& erp) {
  std::string doc = DefaultCurrentDocument();
  doc = Replace(doc, "Default=\"15\">15</Value></Range></SleepTimeout>", "Default=\"15\">" + sleep + "</Value></Range></SleepTimeout>");
  doc = Replace(doc, "Default=\"0\">240</Value>", "Default=\"0\">" + off + "</Value>");
  doc = Replace(doc, "Default=\"15\">60</Value>", "Default=\"15\">" + erp + "</Value>");
  return doc;
}

std::string Info(int sleep, int off, int erp) {
  std::string doc = DefaultInfoDocument();
  doc = Replace(doc, "<PowerSaveTimeout>15</PowerSaveTimeout>", "<PowerSaveTimeout>" + std::to_string(sleep) + "</PowerSaveTimeout>");
  doc = Replace(doc, "\t<PowerOffTimeout>240</PowerOffTimeout>\r\n",
                off < 0 ? "" : "\t<PowerOffTimeout>" + std::to_string(off) + "</PowerOffTimeout>\r\n");
  doc = Replace(doc, "\t<ERPTimeout>60</ERPTimeout>\r\n", erp < 0 ? "" : "\t<ERPTimeout>" + std::to_string(erp) + "</ERPTimeout>\r\n");
  return doc;
}

// The value of a time-out in a settings document.
std::string ValueOf(const std::string& doc, const char* element) {
  const QRegularExpression pattern(QStringLiteral("<%1><Range><Value[^>]*>([^<]*)</Value>").arg(QLatin1String(element)));
  const auto match = pattern.match(QString::fromStdString(doc));
  return match.hasMatch() ? match.captured(1).toStdString() : "missing";
}

class TimeoutsTest : public PanelTest {
 protected:
  QWidget* Open() { return panel_ = OpenPluginPanel(); }
  QSpinBox* Box(const char* name) { return Child<QSpinBox>(panel_, name); }
  QPushButton* Button(const char* name) { return Child<QPushButton>(panel_, name); }
  QWidget* panel_ = nullptr;
};

TEST_F(TimeoutsTest, SettingOneTimeAdjustsTheOtherInTheSameDocument) {
  struct Case {
    const char* name;
    std::string sleep, off, erp;  // in the current settings
    const char* box;
    const char* button;
    int value;  // typed; 14 on the power-off rows reads "Never"
    std::string wantSleep, wantOff, wantErp;
  };
  const Case cases[] = {
      {"sleep above power off raises it", "15", "20", "60", "m_spnScnrCfgTimeout", "m_btnScnrCfgTimeoutSet", 30, "30", "30", "60"},
      {"sleep keeps a power off of Never", "15", "0", "60", "m_spnScnrCfgTimeout", "m_btnScnrCfgTimeoutSet", 30, "30", "0", "60"},
      {"sleep below power off keeps it", "15", "240", "60", "m_spnScnrCfgTimeout", "m_btnScnrCfgTimeoutSet", 30, "30", "240", "60"},
      {"power off below sleep lowers it", "30", "240", "60", "m_spnScnrCfgOffTimeout", "m_btnScnrCfgOffTimeoutSet", 20, "20", "20", "60"},
      {"power off Never stores 0, sleep stays", "30", "240", "60", "m_spnScnrCfgOffTimeout", "m_btnScnrCfgOffTimeoutSet", 14, "30", "0", "60"},
      {"power off above sleep keeps it", "30", "240", "60", "m_spnScnrCfgOffTimeout", "m_btnScnrCfgOffTimeoutSet", 45, "30", "45", "60"},
      {"USB off below sleep lowers it", "30", "240", "60", "m_spnScnrCfgERPTimeout", "m_btnScnrCfgERPTimeoutSet", 20, "20", "240", "20"},
      {"unreadable sleep counts as above", "abc", "240", "60", "m_spnScnrCfgERPTimeout", "m_btnScnrCfgERPTimeoutSet", 25, "25", "240", "25"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteDocument("current.xml", Current(c.sleep, c.off, c.erp));
    WriteDocument("info.xml", Info(15, 240, 60));
    Open();
    ClearCalls();
    BoxWatcher boxes;
    Box(c.box)->setValue(c.value);
    Button(c.button)->click();
    EXPECT_TRUE(boxes.Seen().empty());
    std::string sent;
    for (const std::string& call : Calls()) {
      if (call.rfind("control 8 ", 0) == 0) sent = call;
    }
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(ValueOf(sent, "SleepTimeout"), c.wantSleep);
    EXPECT_EQ(ValueOf(sent, "OffTimeout"), c.wantOff);
    EXPECT_EQ(ValueOf(sent, "ERPTimeout"), c.wantErp);
    // The page shows the unit's new times (the refresh after the set).
    EXPECT_TRUE(Button(c.button)->isEnabled());
  }
}

TEST_F(TimeoutsTest, RangesComeFromTheSupportedSettingsAndUsbOffUsesThePowerOffRange) {
  struct Case {
    const char* offMinimum;
    int wantMinimum;
    bool never;
  };
  const Case cases[] = {{"0", 14, true}, {"5", 15, false}, {"15", 15, false}, {"20", 20, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offMinimum);
    std::string supported = DefaultSupportedDocument();
    supported = Replace(supported, "<OffTimeout><Range><Value Minimum=\"0\" Maximum=\"4320\"",
                        std::string("<OffTimeout><Range><Value Minimum=\"") + c.offMinimum + "\" Maximum=\"300\"");
    supported = Replace(supported, "<ERPTimeout><Range><Value Minimum=\"0\" Maximum=\"4320\"",
                        "<ERPTimeout><Range><Value Minimum=\"30\" Maximum=\"100\"");
    WriteDocument("supported.xml", supported);
    Open();
    for (const char* name : {"m_spnScnrCfgOffTimeout", "m_spnScnrCfgERPTimeout"}) {
      EXPECT_EQ(Box(name)->minimum(), c.wantMinimum) << name;
      EXPECT_EQ(Box(name)->maximum(), 300) << name;
      EXPECT_EQ(Box(name)->specialValueText().isEmpty(), !c.never) << name;
    }
    EXPECT_EQ(Box("m_spnScnrCfgTimeout")->minimum(), 5);
    EXPECT_EQ(Box("m_spnScnrCfgTimeout")->maximum(), 120);
  }
}

TEST_F(TimeoutsTest, RowsWithoutATimeInTheInformationAreHiddenOrDisabled) {
  WriteDocument("info.xml", Replace(Info(15, 240, -1), "\t<PowerSaveTimeout>15</PowerSaveTimeout>\r\n", ""));
  Open();
  panel_->show();
  EXPECT_FALSE(Box("m_spnScnrCfgTimeout")->isEnabled());
  EXPECT_EQ(Box("m_spnScnrCfgTimeout")->toolTip(), QStringLiteral("This value cannot be adjusted"));
  EXPECT_EQ(Button("m_btnScnrCfgTimeoutSet")->toolTip(), QStringLiteral("This value cannot be set"));
  EXPECT_EQ(Button("m_btnScnrCfgTimeoutReset")->toolTip(), QStringLiteral("This value cannot be reset"));
  EXPECT_TRUE(Box("m_spnScnrCfgOffTimeout")->isVisible());
  for (const char* name : {"m_spnScnrCfgERPTimeout", "m_btnScnrCfgERPTimeoutSet", "m_btnScnrCfgERPTimeoutReset",
                           "m_lblERPTimeout"}) {
    EXPECT_FALSE(Child<QWidget>(panel_, name)->isVisible()) << name;
  }
}

TEST_F(TimeoutsTest, TheMachinesPowerOffLockShowsZeroAndDisablesBothRows) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"software\\corvanite", &key), 0u);
  key.SetDword(u"DisablePowerOff", 1);
  Open();
  for (const char* name : {"m_spnScnrCfgOffTimeout", "m_spnScnrCfgERPTimeout"}) {
    EXPECT_EQ(Box(name)->value(), 0) << name;
    EXPECT_FALSE(Box(name)->isEnabled()) << name;
    EXPECT_EQ(Box(name)->toolTip(), QStringLiteral("This value cannot be adjusted"));
  }
  EXPECT_FALSE(Button("m_btnScnrCfgOffTimeoutSet")->isEnabled());
  EXPECT_EQ(Button("m_btnScnrCfgERPTimeoutReset")->toolTip(), QStringLiteral("This value cannot be reset"));
  EXPECT_TRUE(Box("m_spnScnrCfgTimeout")->isEnabled());
}

TEST_F(TimeoutsTest, ResetSetsTheDefaultOfTheCurrentSettings) {
  WriteDocument("current.xml", Current("40", "240", "60"));
  WriteDocument("info.xml", Info(40, 240, 60));
  Open();
  ClearCalls();
  Button("m_btnScnrCfgTimeoutReset")->click();
  EXPECT_EQ(Box("m_spnScnrCfgTimeout")->value(), 15);
  EXPECT_EQ(ValueOf(ReadDocument("current.xml"), "SleepTimeout"), "15");
  // Power off's default is 0: "Never".
  Button("m_btnScnrCfgOffTimeoutReset")->click();
  EXPECT_EQ(ValueOf(ReadDocument("current.xml"), "OffTimeout"), "0");
  EXPECT_EQ(Box("m_spnScnrCfgOffTimeout")->text(), QStringLiteral("Never"));
}

TEST_F(TimeoutsTest, AnswersOfTheReadAndTheWriteShowTheirBoxes) {
  Open();
  struct Case {
    const char* answers;
    const char* button;
    QString box;
  };
  const Case cases[] = {{"control 7 170\n", "m_btnScnrCfgTimeoutSet", QStringLiteral("The scanner is in use by another application.")},
                        {"control 8 170\n", "m_btnScnrCfgOffTimeoutSet", QStringLiteral("The scanner is in use by another application.")},
                        {"control 8 12\n", "m_btnScnrCfgTimeoutSet", QStringLiteral("No connection with device")},
                        {"control 7 170\n", "m_btnScnrCfgTimeoutReset", QStringLiteral("The scanner is in use by another application.")},
                        {"control 7 12\n", "m_btnScnrCfgERPTimeoutReset", QStringLiteral("No connection with device")}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answers);
    SetAnswers(c.answers);
    BoxWatcher boxes;
    Button(c.button)->click();
    EXPECT_EQ(boxes.Texts(), std::vector<QString>{c.box});
    EXPECT_TRUE(Button(c.button)->isEnabled());
  }
  // A document the unit sends that does not load is no connection either.
  SetAnswers("");
  WriteDocument("current.xml", "<Scanner");
  BoxWatcher boxes;
  Button("m_btnScnrCfgTimeoutSet")->click();
  EXPECT_EQ(boxes.Texts(), std::vector<QString>{QStringLiteral("No connection with device")});
}

}  // namespace
}  // namespace rzd::test
