// --plugin: the panel as a Qt plug-in. The host opens the unit itself and hands the panel the
// unit's class id and the service object; the configuration panel is shown in a window. An
// unattended run presses the named buttons, prints the fields and saves the picture; a message
// box the panel shows meanwhile is printed ("box<TAB>title<TAB>text") and closed.
#include "host.h"

#include "setpanel/cor_module.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPluginLoader>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <memory>

namespace rzd::confighost {

namespace {

// Closes the message boxes of an unattended run, printing each first.
void CloseBoxes() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (box == nullptr || !box->isVisible()) return;
  std::printf("box\t%s\t%s\n", box->windowTitle().toUtf8().constData(), box->text().toUtf8().constData());
  std::fflush(stdout);
  QAbstractButton* button = box->defaultButton();
  if (button == nullptr) button = box->escapeButton();
  if (button != nullptr) {
    button->click();
  } else {
    box->close();
  }
}

// The panel's information fields, "name<TAB>text", for each shown label or box named m_txt...,
// and its shown time-out spin boxes (m_spn...) with the text they show.
void PrintFields(QWidget* page) {
  for (QWidget* field : page->findChildren<QWidget*>()) {
    const QString name = field->objectName();
    auto* spin = qobject_cast<QSpinBox*>(field);
    const bool information = name.startsWith(QLatin1String("m_txt"));
    const bool timeout = spin != nullptr && name.startsWith(QLatin1String("m_spn"));
    if ((!information && !timeout) || field->isHidden()) continue;
    QString text;
    if (auto* label = qobject_cast<QLabel*>(field)) text = label->text();
    if (auto* box = qobject_cast<QLineEdit*>(field)) text = box->text();
    if (timeout) text = spin->text();
    std::printf("%s\t%s\n", name.toUtf8().constData(), text.toUtf8().constData());
  }
  std::fflush(stdout);
}

}  // namespace

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
    // The host's window, deleted before the plug-in goes, as Qt hosts do: the page in it goes
    // with it, and the plug-in forgets it.
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(QString::fromStdU16String(unit.friendlyName));
    auto* layout = new QVBoxLayout(window.get());
    QWidget* page = cfg->getCfgPanelUI(0);
    if (page != nullptr) layout->addWidget(page);
    window->show();
    if (!options.Unattended()) {
      QApplication::exec();
    } else {
      QTimer boxes;
      QObject::connect(&boxes, &QTimer::timeout, &CloseBoxes);
      boxes.start(20);
      QApplication::processEvents();
      for (const std::string& name : options.press) {
        auto* button = page != nullptr ? page->findChild<QAbstractButton*>(QString::fromStdString(name)) : nullptr;
        if (button == nullptr) {
          std::fprintf(stderr, "rzd-confighost: the panel has no button %s\n", name.c_str());
          status = 1;
          continue;
        }
        button->click();
        QApplication::processEvents();
      }
      if (options.print && page != nullptr) PrintFields(page);
    }
    if (!options.grab.empty()) {
      QApplication::processEvents();
      const std::filesystem::path file = options.grab / "plugin.png";
      if (!window->grab().save(QString::fromStdString(file.string()))) {
        std::fprintf(stderr, "rzd-confighost: %s could not be written\n", file.string().c_str());
        status = 1;
      }
    }
    window.reset();
    base->setModule_Instance(nullptr);
  }
  // The plug-in goes before the application does.
  loader.unload();
  CloseUnit(service);
  return status;
}

}  // namespace rzd::confighost
