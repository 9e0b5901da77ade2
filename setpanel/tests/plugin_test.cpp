// The plug-in road: the metadata, the four interfaces and what they answer, the service object
// handed over and forgotten, and the help link.
#include "panel_fixture.h"

#include <QJsonObject>
#include <QLabel>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace rzd::test {
namespace {

class PluginTest : public PanelTest {};

TEST_F(PluginTest, MetadataNamesTheInterfaceAndTheClass) {
  QPluginLoader loader(QStringLiteral(RZD_SETPANEL_PATH));
  const QJsonObject meta = loader.metaData();
  EXPECT_EQ(meta.value(QStringLiteral("IID")).toString(), QStringLiteral("Quarx M48tz Scanner_Qt5Interface"));
  EXPECT_EQ(meta.value(QStringLiteral("className")).toString(), QStringLiteral("CHScannerQTModule"));
}

TEST_F(PluginTest, TheInstanceAnswersItsFourInterfaces) {
  QObject* plugin = Plugin();
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(loader_->instance(), plugin);  // one instance per process
  auto* base = As<ICorModuleBase>();
  auto* scanner = As<ICorModuleScanner>();
  auto* cfg = As<ICorModuleCfgPanel>();
  auto* doc = As<ICorModuleDocPanel>();
  ASSERT_TRUE(base && scanner && cfg && doc);
  EXPECT_EQ(base->getModuleCount(), 1);
  EXPECT_EQ(base->getModuleShortName(), QStringLiteral("M48tz"));
  EXPECT_TRUE(base->isModuleAvailable());
  EXPECT_EQ(scanner->getModuleFullName(), QStringLiteral("Quarx® M48tz Scanner"));
  const QString style = scanner->getStyleSheet();
  EXPECT_EQ(style.size(), 293);
  EXPECT_TRUE(style.startsWith(QStringLiteral("{") + QString(30, QLatin1Char(' ')) + QStringLiteral("background-color")));
  EXPECT_EQ(scanner->translateText(QStringLiteral("abc")), QStringLiteral("abc"));
  EXPECT_EQ(scanner->getModuleUI(), nullptr);
  EXPECT_EQ(scanner->getAdvancedUI(AdvancedUIID::None), nullptr);
  EXPECT_NE(cfg->getCfgPanelUI(0), nullptr);
  EXPECT_EQ(cfg->getCfgPanelUI(1), nullptr);
  EXPECT_EQ(cfg->getCfgPanelTabName(0), QStringLiteral("&M48tz"));
  EXPECT_EQ(doc->getDocPanelUI(0), nullptr);
  EXPECT_EQ(doc->getDocPanelTabName(0), QStringLiteral("&M48tz"));
  // The brand's font is in the application's font database once the plug-in is loaded.
  EXPECT_EQ(scanner->getFontFileName(), QStringLiteral("LiberationSans-Bold.ttf"));
}

TEST_F(PluginTest, ImagesComeFromTheResourceDataAndTheCallerOwnsThem) {
  auto* base = As<ICorModuleBase>();
  ASSERT_NE(base, nullptr);
  std::unique_ptr<QPixmap> model(base->getImage(0));
  std::unique_ptr<QPixmap> scanner(base->getImage(7));
  std::unique_ptr<QPixmap> scannerAgain(base->getImage(99));
  std::unique_ptr<QPixmap> logo(base->getImage(4));
  ASSERT_FALSE(model->isNull());
  ASSERT_FALSE(scanner->isNull());
  EXPECT_EQ(model->size(), QSize(320, 240));
  EXPECT_EQ(scanner->size(), QSize(128, 128));
  EXPECT_EQ(scannerAgain->toImage(), scanner->toImage());
  EXPECT_FALSE(logo->isNull());
  for (unsigned i = 1; i <= 6; ++i) EXPECT_FALSE(std::unique_ptr<QPixmap>(base->getImage(i))->isNull()) << i;
}

TEST_F(PluginTest, TheServiceObjectIsHeldUntilReplacedOrForgotten) {
  auto* base = As<ICorModuleBase>();
  ASSERT_NE(base, nullptr);
  base->setGuid(QString::fromStdU16String(PanelDevice()));
  {
    ComPtr<IRZDHAL> hal = Service();
    base->setModule_Instance(hal.Get());
  }
  // The panel refreshed itself: supported settings and information, unlocked.
  const std::vector<std::string> calls = Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0], "control 6 - null");
  EXPECT_EQ(calls[1], "control 4 - null");
  for (const std::string& call : calls) EXPECT_NE(call.rfind("lock", 0), 0u) << call;
  auto* panel = As<ICorModuleCfgPanel>()->getCfgPanelUI(0);
  EXPECT_EQ(Child<QLabel>(panel, "m_txtSerialNumber")->text(), QStringLiteral("QX48T-0012345"));

  // Forgetting the object releases it (the last reference: the server's object ends).
  base->setModule_Instance(nullptr);
  Pump(200);
  EXPECT_EQ(Calls().back(), "release");
  // Without an object a refresh reads nothing and shows no box.
  BoxWatcher boxes;
  base->notifyChanged();
  EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(PluginTest, TheHelpLinkAsksForTheScannerPanelTopic) {
  QObject* plugin = Plugin();
  ASSERT_NE(plugin, nullptr);
  QSignalSpy help(plugin, SIGNAL(invokeGlobalHelpTopic(QString, QString)));
  auto* link = Child<QLabel>(As<ICorModuleCfgPanel>()->getCfgPanelUI(0), "m_lblHelp");
  ASSERT_NE(link, nullptr);
  emit link->linkActivated(QStringLiteral("panel_doc_scnr_help"));
  emit link->linkActivated(QStringLiteral("elsewhere"));
  ASSERT_EQ(help.count(), 1);
  EXPECT_EQ(help[0][0].toString(), QStringLiteral("docset_scanner_panel"));
  EXPECT_EQ(help[0][1].toString(), QStringLiteral("Scanner_Help_CSH.htm"));
}

}  // namespace
}  // namespace rzd::test
