// CCHScannerQTModuleBase: what every page of the panel shares: the unit's service object, the
// host's change callback, the unit's identity, the administrator checks and the three ways a
// page calls the service (unlocked reads, the locked pattern, read-modify-write).
#pragma once

#include "device_identity.h"
#include "foundation/log_client.h"
#include "interfaces/rzdhal.h"
#include "interfaces/rzdhal_codes.h"
#include "platform/com.h"
#include "platform/errors.h"
#include "setpanel/cor_module.h"
#include "setpanel/property_sheet.h"

#include <QString>
#include <QTimer>
#include <QWidget>

class QSpinBox;

namespace rzd::panel {

class DriversConfigPage;

// The answers the panel tells apart.

class CCHScannerQTModuleBase : public QWidget, public ICorModuleBase, public ICorModuleScanner, public CLogClient {
  Q_OBJECT
  Q_INTERFACES(ICorModuleBase ICorModuleScanner)

 public:
  ~CCHScannerQTModuleBase() override;

  // ---- Operations after the logging mix-in's, in this order.
  virtual bool IsHostTest() { return false; }
  // The file version of a binary ("X, X, X, X" without one).
  virtual QString GetFileVersion(const QString& path);
  // An elevated administrator; a member of the administrators' group (elevated or not).
  virtual bool IsRunningAsAdmin();
  virtual bool IsUserInAdminGroup();
  // A control code to the service object: null pointers are replaced by local empty values (a
  // document that comes back unasked is logged and freed); E_NOINTERFACE without an object.
  virtual HRESULT SendHALControl(LONG code, const std::u16string& input, BSTR* output, VARIANT* valueIn,
                                 VARIANT* valueOut);
  // The per-user firmware-update preference: true unless the stored value is 2.
  virtual bool NotAsking();
  virtual void setNotAsking(int32_t value);
  virtual void UpdateAppsSettings() {}
  // Gives `second` a prefix of two blanks per decimal digit that `first`'s maximum has more.
  virtual void AlignSpinBoxes(QSpinBox* first, QSpinBox* second);

  // ---- State the pages share.
  IRZDHAL* Service() const { return hal_.Get(); }
  const DeviceIdentity& Identity() const { return identity_; }
  int32_t PageKey() const { return pageKey_; }
  bool IsPropertyPage() const { return pageKey_ >= 0; }
  // The unit's HWProps.ini; ReadSwitch first deletes the user's redirected copy so the machine's
  // file wins.
  HwPropsFile HwProps() const { return HwPropsOf(identity_); }
  int32_t ReadSwitch(HwProp prop) const;

  // The widget message boxes are shown over.
  virtual QWidget* DialogParent() { return this; }
  // A critical box titled "Error Occurred".
  void ShowError(const QString& text);
  void ShowBusy();
  void ShowNoConnection();
  // kHalBusy shows "in use", any other non-zero answer "No connection with device"; 0 shows nothing.
  void ShowAnswer(HRESULT answer);

  // Tells the host that the page changed (`changed` 1) or not: the change callback on a
  // property page, else the signal moduleSettingsHaveChanged (with null for "not changed").
  void TellHost(int32_t changed);

  // Code `code` with `input` and the 32-bit `value` while the unit is locked for this process:
  // the process id (code 35) first, then lock, control, unlock; each failure shows its box, and
  // the unlock runs whenever the lock was had. True when the control succeeded.
  bool LockedControl(LONG code, const std::u16string& input, uint32_t value);
  // The lamp on or off (code 18).
  void Lamp(bool on);
  // Resets the counter named `counter` under /RZDScanner (code 19).
  bool ResetButton(const std::u16string& counter);

 signals:
  void moduleSettingsHaveChanged(QObject* module) override;
  void invokeGlobalHelpTopic(const QString& docSet, const QString& topic) override;

 public slots:
  void OnSettingsChangedTimer() {}

 protected:
  CCHScannerQTModuleBase(QWidget* parent, const char16_t* featureName, int32_t pageKey, void* hostData,
                         HWPropChangedCallback changed);

  void SetService(IDispatch* instance);
  void SetIdentity(DeviceIdentity identity) { identity_ = std::move(identity); }

  ComPtr<IRZDHAL> hal_;
  void* connector_ = nullptr;  // the property-sheet connector (none here)
  int32_t pageKey_ = -1;       // page index, -1 for the plug-in
  void* hostData_ = nullptr;
  HWPropChangedCallback changed_ = nullptr;
  bool vistaOrLater_ = true;  // no older system here
  QTimer settingsTimer_;      // connected, never started
  DeviceIdentity identity_;
  DriversConfigPage* driversConfig_ = nullptr;  // page 1's form
};

}  // namespace rzd::panel
