// --plugin: the panel as a Qt plug-in. The host opens the unit itself and hands the panel the
// unit's class id and the service object; the configuration panel is shown in a window.
#include "host.h"

#include "setpanel/cor_module.h"

#include <QApplication>
#include <QPluginLoader>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

namespace rzd::confighost {

int RunPlugin(const Unit& unit, const std::filesystem::path& panel, const Options& options) {
  std::string error;
  ComPtr<IRZDHAL> service = OpenUnit(unit, &error);
  if (!service) {
    std::fprintf(stderr, "rzd-confighost: %s\n", error.c_str());
    return 1;
  }
  int status = 0;
  QPluginLoader loader(QString::fromStdString(panel.string()));
  {
    QObject* instance = loader.instance();
    auto* base = qobject_cast<ICorModuleBase*>(instance);
    auto* cfg = qobject_cast<ICorModuleCfgPanel*>(instance);
    if (base == nullptr || cfg == nullptr) {
      std::fprintf(stderr, "rzd-confighost: %s is no settings panel: %s\n", panel.string().c_str(),
                   loader.errorString().toLocal8Bit().constData());
      CloseUnit(service);
      return 1;
    }
    base->setGuid(QString::fromStdU16String(unit.halClsid));
    base->setModule_Instance(service.Get());
    QWidget window;
    window.setWindowTitle(QString::fromStdU16String(unit.friendlyName));
    auto* layout = new QVBoxLayout(&window);
    QWidget* page = cfg->getCfgPanelUI(0);
    if (page != nullptr) layout->addWidget(page);
    window.show();
    if (options.grab.empty()) {
      QApplication::exec();
    } else {
      QApplication::processEvents();
      const std::filesystem::path file = options.grab / "plugin.png";
      if (!window.grab().save(QString::fromStdString(file.string()))) {
        std::fprintf(stderr, "rzd-confighost: %s could not be written\n", file.string().c_str());
        status = 1;
      }
    }
    // The page belongs to the plug-in: it leaves our window before the window goes.
    if (page != nullptr) page->setParent(nullptr);
    base->setModule_Instance(nullptr);
  }
  // The plug-in goes before the application does.
  loader.unload();
  CloseUnit(service);
  return status;
}

}  // namespace rzd::confighost
