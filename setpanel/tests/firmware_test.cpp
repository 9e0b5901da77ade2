// The firmware row: the updater named by the unit's FIRMWARE_UPDATER value, started with the
// unit's symbolic name, waited for through the event loop with the "Update" button disabled
// while it lives; an exit code of 0 leaves the button disabled, anything else enables it again.
#include "panel_fixture.h"

#include "foundation/folders.h"
#include "platform/root.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace rzd::test {
namespace {

class FirmwareTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    // The scripted updater where the unit's class key names it, below the common files folder.
    fs::path common;
    ASSERT_TRUE(GetCommonFilesX86Folder(&common));
    updaterFolder_ = common / "FWUpdater";
    fs::create_directories(updaterFolder_);
    fs::copy_file(BinaryDir() / "rzd-fwupdater", updaterFolder_ / "rzd-fwupdater");
    fs::create_directories(Script());
    // The unit runs firmware older than the driver's.
    std::string info = DefaultInfoDocument();
    info.replace(info.find("<DefaultFirmwareVersion>1.07"), 28, "<DefaultFirmwareVersion>1.09");
    WriteDocument("info.xml", info);
  }
  fs::path Script() const { return SystemRoot() / "fwupdater"; }
  void Touch(const char* name, const std::string& text = {}) { std::ofstream(Script() / name) << text; }
  std::vector<std::string> Starts() const {
    std::vector<std::string> lines;
    std::ifstream in(Script() / "calls.log");
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // Pumps the event loop until `done` or about ten seconds passed.
  static bool PumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) Pump(20);
    return done();
  }
  fs::path updaterFolder_;
};

TEST_F(FirmwareTest, TheButtonStaysDisabledWhileTheUpdaterRunsAndAfterSuccess) {
  QWidget* panel = OpenPluginPanel();
  auto* button = Child<QPushButton>(panel, "m_btnUpdateFirmware");
  ASSERT_TRUE(button->isEnabled());
  EXPECT_EQ(button->toolTip(),
            QStringLiteral("If the scanner's firmware version is out of date, click this button to update the scanner"));
  Touch("hold");
  button->click();
  // The updater started and holds: the panel answers events and the button stays disabled,
  // through a refresh of the page too.
  ASSERT_TRUE(PumpUntil([this] { return !Starts().empty(); }));
  Pump(300);
  EXPECT_FALSE(button->isEnabled());
  As<ICorModuleBase>()->notifyChanged();
  EXPECT_FALSE(button->isEnabled());
  // A second click while it runs starts nothing.
  button->click();
  fs::remove(Script() / "hold");
  Pump(500);
  ASSERT_EQ(Starts().size(), 1u);
  // Started in its own folder with the unit's symbolic name.
  EXPECT_EQ(Starts()[0], updaterFolder_.string() +
                             "\t\\\\?\\usb#vid_2e5a&pid_0148#5&1a2b3c&0&2#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  // It ended with 0: the button stays disabled until the page is refreshed.
  EXPECT_FALSE(button->isEnabled());
  As<ICorModuleBase>()->notifyChanged();
  EXPECT_TRUE(button->isEnabled());
}

TEST_F(FirmwareTest, AFailedUpdateEnablesTheButtonAgain) {
  struct Case {
    const char* name;
    std::function<void()> script;
  };
  const Case cases[] = {
      {"exit code 3", [this] { Touch("exit-code", "3"); }},
      {"no updater program", [this] { fs::remove(updaterFolder_ / "rzd-fwupdater"); }},
  };
  QWidget* panel = OpenPluginPanel();
  auto* button = Child<QPushButton>(panel, "m_btnUpdateFirmware");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.script();
    ASSERT_TRUE(button->isEnabled());
    button->click();
    EXPECT_FALSE(button->isEnabled());
    EXPECT_TRUE(PumpUntil([button] { return button->isEnabled(); }));
  }
}

TEST_F(FirmwareTest, UpToDateFirmwareOrAStandardUserLeavesTheButtonDisabled) {
  // Before the unit's information is read the button waits disabled.
  WriteDocument("info.xml", "<RZDScanner");
  EXPECT_FALSE(Child<QPushButton>(OpenPluginPanel(), "m_btnUpdateFirmware")->isEnabled());
  SetAccountRightsForTests(AccountRights::StandardUser);
  WriteDocument("info.xml", DefaultInfoDocument().replace(DefaultInfoDocument().find("1.07</Default"), 4, "1.09"));
  QWidget* panel = OpenPluginPanel();
  EXPECT_FALSE(Child<QPushButton>(panel, "m_btnUpdateFirmware")->isEnabled());
  SetAccountRightsForTests(AccountRights::ElevatedAdministrator);
  WriteDocument("info.xml", DefaultInfoDocument());
  As<ICorModuleBase>()->notifyChanged();
  EXPECT_FALSE(Child<QPushButton>(panel, "m_btnUpdateFirmware")->isEnabled());
}

}  // namespace
}  // namespace rzd::test
