// Pages 1 and 2 and the Apply of every page: what each shows from the unit's HWProps.ini, that
// Apply writes exactly its own keys, the "Emulate WIA 1.0" question and the power-cycle box,
// the presets, and the rights of the user.
#include "panel_fixture.h"

#include "foundation/hwprops.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/registry.h"
#include "platform/root.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

namespace rzd::test {
namespace {

class PagesTest : public PanelTest {
 protected:
  void TearDown() override {
    if (library_) {
      auto destroy = Export<DestroyHWPropPageFn>(kDestroyHWPropPageName);
      for (int i = 0; i < 3; ++i) destroy(i);
    }
    PanelTest::TearDown();
  }
  HwPropsFile File() const { return HwPropsFile(u"M48tz"); }
  int Apply(int key) { return Export<ApplyChangesFn>(kApplyChangesName)(key); }
  QCheckBox* Box(SheetHost& sheet, int page, const char* name) { return Child<QCheckBox>(sheet.Container(page), name); }
  std::vector<std::string> KeysWritten() {
    std::vector<std::string> keys;
    for (const std::string& line : HwPropsLines()) keys.push_back(line.substr(0, line.find('=')));
    return keys;
  }
};

// Page 1 shows the unit's file, not the defaults, and one Apply writes back what it showed.
TEST_F(PagesTest, DriverPageShowsTheRealFilesValues) {
  const HwPropsFile file = File();
  ASSERT_TRUE(file.WriteInt(HwProp::TWAIN_AutoClose, 1));
  ASSERT_TRUE(file.WriteInt(HwProp::DriversSettingsLock, 1));
  ASSERT_TRUE(file.WriteInt(HwProp::EMULATE_WIA_1_0, 1));
  ASSERT_TRUE(file.WriteString(HwProp::DriversProfile, u"_"));
  SheetHost sheet;
  ASSERT_TRUE(CreatePage(sheet, 1));
  EXPECT_TRUE(Box(sheet, 1, "m_chkAutoClose")->isChecked());
  EXPECT_TRUE(Box(sheet, 1, "m_chkLockSettings")->isChecked());
  EXPECT_TRUE(Box(sheet, 1, "m_chkEmulateWia")->isChecked());
  EXPECT_FALSE(Box(sheet, 1, "m_chkTopmost")->isChecked());
  auto* preset = Child<QComboBox>(sheet.Container(1), "m_cmbDefaultPreset");
  EXPECT_EQ(preset->currentText(), QStringLiteral("Default settings"));
  // A change and Apply keep every other value as the file had it.
  Box(sheet, 1, "m_chkTopmost")->click();
  EXPECT_TRUE(sheet.ApplyEnabled());
  EXPECT_EQ(Apply(1), 1);
  EXPECT_EQ(file.ReadInt(HwProp::TWAIN_AutoClose), 1);
  EXPECT_EQ(file.ReadInt(HwProp::DriversSettingsLock), 1);
  EXPECT_EQ(file.ReadInt(HwProp::EMULATE_WIA_1_0), 1);
  EXPECT_EQ(file.ReadInt(HwProp::TWAIN_Topmost), 1);
  EXPECT_EQ(file.ReadString(HwProp::DriversProfile), u"_");
}

TEST_F(PagesTest, WithoutAFileThePagesShowTheDefaults) {
  SheetHost sheet;
  CreateSheet(sheet);
  for (const char* name : {"m_chkFilter", "m_chkBDR", "m_chkCropDeskew", "m_chkMoire", "m_chkRotate", "m_chkBPD"}) {
    EXPECT_TRUE(Box(sheet, 2, name)->isChecked()) << name;
  }
  for (QCheckBox* box : sheet.Container(1)->findChildren<QCheckBox*>()) EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
  EXPECT_EQ(Child<QComboBox>(sheet.Container(1), "m_cmbDefaultPreset")->currentText(), QStringLiteral("Last used settings"));
  EXPECT_TRUE(Child<QCheckBox>(sheet.Container(0), "m_chkScnrCfgMaintenance")->isChecked());
}

TEST_F(PagesTest, ApplyOfEachPageWritesExactlyItsKeys) {
  struct Case {
    int page;
    const char* control;
    std::vector<std::string> keys;
  };
  const Case cases[] = {
      {0, "m_chkScnrCfgMaintenance", {"MaintenanceWarning"}},
      {1, "m_chkAutoClose",
       {"EMULATE_WIA_1_0", "DEFAULT_WIA_UI", "TWAIN_AutoXfer", "TWAIN_AutoClose", "TWAIN_ForceUILess",
        "TWAIN_ProfileOverrides", "TWAIN_EndUserCompression", "TWAIN_RememberCompression", "TWAIN_FailOpenNotPresent",
        "TWAIN_Topmost", "DriversSettingsLock", "TWAIN_Seq_Unsupport", "TWAIN_SuppressEnableDSFailure", "DriversProfile"}},
      {2, "m_chkMoire", {"HWIP_CropDeskew", "HWIP_Moire", "HWIP_Rotate", "HWIP_BPD", "HWIP_BDR", "HWIP_Filter"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    std::error_code ec;
    fs::remove(HwPropsPath(), ec);
    SheetHost sheet;
    CreateSheet(sheet);
    // Nothing changed: Apply writes nothing.
    for (int key = 0; key < 3; ++key) EXPECT_EQ(Apply(key), 1);
    EXPECT_FALSE(fs::exists(HwPropsPath()));
    Box(sheet, c.page, c.control)->click();
    EXPECT_EQ(Apply(c.page), 1);
    EXPECT_EQ(KeysWritten(), c.keys);
    // Applying again without a change writes nothing more.
    fs::remove(HwPropsPath(), ec);
    EXPECT_EQ(Apply(c.page), 1);
    EXPECT_FALSE(fs::exists(HwPropsPath()));
    auto destroy = Export<DestroyHWPropPageFn>(kDestroyHWPropPageName);
    for (int i = 0; i < 3; ++i) destroy(i);
  }
  // Page 0 also keeps the firmware preference per user, under the unit's name cut before " #2".
  RegKey key;
  ASSERT_EQ(RegKey::Open(Hive::CurrentUser, u"Software\\Corvanite\\FWUpdater\\Quarx M48tz Scanner", &key), 0u);
  uint32_t notAsking = 7;
  EXPECT_EQ(key.GetDword(u"NotAsking", &notAsking), 0u);
  EXPECT_EQ(notAsking, 0u);  // the box shows checked while no value is stored
}

// The firmware preference is the user's: Apply writes it only when the page read it (with the
// unit's information) or the user changed the box, never over a stored choice it did not see.
TEST_F(PagesTest, ApplyKeepsAFirmwarePreferenceThePageNeverRead) {
  const std::u16string keyPath = u"Software\\Corvanite\\FWUpdater\\Quarx M48tz Scanner";
  struct Case {
    const char* name;
    const char* answers;
    std::optional<uint32_t> stored;
    std::optional<uint32_t> afterReminderApply;  // the reminder box toggled, then Apply
    std::optional<uint32_t> afterFirmwareApply;  // then the firmware box toggled, then Apply
  };
  const Case cases[] = {
      {"read fails, 'do not ask' stored", "control 4 12\n", 2u, 2u, 0u},
      {"read fails, 'ask' stored", "control 4 12\n", 0u, 0u, 0u},
      {"read fails, nothing stored", "control 4 -2147467259\n", std::nullopt, std::nullopt, 0u},
      {"read works, 'do not ask' stored", "", 2u, 2u, 0u},
      {"read works, nothing stored", "", std::nullopt, 0u, 2u},
  };
  auto stored = [&keyPath]() -> std::optional<uint32_t> {
    RegKey key;
    uint32_t value = 0;
    if (RegKey::Open(Hive::CurrentUser, keyPath, &key) != 0 || key.GetDword(u"NotAsking", &value) != 0) return std::nullopt;
    return value;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegKey key;
    ASSERT_EQ(RegKey::Create(Hive::CurrentUser, keyPath, &key), 0u);
    if (c.stored) {
      key.SetDword(u"NotAsking", *c.stored);
    } else {
      key.DeleteValue(u"NotAsking");
    }
    std::error_code ec;
    fs::remove(HwPropsPath(), ec);
    SetAnswers(c.answers);
    SheetHost sheet;
    ASSERT_TRUE(CreatePage(sheet, 0));
    Box(sheet, 0, "m_chkScnrCfgMaintenance")->click();
    EXPECT_EQ(Apply(0), 1);
    EXPECT_EQ(File().ReadInt(HwProp::MaintenanceWarning), 0);
    EXPECT_EQ(stored(), c.afterReminderApply);
    // The user's own choice is written.
    Box(sheet, 0, "m_chkFW")->click();
    EXPECT_EQ(Apply(0), 1);
    EXPECT_EQ(stored(), c.afterFirmwareApply);
    Export<DestroyHWPropPageFn>(kDestroyHWPropPageName)(0);
  }
}

// Page 2 says only what its six switches are: the frame around them has no caption.
TEST_F(PagesTest, TheHardwarePageShowsItsSixSwitchesAndNoCaption) {
  SheetHost sheet;
  ASSERT_TRUE(CreatePage(sheet, 2));
  QStringList texts;
  for (QWidget* control : sheet.Container(2)->findChildren<QWidget*>()) {
    if (auto* group = qobject_cast<QGroupBox*>(control)) texts << QStringLiteral("group:") + group->title();
    if (auto* box = qobject_cast<QCheckBox*>(control)) texts << box->text();
    if (auto* label = qobject_cast<QLabel*>(control); label != nullptr && !label->text().isEmpty()) texts << label->text();
  }
  EXPECT_EQ(texts, (QStringList{QStringLiteral("group:"), QStringLiteral("Filter"), QStringLiteral("Bit depth reduction"),
                                QStringLiteral("Crop to original && Straighten image"), QStringLiteral("Reduce moiré"),
                                QStringLiteral("Rotate image"), QStringLiteral("Skip blank originals")}));
}

TEST_F(PagesTest, ChangingEmulationAsksAndApplyingTwiceShowsThePowerCycleBoxOnce) {
  SheetHost sheet;
  ASSERT_TRUE(CreatePage(sheet, 1));
  QCheckBox* emulate = Box(sheet, 1, "m_chkEmulateWia");
  BoxWatcher boxes;
  // "No" puts the box back and leaves the page unchanged.
  boxes.Answer(QMessageBox::No);
  emulate->click();
  EXPECT_FALSE(emulate->isChecked());
  EXPECT_FALSE(sheet.ApplyEnabled());
  ASSERT_EQ(boxes.Seen().size(), 1u);
  EXPECT_EQ(boxes.Seen()[0].title, QStringLiteral("Attention!"));
  EXPECT_EQ(boxes.Seen()[0].text, QStringLiteral("This will change WIA driver behaviour. Do you want to continue?"));
  // "Yes" changes it.
  boxes.Answer(QMessageBox::Yes);
  emulate->click();
  EXPECT_TRUE(emulate->isChecked());
  EXPECT_TRUE(sheet.ApplyEnabled());
  boxes.Clear();
  boxes.Answer(QMessageBox::Ok);
  EXPECT_EQ(Apply(1), 1);
  EXPECT_EQ(boxes.Texts(), std::vector<QString>{QStringLiteral("Power cycle the scanner and click OK.")});
  EXPECT_EQ(File().ReadInt(HwProp::EMULATE_WIA_1_0), 1);
  // A second Apply, and an Apply after another change, ask for no second power cycle.
  EXPECT_EQ(Apply(1), 1);
  Box(sheet, 1, "m_chkTopmost")->click();
  EXPECT_EQ(Apply(1), 1);
  EXPECT_EQ(boxes.Seen().size(), 1u);
}

TEST_F(PagesTest, PresetsAreTheSettingsDocumentsOfTheModelsFolder) {
  const fs::path folder = KnownFolderPath(KnownFolder::CommonAppData) / "Corvanite" / "TWAIN" / "M48tz";
  fs::create_directories(folder);
  const std::string preset =
      "<Scanner><DocumentSources><List><Item Name=\"DocumentSource\"><ImageSources><List><Item Name=\"ImageSource\">"
      "<Streams><List><Item Name=\"Stream\"/></List></Streams></Item></List></ImageSources></Item></List>"
      "</DocumentSources></Scanner>";
  auto write = [&folder](const char* name, const std::string& text) {
    std::ofstream out(folder / name);
    out << text;
  };
  write("Invoices.xml", preset);
  write("Photos.v2.xml", preset);
  write("LastUsed.xml", preset);
  write("Notes.txt", "not a settings document");
  write("Other.xml", "<Scanner/>");
  fs::create_directories(folder / "Folder.xml");
  fs::create_symlink(folder / "Invoices.xml", folder / "Linked.xml");
  // The stored default names a preset whose file is gone: it stays the default.
  ASSERT_TRUE(File().WriteString(HwProp::DriversProfile, u"Archive"));
  SheetHost sheet;
  ASSERT_TRUE(CreatePage(sheet, 1));
  auto* combo = Child<QComboBox>(sheet.Container(1), "m_cmbDefaultPreset");
  QStringList entries;
  for (int i = 0; i < combo->count(); ++i) entries << combo->itemText(i);
  EXPECT_EQ(entries, (QStringList{QStringLiteral("Default settings"), QStringLiteral("Last used settings"),
                                  QStringLiteral("Invoices"), QStringLiteral("Photos.v2"), QStringLiteral("Archive")}));
  EXPECT_EQ(combo->currentText(), QStringLiteral("Archive"));
  Box(sheet, 1, "m_chkTopmost")->click();
  Apply(1);
  EXPECT_EQ(File().ReadString(HwProp::DriversProfile), u"Archive");
  // Choosing a listed preset stores its name; "Default settings" stores "_".
  combo->setCurrentIndex(2);
  emit combo->activated(2);
  Apply(1);
  EXPECT_EQ(File().ReadString(HwProp::DriversProfile), u"Invoices");
  combo->setCurrentIndex(0);
  emit combo->activated(0);
  Apply(1);
  EXPECT_EQ(File().ReadString(HwProp::DriversProfile), u"_");
}

TEST_F(PagesTest, AutoTransferBelongsToUnitsThatSenseMedia) {
  struct Case {
    const char* name;
    std::string supported;
    const char16_t* combineWith;
    bool visible;
    bool enabled;
  };
  const std::string noSensor = "<Scanner Name=\"Quarx M48tz\"><HardwareSettings/></Scanner>";
  const Case cases[] = {{"media sensor", DefaultSupportedDocument(), nullptr, true, true},
                        {"no sensor", noSensor, nullptr, false, false},
                        {"no sensor, combined unit", noSensor, u"0001", true, true},
                        {"no document", "<Scanner", nullptr, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteDocument("supported.xml", c.supported);
    RegKey unit;
    ASSERT_EQ(RegKey::Create(Hive::LocalMachine, std::u16string(lowdrv::kImageClassKey) + u"\\0000", &unit), 0u);
    if (c.combineWith != nullptr) {
      unit.SetString(u"CombineWith", c.combineWith);
    } else {
      unit.DeleteValue(u"CombineWith");
    }
    SheetHost sheet;
    ASSERT_TRUE(CreatePage(sheet, 1));
    sheet.Dialog()->show();
    QCheckBox* box = Box(sheet, 1, "m_chkAutoXfer");
    EXPECT_EQ(box->isVisibleTo(sheet.Container(1)), c.visible);
    EXPECT_EQ(box->isEnabled(), c.enabled);
    Export<DestroyHWPropPageFn>(kDestroyHWPropPageName)(1);
  }
}

// Every option tells what it does, "Suppress EnableDS failure" included.
TEST_F(PagesTest, EveryOptionHasATooltipForAnAdministrator) {
  SheetHost sheet;
  CreateSheet(sheet);
  EXPECT_EQ(Child<QCheckBox>(sheet.Container(1), "m_chkSuppressEnableDSFailure")->toolTip(),
            QStringLiteral("Report success to the application when the scanner's interface cannot be enabled."));
  for (int page : {1, 2}) {
    for (QWidget* control : sheet.Container(page)->findChildren<QWidget*>()) {
      if (qobject_cast<QCheckBox*>(control) == nullptr && qobject_cast<QComboBox*>(control) == nullptr) continue;
      EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
      EXPECT_FALSE(control->toolTip().isEmpty()) << control->objectName().toStdString();
    }
  }
}

TEST_F(PagesTest, UsersWithoutElevationSeeEveryOptionDisabledWithTheirReason) {
  struct Case {
    AccountRights rights;
    QString page1;
    QString page2;
  };
  const Case cases[] = {
      {AccountRights::StandardUser, QStringLiteral("You need administrative privileges to change this setting."),
       QStringLiteral("You need administrative privileges to change this setting.")},
      {AccountRights::AdministratorsMember,
       QStringLiteral("This option can only be changed when the scanner properties windows are opened from the "
                      "Windows Control Panel."),
       QStringLiteral("This option can only be changed when the scanner properties windows are opened from the "
                      "Windows Control Panel")},
  };
  for (const Case& c : cases) {
    SetAccountRightsForTests(c.rights);
    SheetHost sheet;
    CreateSheet(sheet);
    int controls = 0;
    for (QWidget* control : sheet.Container(1)->findChildren<QWidget*>()) {
      if (qobject_cast<QCheckBox*>(control) == nullptr && qobject_cast<QComboBox*>(control) == nullptr) continue;
      ++controls;
      EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
      EXPECT_EQ(control->toolTip(), c.page1) << control->objectName().toStdString();
    }
    EXPECT_EQ(controls, 14);
    for (QCheckBox* box : sheet.Container(2)->findChildren<QCheckBox*>()) {
      EXPECT_FALSE(box->isEnabled());
      EXPECT_EQ(box->toolTip(), c.page2);
    }
    auto destroy = Export<DestroyHWPropPageFn>(kDestroyHWPropPageName);
    for (int i = 0; i < 3; ++i) destroy(i);
  }
}

}  // namespace
}  // namespace rzd::test
