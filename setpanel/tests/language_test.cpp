// The panel's language: the rule that picks it from the system locale and the library's letters,
// where the locale's name comes from, and that a page made after the last one went speaks the
// locale of that moment, in the same process.
#include "panel_fixture.h"

#include "platform/process.h"
#include "platform/text.h"
#include "shell/language.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace rzd::test {
namespace {

using panel::ChooseLanguage;
using panel::kAllLanguageLetters;
using panel::kAttachedLanguageLetters;

TEST(ChooseLanguageTest, TheLettersDecideWhichLanguagesAreKept) {
  struct Case {
    const char* letters;
    const char* locale;
    const char* language;
  };
  const Case cases[] = {
      // The attached library speaks ru, en, fr, de and es, English for every other language.
      {kAttachedLanguageLetters, "de_DE", "de"},
      {kAttachedLanguageLetters, "de_AT", "de"},
      {kAttachedLanguageLetters, "ru_RU", "ru"},
      {kAttachedLanguageLetters, "fr_CA", "fr"},
      {kAttachedLanguageLetters, "es_MX", "es"},
      {kAttachedLanguageLetters, "en_GB", "en"},
      {kAttachedLanguageLetters, "it_IT", "en"},
      {kAttachedLanguageLetters, "zh_TW", "en"},
      {kAttachedLanguageLetters, "zh_CN", "en"},
      {kAttachedLanguageLetters, "pt_BR", "en"},
      {kAttachedLanguageLetters, "ko_KR", "en"},
      {kAttachedLanguageLetters, "tr_TR", "en"},
      {kAttachedLanguageLetters, "ja_JP", "en"},
      {kAttachedLanguageLetters, "C", "en"},
      // Before the attach every language is kept as it stands.
      {kAllLanguageLetters, "it_IT", "it"},
      {kAllLanguageLetters, "pt_BR", "pt"},
      {kAllLanguageLetters, "ja_JP", "ja"},
      {kAllLanguageLetters, "zh_TW", "tw"},
      {kAllLanguageLetters, "zh_MO", "tw"},
      {kAllLanguageLetters, "zh_HK", "tw"},
      {kAllLanguageLetters, "zh_CN", "cn"},
      {kAllLanguageLetters, "zh_SG", "cn"},
      // Chinese is kept for the letter W or C, and its region picks the translation.
      {"EW", "zh_TW", "tw"},
      {"EC", "zh_CN", "cn"},
      {"EC", "zh_HK", "tw"},
      {"EI", "it_IT", "it"},
      {"EI", "de_DE", "en"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseLanguage(QString::fromLatin1(c.letters), QString::fromLatin1(c.locale)).toStdString(), c.language)
        << c.letters << " " << c.locale;
  }
}

class SystemLocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kNames) saved_.push_back(GetEnv(name));
  }
  void TearDown() override {
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) {
        SetEnv(kNames[i], *saved_[i]);
      } else {
        UnsetEnv(kNames[i]);
      }
    }
  }
  static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::optional<std::string>> saved_;
};

TEST_F(SystemLocaleTest, LcAllThenLcMessagesThenLang) {
  struct Case {
    const char* all;
    const char* messages;
    const char* lang;
    const char* name;
  };
  const Case cases[] = {
      {"de_DE.UTF-8", "ru_RU.UTF-8", "fr_FR.UTF-8", "de_DE"},
      {nullptr, "ru_RU.UTF-8", "fr_FR.UTF-8", "ru_RU"},
      {"", "", "zh_TW.UTF-8", "zh_TW"},
      {nullptr, nullptr, "it_IT@euro", "it_IT"},
      {nullptr, nullptr, nullptr, "C"},
      {"C.UTF-8", nullptr, "de_DE", "C"},
  };
  for (const Case& c : cases) {
    const char* values[] = {c.all, c.messages, c.lang};
    for (size_t i = 0; i < 3; ++i) {
      if (values[i] != nullptr) {
        SetEnv(kNames[i], values[i]);
      } else {
        UnsetEnv(kNames[i]);
      }
    }
    EXPECT_EQ(panel::SystemLocaleName().toStdString(), c.name) << c.name;
  }
}

class PanelLanguageTest : public PanelTest {
 protected:
  // The name of page 0 in the language of the moment; the translators go with the call.
  std::string PageName() {
    BSTR name = nullptr;
    EXPECT_EQ(Export<GetHWPPNameFn>(kGetHWPPNameName)(0, &name), TRUE);
    std::string text = ToUtf8(BstrView(name));
    SysFreeString(name);
    return text;
  }
  // Page 0 made and destroyed again: the texts it showed.
  std::pair<std::string, std::string> PageTexts() {
    SheetHost sheet;
    EXPECT_TRUE(CreatePage(sheet, 0));
    const std::string title = sheet.Dialog()->windowTitle().toStdString();
    const std::string label = Child<QLabel>(sheet.Container(0), "m_lblSerialNumber")->text().toStdString();
    Export<DestroyHWPropPageFn>(kDestroyHWPropPageName)(0);
    return {title, label};
  }
};

// One process, the locale changed between pages: each page speaks the locale it was made in.
TEST_F(PanelLanguageTest, EachNewPageSpeaksTheLocaleOfItsMoment) {
  struct Case {
    const char* lcAll;
    const char* pageName;
    const char* title;
    const char* label;
  };
  const Case cases[] = {
      {"C", "Device settings", "Quarx M48tz Scanner #2 Properties", "Serial number:"},
      {"de_DE.UTF-8", "Geräteeinstellungen", "Quarx M48tz Scanner #2 Eigenschaften", "Seriennummer:"},
      {"ru_RU.UTF-8", "Параметры устройства", "Quarx M48tz Scanner #2 Свойства", "Серийный номер:"},
      {"it_IT.UTF-8", "Device settings", "Quarx M48tz Scanner #2 Properties", "Serial number:"},
      {"zh_TW.UTF-8", "Device settings", "Quarx M48tz Scanner #2 Properties", "Serial number:"},
      {"en_US.UTF-8", "Device settings", "Quarx M48tz Scanner #2 Properties", "Serial number:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lcAll);
    SetEnv("LC_ALL", c.lcAll);
    EXPECT_EQ(PageName(), c.pageName);
    const auto [title, label] = PageTexts();
    EXPECT_EQ(title, c.title);
    EXPECT_EQ(label, c.label);
  }
}

}  // namespace
}  // namespace rzd::test
