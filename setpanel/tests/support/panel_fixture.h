// What the panel's tests share: an offscreen application, the scripted service in its own
// process (helpers/panel_hal_server.cpp) with the unit's device class key, the panel loaded as
// the real setpanel.so, a watcher that answers message boxes, and pictures of widgets.
#pragma once

#include "interfaces/rzdhal.h"
#include "platform/account.h"
#include "platform/com.h"
#include "setpanel/cor_module.h"
#include "setpanel/property_sheet.h"
#include "testsupport/temp_root.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QTabWidget>
#include <QLibrary>
#include <QPluginLoader>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rzd::test {

// The scripted service's class and the unit's device string (its HAL_CLSID).
extern const CLSID kPanelHalClass;
std::u16string PanelDevice();
inline constexpr char16_t kUnitFriendlyName[] = u"Quarx M48tz Scanner #2";

// Documents the scripted service starts with.
std::string DefaultInfoDocument();
std::string DefaultSupportedDocument();
std::string DefaultCurrentDocument();

// A picture of `widget`; a window is framed with a title bar that shows its title.
QImage FramedGrab(QWidget* widget);

// A message box the watcher met.
struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers every message box that opens: records it, saves a picture of it when asked, and
// presses `answer` (the default button when it is NoButton).
class BoxWatcher : public QObject {
 public:
  BoxWatcher();
  void Answer(QMessageBox::StandardButton answer) { answer_ = answer; }
  // The next box is saved as <pictures>/<name>.png.
  void PictureNext(const std::string& name) { pictureName_ = name; }
  const std::vector<SeenBox>& Seen() const { return seen_; }
  std::vector<QString> Texts() const;
  void Clear() { seen_.clear(); }

 private:
  void Look();
  QTimer timer_;
  QMessageBox::StandardButton answer_ = QMessageBox::NoButton;
  std::string pictureName_;
  std::vector<SeenBox> seen_;
  QPointer<QMessageBox> handled_;
};

// A property sheet as a host shows it: a dialog with a tab per page (each tab the container a
// page is created in), OK, Cancel and Apply; a page's change callback enables Apply.
class SheetHost {
 public:
  SheetHost();
  ~SheetHost();
  QDialog* Dialog() { return dialog_.get(); }
  QWidget* Container(int index) { return containers_[index]; }
  void ShowTab(int index);
  bool ApplyEnabled() const;
  int Changes() const { return changes_; }
  static void Changed(void* hostData, int32_t changed);

 private:
  std::unique_ptr<QDialog> dialog_;
  QTabWidget* tabs_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
  QWidget* containers_[3] = {};
  int changes_ = 0;
};

class PanelTest : public TempRoot {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The locale the panel sees (its language).
  virtual const char* Locale() const { return "C"; }

  // The scripted service.
  ComPtr<IRZDHAL> Service();
  std::vector<std::string> Calls();
  void ClearCalls();
  void SetAnswers(const std::string& lines);
  void WriteDocument(const char* name, const std::string& text);
  std::string ReadDocument(const char* name);

  // The panel as a plug-in: the instance (loaded on first use).
  QObject* Plugin();
  template <class I>
  I* As() {
    return qobject_cast<I*>(Plugin());
  }
  // The plug-in's configuration panel after setGuid and setModule_Instance with the service.
  QWidget* OpenPluginPanel();

  // One of the five exports.
  template <class F>
  F Export(const char* name) {
    LoadLibrary();
    return reinterpret_cast<F>(library_->resolve(name));
  }
  void LoadLibrary();
  // Creates page `index` of the sheet through the exports; its result.
  bool CreatePage(SheetHost& sheet, int index);
  // The sheet with all three pages, their tabs named by GetHWPPName.
  void CreateSheet(SheetHost& sheet);
  std::filesystem::path HwPropsPath() const;
  // Every "key=value" line of HWProps.ini, in file order.
  std::vector<std::string> HwPropsLines() const;

  // Saves a picture of `widget` (shown, at its size hint) as <pictures>/<name>.png; a window
  // gets a title bar with its title. With `tipOf`, that control's tooltip is drawn below it, as
  // the pointer resting on it shows it.
  static void Picture(QWidget* widget, const std::string& name, QWidget* tipOf = nullptr);
  // Runs the event loop for `ms` milliseconds.
  static void Pump(int ms);

  std::unique_ptr<QApplication> app_;
  std::unique_ptr<ComInit> com_;
  std::unique_ptr<QPluginLoader> loader_;
  std::unique_ptr<QLibrary> library_;
};

// Finds a child widget of `root` by object name.
template <class W>
W* Child(QObject* root, const char* name) {
  return root->findChild<W*>(QString::fromLatin1(name));
}

}  // namespace rzd::test
