// The plug-in road's two orders of teardown. A Qt host puts getCfgPanelUI(0) into a window of its
// own; it may delete that window (and with it the panel) before it unloads the plug-in, or
// unload the plug-in first. Either way nothing is deleted twice and nothing touches a widget that
// is gone (the sanitizer build runs these).
#include "panel_fixture.h"

#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <algorithm>

namespace rzd::test {
namespace {

class PluginTeardownTest : public PanelTest {
 protected:
  // The plug-in's panel inside a window of the host's, shown.
  std::unique_ptr<QWidget> HostWindow(QWidget* panel) {
    auto window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window.get());
    layout->addWidget(panel);
    window->show();
    Pump(50);
    return window;
  }
  // The counter since cleaning at its limit: a reminder is due 2 s after the panel opens.
  void MakeCleaningDue() {
    std::string info = DefaultInfoDocument();
    info.replace(info.find("<CleanCounter>2480"), 18, "<CleanCounter>5000");
    WriteDocument("info.xml", info);
  }
  size_t CountOf(const std::string& call) {
    const std::vector<std::string> calls = Calls();
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
  }
};

TEST_F(PluginTeardownTest, TheHostsWindowFirst) {
  MakeCleaningDue();
  QPointer<QWidget> panel = OpenPluginPanel();
  ASSERT_NE(panel, nullptr);
  auto window = HostWindow(panel);
  BoxWatcher boxes;
  window.reset();
  EXPECT_TRUE(panel.isNull());

  // The plug-in forgot its panel and goes on answering: a refresh still reads the unit, Apply
  // writes nothing for a page that is gone, and the due reminder never shows.
  QObject* plugin = Plugin();
  EXPECT_EQ(As<ICorModuleCfgPanel>()->getCfgPanelUI(0), nullptr);
  ClearCalls();
  As<ICorModuleBase>()->notifyChanged();
  EXPECT_EQ(Calls(), (std::vector<std::string>{"control 6 - null", "control 4 - null"}));
  int applied = 0;
  ASSERT_TRUE(QMetaObject::invokeMethod(plugin, "ApplyChanges", Q_RETURN_ARG(int, applied)));
  EXPECT_EQ(applied, 1);
  Pump(2600);
  EXPECT_TRUE(boxes.Seen().empty());
  EXPECT_FALSE(std::filesystem::exists(HwPropsPath()));

  // Then the plug-in goes, as the host ends: it releases the object and deletes only what it
  // still holds.
  As<ICorModuleBase>()->setModule_Instance(nullptr);
  QPointer<QObject> instance = plugin;
  ASSERT_TRUE(loader_->unload());
  EXPECT_TRUE(instance.isNull());
  Pump(200);
  EXPECT_EQ(CountOf("release"), 1u);
}

TEST_F(PluginTeardownTest, ThePluginFirst) {
  QPointer<QWidget> panel = OpenPluginPanel();
  ASSERT_NE(panel, nullptr);
  auto window = HostWindow(panel);
  QPointer<QObject> instance = Plugin();
  As<ICorModuleBase>()->setModule_Instance(nullptr);
  ASSERT_TRUE(loader_->unload());
  // The plug-in took its panel out of the host's window as it went; the window stands, empty.
  EXPECT_TRUE(instance.isNull());
  EXPECT_TRUE(panel.isNull());
  EXPECT_EQ(window->layout()->count(), 0);
  EXPECT_TRUE(window->findChildren<QWidget*>().isEmpty());
  EXPECT_FALSE(window->grab().isNull());
  window.reset();
  Pump(200);
  EXPECT_EQ(CountOf("release"), 1u);
}

// The host deletes its window while the panel's reminder box is open over it.
TEST_F(PluginTeardownTest, TheHostsWindowGoesWhileTheReminderIsOpen) {
  MakeCleaningDue();
  QPointer<QWidget> panel = OpenPluginPanel();
  ASSERT_NE(panel, nullptr);
  auto window = HostWindow(panel);
  QString seen;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible() || !window) return;
    seen = box->windowTitle();
    window.reset();
  });
  watch.start(20);
  Pump(3000);
  EXPECT_EQ(seen, QStringLiteral("The rollers need to be cleaned"));
  EXPECT_TRUE(panel.isNull());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  // No second reminder: the page that had it is gone.
  Pump(2600);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  QPointer<QObject> instance = Plugin();
  As<ICorModuleBase>()->setModule_Instance(nullptr);
  ASSERT_TRUE(loader_->unload());
  EXPECT_TRUE(instance.isNull());
}

}  // namespace
}  // namespace rzd::test
