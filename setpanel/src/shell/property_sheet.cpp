// The property-sheet road: the five exports. The host gives each page a QWidget container (the
// page window); the first page creates the service object and opens the unit, the last page
// destroyed unlocks, closes and releases it.
#include "setpanel/property_sheet.h"

#include "interfaces/rzdhal_unit.h"
#include "foundation/module_objects.h"
#include "module.h"
#include "page_manager.h"
#include "platform/text.h"

#include <QCoreApplication>
#include <QPointer>
#include <QVBoxLayout>

namespace {

using rzd::panel::Pages;

constexpr int32_t kPageCount = 3;

// The library's attach and detach. At detach the library's process-wide objects (the logger
// slot above all) go with it: nothing of ours may stay allocated once the code is unmapped.
struct LibraryLife {
  LibraryLife() { Pages().OnAttach(); }
  ~LibraryLife() {
    Pages().OnDetach();
    rzd::DestroyModuleObjects();
  }
} g_libraryLife;

// Creates the service object of `classId` and opens the unit `device` with code 14; null on
// any failure (nothing is kept).
rzd::ComPtr<IRZDHAL> OpenService(const char16_t* classId, const char16_t* device) {
  if (classId == nullptr || device == nullptr) return {};
  const std::optional<GUID> clsid = rzd::ParseGuid(std::u16string_view(classId));
  if (!clsid) return {};
  rzd::ComPtr<IRZDHAL> service;
  if (CoCreateInstance(*clsid, nullptr, CLSCTX_ALL, IID_IRZDHAL, service.OutVoid()) != S_OK || !service) return {};
  if (rzd::ConnectHalUnit(service.Get(), device) != S_OK) return {};
  return service;
}

// Unlocks, closes (code 15) and releases the shared service object; failures are ignored.
void CloseService() {
  rzd::ComPtr<IRZDHAL>& service = Pages().Service();
  if (!service) return;
  LONG status = 0;
  service->UnlockScanner(&status);
  rzd::DisconnectHalUnit(service.Get());
  service.Reset();
}

void DestroyHosted(rzd::panel::PageManager::HostedPage& hosted) { delete hosted.holder.data(); }

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t GetHWPPCount() { return kPageCount; }

__attribute__((visibility("default"))) BOOL GetHWPPName(int32_t index, BSTR* name) {
  if (index < 0 || index >= kPageCount || name == nullptr) return FALSE;
  Pages().InstallTranslators();
  QString text;
  switch (index) {
    case 0: text = QCoreApplication::translate("Global", "Device settings"); break;
    case 1: text = QCoreApplication::translate("Global", "Driver settings"); break;
    default: text = QCoreApplication::translate("CHScannerQTModule", "HW IP"); break;
  }
  *name = rzd::AllocBstr(text.toStdU16String());
  // Only pages keep the application object and the translators: a host that only asked for a
  // name gets its process back as it was.
  Pages().ReleaseWhenIdle();
  return TRUE;
}

__attribute__((visibility("default"))) BOOL CreateHWPropPage(int32_t index, void* /*hostModule*/, QWidget* pageWindow,
                                                             void* hostData, const char16_t* classId,
                                                             const char16_t* device, HWPropChangedCallback changed) {
  if (index < 0 || index >= kPageCount || pageWindow == nullptr || device == nullptr) return FALSE;
  rzd::panel::PageManager& pages = Pages();
  if (!pages.Service()) {
    pages.Service() = OpenService(classId, device);
    if (!pages.Service()) return FALSE;
  }
  pages.InstallTranslators();

  // The page sits 6 pixels inside the host's container, which grows to hold it.
  auto* holder = new QWidget(pageWindow);
  auto* layout = new QVBoxLayout(holder);
  layout->setContentsMargins(6, 6, 6, 6);
  auto* page = new rzd::panel::CHScannerQTModule(nullptr, holder, hostData, index, changed);
  layout->addWidget(page);
  if (pageWindow->layout() != nullptr) pageWindow->layout()->addWidget(holder);
  page->setGuid(QString::fromStdU16String(std::u16string(device)));
  pageWindow->window()->setWindowTitle(page->PageTitle());
  page->setModule_Instance(pages.Service().Get());
  pages.Hosted().push_back({page, holder, index});
  holder->adjustSize();
  pageWindow->setMinimumSize(pageWindow->minimumSize().expandedTo(holder->sizeHint()));
  holder->show();
  return TRUE;
}

__attribute__((visibility("default"))) void DestroyHWPropPage(int32_t key) {
  rzd::panel::PageManager& pages = Pages();
  auto& hosted = pages.Hosted();
  if (hosted.empty()) return;
  bool destroyed = false;
  for (auto it = hosted.begin(); it != hosted.end(); ++it) {
    if (it->key != key) continue;
    rzd::panel::PageManager::HostedPage page = *it;
    hosted.erase(it);
    DestroyHosted(page);
    destroyed = true;
    break;
  }
  if (!destroyed || !hosted.empty()) return;
  pages.ReleaseWhenIdle();
  CloseService();
}

__attribute__((visibility("default"))) int32_t ApplyChanges(int32_t key) {
  // Guarded: a page's Apply may show a box, during which the host could destroy pages.
  std::vector<QPointer<rzd::panel::CHScannerQTModule>> pages;
  for (const auto& page : Pages().Hosted()) {
    if (page.key == key) pages.emplace_back(page.page);
  }
  for (const auto& page : pages) {
    if (page) page->ApplyChanges();
  }
  return 1;
}

}  // extern "C"
