// Pictures of every page for a person to look at (build/<preset>/pictures/): the three pages of
// the property sheet for an administrator and for a standard user, the plug-in's panel, the
// "Never" value, the reminder and error boxes, and pages in German and Russian. Each picture's
// test asserts what it shows: the rights' states and tooltips, the unit's values, and that every
// text of the panel on it is in the language the picture claims (read against the panel's
// translation sources), so a German picture that came out in English fails.
#include "panel_fixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabBar>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace rzd::test {
namespace {

// The panel's texts from its translation sources: every source text (English), and the
// translations of each language.
class Catalogue {
 public:
  static const Catalogue& Get() {
    static const Catalogue catalogue;
    return catalogue;
  }
  bool IsSource(const QString& text) const { return sources_.count(text) != 0; }
  bool IsIn(const std::string& language, const QString& text) const {
    const auto it = translations_.find(language);
    return it != translations_.end() && it->second.count(text) != 0;
  }
  const std::map<std::string, std::set<QString>>& Translations() const { return translations_; }

 private:
  Catalogue() {
    for (const char* language : {"ru", "en", "fr", "de", "es"}) {
      for (const char* base : {"scannerqc_", "rzddriverconfigui_"}) {
        QFile file(QStringLiteral(RZD_SETPANEL_TRANSLATIONS) + QStringLiteral("/") + QLatin1String(base) +
                   QLatin1String(language) + QStringLiteral(".ts"));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        QXmlStreamReader xml(&file);
        while (xml.readNext() != QXmlStreamReader::EndDocument && !xml.hasError()) {
          if (!xml.isStartElement()) continue;
          if (xml.name() == QLatin1String("source")) sources_.insert(xml.readElementText());
          if (xml.name() == QLatin1String("translation")) translations_[language].insert(xml.readElementText());
        }
        EXPECT_FALSE(xml.hasError()) << file.fileName().toStdString() << ": " << xml.errorString().toStdString() << " at "
                                     << xml.lineNumber();
      }
    }
  }
  std::set<QString> sources_;
  std::map<std::string, std::set<QString>> translations_;
};

// Every text `root` shows: labels (markup taken out), buttons, group captions, tabs, spin-box
// suffixes and special values, combo entries.
QStringList ShownTexts(QWidget* root) {
  QStringList texts;
  auto add = [&texts](const QString& text) {
    if (!text.trimmed().isEmpty()) texts << text;
  };
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  widgets.prepend(root);
  for (QWidget* w : widgets) {
    if (!w->isVisible()) continue;
    if (auto* label = qobject_cast<QLabel*>(w)) add(QString(label->text()).remove(QRegularExpression(QStringLiteral("<[^>]*>"))));
    if (auto* button = qobject_cast<QAbstractButton*>(w)) add(button->text());
    if (auto* group = qobject_cast<QGroupBox*>(w)) add(group->title());
    if (auto* tabs = qobject_cast<QTabBar*>(w)) {
      for (int i = 0; i < tabs->count(); ++i) add(tabs->tabText(i));
    }
    if (auto* spin = qobject_cast<QSpinBox*>(w)) {
      add(spin->suffix());
      add(spin->specialValueText());
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
      for (int i = 0; i < combo->count(); ++i) add(combo->itemText(i));
    }
  }
  return texts;
}

// Asserts that the panel's texts on `root` are in `language`: none is a text of the panel
// that `language` translates otherwise, and at least `least` are the language's own.
void ExpectLanguage(QWidget* root, const std::string& language, int least) {
  const Catalogue& catalogue = Catalogue::Get();
  int own = 0;
  for (const QString& text : ShownTexts(root)) {
    const bool ours = catalogue.IsIn(language, text);
    if (language == "en") {
      if (catalogue.IsSource(text)) ++own;
    } else if (ours && !catalogue.IsSource(text)) {
      ++own;
    }
    if (ours) continue;
    EXPECT_FALSE(catalogue.IsSource(text)) << "untranslated on a " << language << " picture: " << text.toStdString();
    for (const auto& [other, texts] : catalogue.Translations()) {
      EXPECT_EQ(texts.count(text), 0u) << other << " text on a " << language << " picture: " << text.toStdString();
    }
  }
  EXPECT_GE(own, least) << "texts in " << language;
}

struct PageRights {
  bool enabled;
  const char* tips[3];  // the tooltips of m_btnScnrCfgRollerCtReset, m_chkAutoClose, m_chkMoire
};

class ScreenshotsTest : public PanelTest {
 protected:
  // Each page of the sheet, in English, with the rights' states and the tooltips of three
  // controls that rights decide; with `drawTips` those tooltips are drawn on the pictures.
  void SheetPictures(const std::string& prefix, const PageRights& rights, bool drawTips = false) {
    SheetHost sheet;
    CreateSheet(sheet);
    static const char* const kNames[] = {"device", "driver", "hwip"};
    static const char* const kTipped[] = {"m_btnScnrCfgRollerCtReset", "m_chkAutoClose", "m_chkMoire"};
    static const char* const kTabs[] = {"Device settings", "Driver settings", "HW IP"};
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(kNames[i]);
      sheet.ShowTab(i);
      auto* tipped = Child<QWidget>(sheet.Container(i), kTipped[i]);
      ASSERT_NE(tipped, nullptr);
      Picture(sheet.Dialog(), prefix + "_" + kNames[i], drawTips ? tipped : nullptr);
      EXPECT_EQ(tipped->isEnabled(), rights.enabled);
      EXPECT_EQ(tipped->toolTip().toStdString(), rights.tips[i]);
      EXPECT_EQ(sheet.Dialog()->findChild<QTabBar*>()->tabText(i).toStdString(), kTabs[i]);
      ExpectLanguage(sheet.Dialog(), "en", 8);
    }
    EXPECT_EQ(sheet.Dialog()->windowTitle(), QStringLiteral("Quarx M48tz Scanner #2 Properties"));
    auto destroy = Export<DestroyHWPropPageFn>(kDestroyHWPropPageName);
    for (int i = 0; i < 3; ++i) destroy(i);
  }
};

TEST_F(ScreenshotsTest, EveryPageForAnAdministrator) {
  SheetPictures("panel_admin", {true,
                                {"Reset the scan count back to 0 after the rollers have been replaced",
                                 "The interface closes automatically when scanning is complete.",
                                 "Select to enable this option in hardware image processing"}});
}

TEST_F(ScreenshotsTest, EveryPageForAStandardUser) {
  SetAccountRightsForTests(AccountRights::StandardUser);
  SheetPictures("panel_standard_user",
                {false,
                 {"You need administrative privileges to reset this counter",
                  "You need administrative privileges to change this setting.",
                  "You need administrative privileges to change this setting."}},
                true);
}

TEST_F(ScreenshotsTest, EveryPageForANonElevatedAdministrator) {
  SetAccountRightsForTests(AccountRights::AdministratorsMember);
  SheetPictures("panel_admin_not_elevated",
                {false,
                 {"You need administrative privileges to reset this counter",
                  "This option can only be changed when the scanner properties windows are opened from the Windows "
                  "Control Panel.",
                  "This option can only be changed when the scanner properties windows are opened from the Windows "
                  "Control Panel"}},
                true);
}

TEST_F(ScreenshotsTest, ThePluginPanel) {
  QWidget* panel = OpenPluginPanel();
  ASSERT_NE(panel, nullptr);
  Picture(panel, "panel_plugin");
  // The unit's values as the scripted service gave them.
  const std::pair<const char*, const char*> fields[] = {
      {"m_txtSerialNumber", "QX48T-0012345"}, {"m_txtFirmwareVersion", "1.07"}, {"m_txtDriverVersion", "1, 0, 0, 0"},
      {"m_txtLLDVersion", "1, 0, 0, 0"},      {"m_txtRollerCt", "123456"},       {"m_txtSeparationCt", "51230"},
      {"m_txtCleanedCt", "2480"},             {"m_txtScanHistorySimplex", "45210"}, {"m_txtScanHistoryDuplex", "39122"},
      {"m_txtMultifeedCt", "17"},             {"m_txtJamCt", "9"}};
  for (const auto& [name, value] : fields) {
    QWidget* field = Child<QWidget>(panel, name);
    ASSERT_NE(field, nullptr) << name;
    EXPECT_TRUE(field->isVisible()) << name;
    QString text;
    if (auto* label = qobject_cast<QLabel*>(field)) text = label->text();
    if (auto* box = qobject_cast<QLineEdit*>(field)) text = box->text();
    EXPECT_EQ(text.toStdString(), value) << name;
  }
  EXPECT_EQ(Child<QSpinBox>(panel, "m_spnScnrCfgTimeout")->value(), 15);
  EXPECT_EQ(Child<QSpinBox>(panel, "m_spnScnrCfgOffTimeout")->value(), 240);
  EXPECT_EQ(Child<QSpinBox>(panel, "m_spnScnrCfgERPTimeout")->value(), 60);
  EXPECT_FALSE(Child<QWidget>(panel, "m_txtFirstScan")->isVisible());
  ExpectLanguage(panel, "en", 20);
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
  for (const SeenBox& box : boxes.Seen()) {
    EXPECT_EQ(box.title, QStringLiteral("Error Occurred"));
    EXPECT_EQ(box.icon, QMessageBox::Critical);
  }
  EXPECT_EQ(boxes.Seen()[0].text, QStringLiteral("The scanner is in use by another application."));
  EXPECT_EQ(boxes.Seen()[1].text, QStringLiteral("No connection with device"));
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
  EXPECT_EQ(boxes.Seen()[0].text,
            QStringLiteral("After you have cleaned the rollers, click the reset button next to the \"Count since last "
                           "cleaned:\" counter to reset the roller scan count back to 0. This message will no longer be "
                           "displayed after you click the reset button."));
  EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Information);
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
  ExpectLanguage(sheet.Dialog(), "de", 15);
  EXPECT_EQ(Child<QAbstractButton>(sheet.Container(1), "m_chkLockSettings")->text(), QStringLiteral("Einstellungen sperren"));
  EXPECT_EQ(Child<QComboBox>(sheet.Container(1), "m_cmbDefaultPreset")->currentText(), QStringLiteral("Zuletzt verwendete Einstellungen"));
  sheet.ShowTab(0);
  Picture(sheet.Dialog(), "panel_german_device");
  ExpectLanguage(sheet.Dialog(), "de", 15);
  EXPECT_EQ(Child<QLabel>(sheet.Container(0), "m_lblSerialNumber")->text(), QStringLiteral("Seriennummer:"));
  const QTabBar* tabs = sheet.Dialog()->findChild<QTabBar*>();
  EXPECT_EQ(tabs->tabText(0), QStringLiteral("Geräteeinstellungen"));
  EXPECT_EQ(tabs->tabText(1), QStringLiteral("Treibereinstellungen"));
  EXPECT_EQ(tabs->tabText(2), QStringLiteral("HW-Bildverarbeitung"));
  EXPECT_EQ(sheet.Dialog()->windowTitle(), QStringLiteral("Quarx M48tz Scanner #2 Eigenschaften"));
  BoxWatcher boxes;
  boxes.Answer(QMessageBox::No);
  boxes.PictureNext("box_german_question");
  Child<QAbstractButton>(sheet.Container(1), "m_chkEmulateWia")->click();
  ASSERT_EQ(boxes.Seen().size(), 1u);
  EXPECT_EQ(boxes.Seen()[0].title, QStringLiteral("Achtung!"));
  EXPECT_EQ(boxes.Seen()[0].text, QStringLiteral("Dadurch ändert sich das Verhalten des WIA-Treibers. Möchten Sie fortfahren?"));
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
  ExpectLanguage(sheet.Dialog(), "ru", 20);
  EXPECT_EQ(Child<QLabel>(sheet.Container(0), "m_lblSerialNumber")->text(), QStringLiteral("Серийный номер:"));
  sheet.ShowTab(2);
  Picture(sheet.Dialog(), "panel_russian_hwip");
  ExpectLanguage(sheet.Dialog(), "ru", 8);
  const QTabBar* tabs = sheet.Dialog()->findChild<QTabBar*>();
  EXPECT_EQ(tabs->tabText(0), QStringLiteral("Параметры устройства"));
  EXPECT_EQ(tabs->tabText(1), QStringLiteral("Параметры драйвера"));
  EXPECT_EQ(tabs->tabText(2), QStringLiteral("Аппаратная обработка"));
  EXPECT_EQ(sheet.Dialog()->windowTitle(), QStringLiteral("Quarx M48tz Scanner #2 Свойства"));
  auto destroy = Export<DestroyHWPropPageFn>(kDestroyHWPropPageName);
  for (int i = 0; i < 3; ++i) destroy(i);
}

}  // namespace
}  // namespace rzd::test
