// The property-sheet road's life through the five exports: the first page opens the unit
// (code 14), later pages share the object, destroying a page leaves the others their images and
// translations, and the last one destroyed unlocks, closes (code 15) and releases the object.
#include "panel_fixture.h"

#include "platform/text.h"

#include <QFile>
#include <QPixmap>

#include <gtest/gtest.h>

namespace rzd::test {
namespace {

class SheetLifeTest : public PanelTest {
 protected:
  // German, so that the translators can be seen at work.
  const char* Locale() const override { return "de_DE.UTF-8"; }
  void Destroy(int key) { Export<DestroyHWPropPageFn>(kDestroyHWPropPageName)(key); }
  static std::string Count(const std::vector<std::string>& calls, const std::string& prefix) {
    size_t n = 0;
    for (const std::string& call : calls) n += call.rfind(prefix, 0) == 0 ? 1 : 0;
    return std::to_string(n);
  }
};

TEST_F(SheetLifeTest, ThreePagesShareOneObjectAndTheLastDestroyClosesIt) {
  EXPECT_EQ(Export<GetHWPPCountFn>(kGetHWPPCountName)(), 3);
  SheetHost sheet;
  CreateSheet(sheet);
  std::vector<std::string> calls = Calls();
  // One object, opened once with the unit's HAL_CLSID document.
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0], "control 14 - <HAL_CLSID>||\t" + ToUtf8(PanelDevice()) + "||</HAL_CLSID>");
  EXPECT_EQ(Count(calls, "control 14 "), "1");
  EXPECT_EQ(sheet.Dialog()->windowTitle(), QStringLiteral("Quarx M48tz Scanner #2 Eigenschaften"));

  // A key no page has destroys nothing.
  ClearCalls();
  Destroy(7);
  // One page goes: the others keep their pictures and their language.
  Destroy(1);
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(QFile::exists(QStringLiteral(":/images/M48tz.png")));
  EXPECT_FALSE(QPixmap(QStringLiteral(":/images/Scanner.png")).isNull());
  EXPECT_EQ(QCoreApplication::translate("Global", "Device settings"), QStringLiteral("Geräteeinstellungen"));
  BSTR name = nullptr;
  ASSERT_EQ(Export<GetHWPPNameFn>(kGetHWPPNameName)(2, &name), TRUE);
  SysFreeString(name);
  // The host's own application object outlives every call.
  EXPECT_EQ(QCoreApplication::instance(), app_.get());

  Destroy(0);
  EXPECT_TRUE(Calls().empty());
  Destroy(2);
  Pump(200);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"unlock", "control 15 - null", "release"}));
  // Nothing is left registered or installed, and the host's application is untouched.
  EXPECT_FALSE(QFile::exists(QStringLiteral(":/images/M48tz.png")));
  EXPECT_EQ(QCoreApplication::translate("Global", "Device settings"), QStringLiteral("Device settings"));
  EXPECT_EQ(QCoreApplication::instance(), app_.get());
}

TEST_F(SheetLifeTest, APageWhoseUnitCannotBeOpenedIsNotCreated) {
  struct Case {
    const char* name;
    std::string answers;
  };
  const Case cases[] = {{"in use (170)", "control 14 170\n"}, {"refused (12)", "control 14 12\n"},
                        {"failed call", "control 14 -2147467259\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetAnswers(c.answers);
    ClearCalls();
    SheetHost sheet;
    EXPECT_FALSE(CreatePage(sheet, 0));
    Pump(200);
    // The object was released, not kept for the next page.
    EXPECT_EQ(Calls().back(), "release");
    EXPECT_TRUE(sheet.Container(0)->findChildren<QWidget*>().isEmpty());
  }
  SetAnswers("");
  SheetHost sheet;
  EXPECT_TRUE(CreatePage(sheet, 0));
  Destroy(0);
}

TEST_F(SheetLifeTest, BadIndexesAndTheHostsApplication) {
  BSTR name = nullptr;
  EXPECT_EQ(Export<GetHWPPNameFn>(kGetHWPPNameName)(3, &name), FALSE);
  EXPECT_EQ(name, nullptr);
  ASSERT_EQ(Export<GetHWPPNameFn>(kGetHWPPNameName)(0, &name), TRUE);
  EXPECT_EQ(ToUtf8(BstrView(name)), "Geräteeinstellungen");
  SysFreeString(name);
  // Asking for a name alone leaves the host's application alive and usable.
  EXPECT_EQ(QCoreApplication::instance(), app_.get());
  SheetHost sheet;
  const std::u16string device = PanelDevice();
  EXPECT_EQ(Export<CreateHWPropPageFn>(kCreateHWPropPageName)(3, nullptr, sheet.Container(0), &sheet, device.c_str(),
                                                              device.c_str(), &SheetHost::Changed),
            FALSE);
  EXPECT_TRUE(Calls().empty());
}

// A host that deletes its page windows before it destroys the pages.
TEST_F(SheetLifeTest, AHostThatDeletesItsWindowsFirst) {
  {
    SheetHost sheet;
    CreateSheet(sheet);
  }
  ClearCalls();
  for (int i = 0; i < 3; ++i) Destroy(i);
  Pump(200);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"unlock", "control 15 - null", "release"}));
}

}  // namespace
}  // namespace rzd::test
