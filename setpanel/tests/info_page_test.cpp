// Page 0: the unit's information, the maintenance reminder and the rights of the user.
#include "panel_fixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace rzd::test {
namespace {

std::string WithCounters(const std::string& roller, const std::string& friction, const std::string& clean) {
  std::string doc = DefaultInfoDocument();
  auto put = [&doc](const std::string& element, const std::string& value) {
    const size_t begin = doc.find("<" + element + ">") + element.size() + 2;
    const size_t end = doc.find("</" + element + ">");
    doc.replace(begin, end - begin, value);
  };
  put("RollerScanCount", roller);
  put("FrictionRollerCount", friction);
  put("CleanCounter", clean);
  return doc;
}

class InfoPageTest : public PanelTest {
 protected:
  // Opens the panel, shows it and waits out the reminder's delay.
  QWidget* OpenAndWait() {
    QWidget* panel = OpenPluginPanel();
    panel->show();
    Pump(2300);
    return panel;
  }
};

TEST_F(InfoPageTest, ShowsTheUnitsInformationAndHidesWhatNothingShows) {
  QWidget* panel = OpenPluginPanel();
  panel->show();
  EXPECT_EQ(Child<QLabel>(panel, "m_txtFirmwareVersion")->text(), QStringLiteral("1.07"));
  EXPECT_EQ(Child<QLabel>(panel, "m_txtSerialNumber")->text(), QStringLiteral("QX48T-0012345"));
  EXPECT_EQ(Child<QLabel>(panel, "m_txtLLDVersion")->text(), QStringLiteral("1, 0, 0, 0"));
  EXPECT_EQ(Child<QLineEdit>(panel, "m_txtRollerCt")->text(), QStringLiteral("123456"));
  EXPECT_EQ(Child<QLineEdit>(panel, "m_txtSeparationCt")->text(), QStringLiteral("51230"));
  EXPECT_EQ(Child<QLineEdit>(panel, "m_txtCleanedCt")->text(), QStringLiteral("2480"));
  EXPECT_EQ(Child<QLineEdit>(panel, "m_txtJamCt")->text(), QStringLiteral("9"));
  for (const char* hidden : {"m_txtFirstScan", "m_lblFirstScan", "m_btnScnrCfgJamCtReset", "m_btnScnrCfgMultifeedCtReset",
                             "m_btnScnrCfgScanHistorySimplexReset", "m_btnScnrCfgScanHistoryDuplexReset", "m_chkFW",
                             "m_btnUpdateFirmware"}) {
    EXPECT_FALSE(Child<QWidget>(panel, hidden)->isVisible()) << hidden;
  }
  // A later document without a node leaves that field as it was.
  std::string partial = DefaultInfoDocument();
  partial.erase(partial.find("\t<SerialNumber>"), partial.find("\t<FirmwareVersion>") - partial.find("\t<SerialNumber>"));
  WriteDocument("info.xml", partial);
  As<ICorModuleBase>()->notifyChanged();
  EXPECT_EQ(Child<QLabel>(panel, "m_txtSerialNumber")->text(), QStringLiteral("QX48T-0012345"));
  // A unit that cannot answer leaves every field and shows no box.
  SetAnswers("control 4 12\n");
  BoxWatcher boxes;
  As<ICorModuleBase>()->notifyChanged();
  EXPECT_TRUE(boxes.Seen().empty());
  EXPECT_EQ(Child<QLineEdit>(panel, "m_txtRollerCt")->text(), QStringLiteral("123456"));
}

TEST_F(InfoPageTest, RemindersTable) {
  const QString feed = QStringLiteral("\"Feed roller count:\"");
  const QString friction = QStringLiteral("\"Friction roller count:\"");
  const QString cleaned = QStringLiteral("\"Count since last cleaned:\"");
  struct Case {
    const char* name;
    std::string roller, friction, clean;
    std::vector<std::pair<QString, QString>> boxes;  // title, label named
  };
  const QString replace = QStringLiteral("The rollers need to be replaced");
  const QString clean = QStringLiteral("The rollers need to be cleaned");
  const Case cases[] = {
      {"below every limit", "199999", "79999", "4999", {}},
      {"friction roller at its limit", "100", "80000", "10", {{replace, friction}}},
      {"feed roller above its limit", "250000", "100", "10", {{replace, feed}}},
      {"both rollers: two boxes", "200000", "80000", "10", {{replace, feed}, {replace, friction}}},
      {"cleaning due", "100", "100", "5000", {{clean, cleaned}}},
      {"cleaning and rollers due: the cleaning box", "200000", "80000", "6000", {{clean, cleaned}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteDocument("info.xml", WithCounters(c.roller, c.friction, c.clean));
    BoxWatcher boxes;
    // A fresh plug-in: a page shows its reminder once.
    if (loader_) loader_->unload();
    loader_.reset();
    OpenAndWait();
    ASSERT_EQ(boxes.Seen().size(), c.boxes.size());
    for (size_t i = 0; i < c.boxes.size(); ++i) {
      EXPECT_EQ(boxes.Seen()[i].title, c.boxes[i].first);
      EXPECT_TRUE(boxes.Seen()[i].text.contains(c.boxes[i].second)) << boxes.Seen()[i].text.toStdString();
      EXPECT_EQ(boxes.Seen()[i].icon, QMessageBox::Information);
    }
  }
}

TEST_F(InfoPageTest, AReminderIsShownOnceAndOnlyWhenSwitchedOn) {
  WriteDocument("info.xml", WithCounters("100", "100", "5000"));
  BoxWatcher boxes;
  OpenAndWait();
  ASSERT_EQ(boxes.Seen().size(), 1u);
  As<ICorModuleBase>()->notifyChanged();
  Pump(2300);
  EXPECT_EQ(boxes.Seen().size(), 1u);
}

TEST_F(InfoPageTest, NoReminderWhenTheSwitchIsOff) {
  WriteDocument("info.xml", WithCounters("100", "100", "5000"));
  fs::create_directories(HwPropsPath().parent_path());
  {
    std::ofstream file(HwPropsPath());
    file << "[TWAIN]\nMaintenanceWarning=2\n";  // only 1 counts as on
  }
  BoxWatcher boxes;
  QWidget* panel = OpenAndWait();
  EXPECT_FALSE(Child<QCheckBox>(panel, "m_chkScnrCfgMaintenance")->isChecked());
  EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(InfoPageTest, AStandardUserSeesTheResetsDisabledWithTheirReason) {
  SetAccountRightsForTests(AccountRights::StandardUser);
  QWidget* panel = OpenPluginPanel();
  for (const char* name : {"m_btnScnrCfgRollerCtReset", "m_btnScnrCfgSeparationCtReset", "m_btnScnrCfgCleanedCtReset",
                           "m_btnScnrCfgJamCtReset"}) {
    auto* button = Child<QPushButton>(panel, name);
    EXPECT_FALSE(button->isEnabled()) << name;
    EXPECT_EQ(button->toolTip(), QStringLiteral("You need administrative privileges to reset this counter")) << name;
  }
  EXPECT_FALSE(Child<QCheckBox>(panel, "m_chkScnrCfgMaintenance")->isEnabled());
  EXPECT_FALSE(Child<QPushButton>(panel, "m_btnUpdateFirmware")->isEnabled());
  EXPECT_EQ(Child<QPushButton>(panel, "m_btnUpdateFirmware")->toolTip(),
            QStringLiteral("You need administrative privileges to update scanner firmware"));
  // An administrator sees them enabled with what they do.
  SetAccountRightsForTests(AccountRights::ElevatedAdministrator);
  As<ICorModuleBase>()->notifyChanged();
  EXPECT_TRUE(Child<QPushButton>(panel, "m_btnScnrCfgRollerCtReset")->isEnabled());
  EXPECT_EQ(Child<QPushButton>(panel, "m_btnScnrCfgCleanedCtReset")->toolTip(),
            QStringLiteral("Reset the scan count back to 0 after the rollers have been cleaned"));
}

}  // namespace
}  // namespace rzd::test
