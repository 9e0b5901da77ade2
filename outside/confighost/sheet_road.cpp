// --sheet: the panel's three property-sheet pages through its five exports, in a dialog with OK,
// Cancel and Apply. The first page opens the unit, the last one destroyed closes it.
#include "host.h"

#include "setpanel/property_sheet.h"
#include "platform/text.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLibrary>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cstdio>

namespace rzd::confighost {

namespace {

struct Exports {
  GetHWPPCountFn count = nullptr;
  GetHWPPNameFn name = nullptr;
  CreateHWPropPageFn create = nullptr;
  DestroyHWPropPageFn destroy = nullptr;
  ApplyChangesFn apply = nullptr;
  bool Complete() const { return count && name && create && destroy && apply; }
};

// A page changed: Apply becomes available.
void PageChanged(void* hostData, int32_t changed) {
  static_cast<QPushButton*>(hostData)->setEnabled(changed != 0);
}

}  // namespace

int RunSheet(const Unit& unit, const std::filesystem::path& panel, const Options& options) {
  QLibrary library(QString::fromStdString(panel.string()));
  if (!library.load()) {
    std::fprintf(stderr, "rzd-confighost: %s\n", library.errorString().toLocal8Bit().constData());
    return 1;
  }
  Exports exports;
  exports.count = reinterpret_cast<GetHWPPCountFn>(library.resolve(kGetHWPPCountName));
  exports.name = reinterpret_cast<GetHWPPNameFn>(library.resolve(kGetHWPPNameName));
  exports.create = reinterpret_cast<CreateHWPropPageFn>(library.resolve(kCreateHWPropPageName));
  exports.destroy = reinterpret_cast<DestroyHWPropPageFn>(library.resolve(kDestroyHWPropPageName));
  exports.apply = reinterpret_cast<ApplyChangesFn>(library.resolve(kApplyChangesName));
  if (!exports.Complete()) {
    std::fprintf(stderr, "rzd-confighost: %s lacks the property-sheet exports\n", panel.string().c_str());
    return 1;
  }

  int status = 0;
  std::vector<int32_t> created;
  {
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* tabs = new QTabWidget(&dialog);
    layout->addWidget(tabs);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, &dialog);
    layout->addWidget(buttons);
    QPushButton* applyButton = buttons->button(QDialogButtonBox::Apply);
    applyButton->setEnabled(false);

    const int32_t count = exports.count();
    for (int32_t i = 0; i < count; ++i) {
      auto* container = new QWidget();
      new QVBoxLayout(container);
      container->layout()->setContentsMargins(0, 0, 0, 0);
      if (exports.create(i, nullptr, container, applyButton, unit.halClsid.c_str(), unit.halClsid.c_str(), &PageChanged) !=
          TRUE) {
        delete container;
        continue;
      }
      created.push_back(i);
      BSTR name = nullptr;
      QString title = QString::number(i);
      if (exports.name(i, &name) == TRUE) {
        title = QString::fromStdU16String(std::u16string(BstrView(name)));
        SysFreeString(name);
      }
      tabs->addTab(container, title);
    }
    if (created.empty()) {
      std::fprintf(stderr, "rzd-confighost: the unit's service could not be opened\n");
      status = 1;
    } else {
      auto applyAll = [&] {
        for (int32_t key : created) exports.apply(key);
        applyButton->setEnabled(false);
      };
      QObject::connect(applyButton, &QPushButton::clicked, &dialog, applyAll);
      QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        applyAll();
        dialog.accept();
      });
      QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
      if (!options.Unattended()) {
        dialog.exec();
      } else {
        dialog.show();
        for (int i = 0; i < tabs->count(); ++i) {
          tabs->setCurrentIndex(i);
          QApplication::processEvents();
          const std::filesystem::path file = options.grab / ("sheet_" + std::to_string(created[i]) + ".png");
          if (!dialog.grab().save(QString::fromStdString(file.string()))) {
            std::fprintf(stderr, "rzd-confighost: %s could not be written\n", file.string().c_str());
            status = 1;
          }
        }
      }
    }
    // The pages go while their windows still stand; the last one closes the unit.
    for (int32_t key : created) exports.destroy(key);
  }
  library.unload();
  return status;
}

}  // namespace rzd::confighost
