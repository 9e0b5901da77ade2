#include "page_manager.h"

#include "language.h"

#include <QApplication>
#include <QTranslator>

// The plug-in's resource data (rcc, name "setpanel").
int qInitResources_setpanel();
int qCleanupResources_setpanel();

namespace rzd::panel {

namespace {
// Our own application object's command line (it must outlive the object).
int g_argc = 1;
char g_program[] = "setpanel";
char* g_argv[] = {g_program, nullptr};
}  // namespace

PageManager& Pages() {
  static PageManager manager;
  return manager;
}

void PageManager::OnAttach() { letters_ = QString::fromLatin1(kAttachedLanguageLetters); }

void PageManager::OnDetach() {
  ClearTranslators();
  UnregisterResources();
}

void PageManager::ObtainApplication() {
  if (QCoreApplication::instance() == nullptr) ownApplication_ = new QApplication(g_argc, g_argv);
  applicationObtained_ = true;
}

void PageManager::ReleaseApplication() {
  if (ownApplication_ != nullptr && QCoreApplication::instance() == ownApplication_) {
    ClearTranslators();
    delete ownApplication_;
  }
  ownApplication_ = nullptr;
  applicationObtained_ = false;
}

QString PageManager::Language() const { return ChooseLanguage(letters_, SystemLocaleName()); }

void PageManager::InstallTranslators() {
  if (!applicationObtained_) ObtainApplication();
  RegisterResources();
  if (translatorsInstalled_) return;
  const QString language = Language();
  const QString files[] = {QStringLiteral(":/translations/scannerqc_") + language,
                           QStringLiteral(":/flatbed_translations/scannerqc_") + language,
                           QStringLiteral(":/translations/rzddriverconfigui_") + language,
                           QStringLiteral(":/translations/qt_") + language};
  for (size_t i = 0; i < translators_.size(); ++i) {
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(files[i]) && QCoreApplication::installTranslator(translator.get())) {
      translators_[i] = std::move(translator);
    }
  }
  translatorsInstalled_ = true;
}

void PageManager::ClearTranslators() {
  for (auto& translator : translators_) {
    if (translator && QCoreApplication::instance() != nullptr) QCoreApplication::removeTranslator(translator.get());
    translator.reset();
  }
  translatorsInstalled_ = false;
}

void PageManager::RegisterResources() {
  if (resourcesRegistered_) return;
  qInitResources_setpanel();
  resourcesRegistered_ = true;
}

void PageManager::UnregisterResources() {
  if (!resourcesRegistered_) return;
  qCleanupResources_setpanel();
  resourcesRegistered_ = false;
}

void PageManager::PageObjectDestroyed() {
  if (livePages_ > 0) --livePages_;
  if (livePages_ == 0) {
    ClearTranslators();
    UnregisterResources();
  }
}

void PageManager::ReleaseWhenIdle() {
  if (!applicationObtained_ || !hosted_.empty()) return;
  ClearTranslators();
  if (livePages_ == 0) UnregisterResources();
  ReleaseApplication();
}

}  // namespace rzd::panel
