// Pictures of every page for a person to look at (build/<preset>/pictures/): the three pages of
// the property sheet for an administrator and for a standard user, the plug-in's panel, the
// "Never" value, the reminder and error boxes, and pages in German and Russian.
#include "panel_fixture.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace rzd::test {
namespace {

class ScreenshotsTest : public PanelTest {
 protected:
  // Each page of the sheet; with `tips`, the tooltip of a control that rights decide.
  void SheetPictures(const std::string& prefix, bool tips = false) {
    SheetHost sheet;
    CreateSheet(sheet);
    static const char* const kNames[] = {"device", "driver", "hwip"};
    static const char* const kTipped[] = {"m_btnScnrCfgRollerCtReset", "m_chkAutoClose", "m_chkMoire"};
    for (int i = 0; i < 3; ++i) {
      sheet.ShowTab(i);
      QWidget* tip = tips ? Child<QWidget>(sheet.Container(i), kTipped[i]) : nullptr;
      Picture(sheet.Dialog(), prefix + "_" + kNames[i], tip);
    }
    auto destroy = Export<DestroyHWPropPageFn>(kDestroyHWPropPageName);
    for (int i = 0; i < 3; ++i) destroy(i);
  }
};

TEST_F(ScreenshotsTest, EveryPageForAnAdministrator) { SheetPictures("panel_admin"); }

TEST_F(ScreenshotsTest, EveryPageForAStandardUser) {
  SetAccountRightsForTests(AccountRights::StandardUser);
  SheetPictures("panel_standard_user", true);
}

TEST_F(ScreenshotsTest, EveryPageForANonElevatedAdministrator) {
  SetAccountRightsForTests(AccountRights::AdministratorsMember);
  SheetPictures("panel_admin_not_elevated", true);
}

TEST_F(ScreenshotsTest, ThePluginPanel) {
  QWidget* panel = OpenPluginPanel();
  ASSERT_NE(panel, nullptr);
  Picture(panel, "panel_plugin");
}

// The power-off time 0 shows "Never" (its range starts at 14, the value that reads "Never").
TEST_F(ScreenshotsTest, TheNeverValue) {
  std::string info = DefaultInfoDocument();
  info.replace(info.find("<PowerOffTimeout>240"), 20, "<PowerOffTimeout>0");
  WriteDocument("info.xml", info);
  QWidget* panel = OpenPluginPanel();
  auto* off = Child<QSpinBox>(panel, "m_spnScnrCfgOffTimeout");
  ASSERT_NE(off, nullptr);
  EXPECT_EQ(off->minimum(), 14);
  EXPECT_EQ(off->text(), QStringLiteral("Never"));
  Picture(panel->findChild<QWidget*>(QStringLiteral("m_grpPower")), "panel_never_power_off");
}

TEST_F(ScreenshotsTest, TheErrorBoxes) {
  QWidget* panel = OpenPluginPanel();
  Picture(panel, "panel_before_error");
  BoxWatcher boxes;
  SetAnswers("lock 170\n");
  boxes.PictureNext("box_error_in_use");
  Child<QPushButton>(panel, "m_btnScnrCfgRollerCtReset")->click();
  SetAnswers("control 19 12\n");
  boxes.PictureNext("box_error_no_connection");
  Child<QPushButton>(panel, "m_btnScnrCfgCleanedCtReset")->click();
  ASSERT_EQ(boxes.Seen().size(), 2u);
  EXPECT_EQ(boxes.Seen()[0].title, QStringLiteral("Error Occurred"));
}

TEST_F(ScreenshotsTest, TheReminderBoxes) {
  std::string info = DefaultInfoDocument();
  info.replace(info.find("<CleanCounter>2480"), 18, "<CleanCounter>5000");
  WriteDocument("info.xml", info);
  BoxWatcher boxes;
  boxes.PictureNext("box_reminder_clean");
  QWidget* panel = OpenPluginPanel();
  panel->show();
  Pump(2600);
  ASSERT_EQ(boxes.Seen().size(), 1u);
  EXPECT_EQ(boxes.Seen()[0].title, QStringLiteral("The rollers need to be cleaned"));
}

class GermanScreenshotsTest : public ScreenshotsTest {
 protected:
  const char* Locale() const override { return "de_DE.UTF-8"; }
};

TEST_F(GermanScreenshotsTest, DriverPageInGerman) {
  SheetHost sheet;
  CreateSheet(sheet);
  sheet.ShowTab(1);
  Picture(sheet.Dialog(), "panel_german_driver");
  sheet.ShowTab(0);
  Picture(sheet.Dialog(), "panel_german_device");
  BoxWatcher boxes;
  boxes.Answer(QMessageBox::No);
  boxes.PictureNext("box_german_question");
  Child<QAbstractButton>(sheet.Container(1), "m_chkEmulateWia")->click();
  ASSERT_EQ(boxes.Seen().size(), 1u);
  auto destroy = Export<DestroyHWPropPageFn>(kDestroyHWPropPageName);
  for (int i = 0; i < 3; ++i) destroy(i);
}

class RussianScreenshotsTest : public ScreenshotsTest {
 protected:
  const char* Locale() const override { return "ru_RU.UTF-8"; }
};

TEST_F(RussianScreenshotsTest, DevicePageInRussian) {
  SheetHost sheet;
  CreateSheet(sheet);
  sheet.ShowTab(0);
  Picture(sheet.Dialog(), "panel_russian_device");
  sheet.ShowTab(2);
  Picture(sheet.Dialog(), "panel_russian_hwip");
  auto destroy = Export<DestroyHWPropPageFn>(kDestroyHWPropPageName);
  for (int i = 0; i < 3; ++i) destroy(i);
}

}  // namespace
}  // namespace rzd::test
