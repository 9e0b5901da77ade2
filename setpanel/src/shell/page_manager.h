// The page manager: one per process. It keeps the hosted property pages and the service object
// they share, the application object (the host's, or one it made itself when the host has
// none), the translators and the registration of the plug-in's resource data.
#pragma once

#include "interfaces/rzdhal.h"
#include "platform/com.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <memory>
#include <vector>

class QApplication;
class QTranslator;

namespace rzd::panel {

class CHScannerQTModule;

class PageManager {
 public:
  struct HostedPage {
    // Guarded: a host may delete its page window (and with it the page) before it destroys the
    // page through the export.
    QPointer<CHScannerQTModule> page;
    QPointer<QWidget> holder;  // the widget that carries the page inside the host's container
    int32_t key = 0;
  };

  // The library was loaded into, or is leaving, a process.
  void OnAttach();
  void OnDetach();

  // Makes sure an application object exists: the host's, else one of our own.
  void ObtainApplication();
  // Deletes the application object only when it is our own; forgets it either way.
  void ReleaseApplication();
  bool HasApplication() const { return applicationObtained_; }
  bool OwnsApplication() const { return ownApplication_ != nullptr; }

  // Registers the resource data (once), then loads and installs the translators of the
  // language once per process until they are cleared.
  void InstallTranslators();
  // Removes and forgets the translators.
  void ClearTranslators();
  void RegisterResources();
  void UnregisterResources();
  bool ResourcesRegistered() const { return resourcesRegistered_; }
  // The language the translators were (or will be) loaded for.
  QString Language() const;
  const QString& Letters() const { return letters_; }

  // Page objects alive (property pages and the plug-in instance): the resource data stays
  // registered while one lives.
  void PageObjectCreated() { ++livePages_; }
  void PageObjectDestroyed();

  std::vector<HostedPage>& Hosted() { return hosted_; }
  ComPtr<IRZDHAL>& Service() { return service_; }

  // No page hosted any more: the translators and resources go, and an application of our own.
  void ReleaseWhenIdle();

 private:
  QString letters_ = QStringLiteral("BREFIGSKCWT");
  std::vector<HostedPage> hosted_;
  ComPtr<IRZDHAL> service_;
  std::array<std::unique_ptr<QTranslator>, 4> translators_;
  bool translatorsInstalled_ = false;
  bool resourcesRegistered_ = false;
  bool applicationObtained_ = false;
  QApplication* ownApplication_ = nullptr;
  int livePages_ = 0;
};

PageManager& Pages();

}  // namespace rzd::panel
