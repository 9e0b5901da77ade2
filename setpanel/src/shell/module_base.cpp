#include "module_base.h"

#include "interfaces/rzdhal_codes.h"
#include "foundation/func_trace.h"
#include "foundation/system_queries.h"
#include "platform/account.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QSpinBox>

namespace rzd::panel {

namespace {
constexpr DWORD kLockTimeoutMs = 5000;

int Digits(int value) {
  int digits = 1;
  for (long long v = value < 0 ? -static_cast<long long>(value) : value; v >= 10; v /= 10) ++digits;
  return digits;
}
}  // namespace

CCHScannerQTModuleBase::CCHScannerQTModuleBase(QWidget* parent, const char16_t* featureName, int32_t pageKey,
                                               void* hostData, HWPropChangedCallback changed)
    : QWidget(parent), CLogClient(featureName), pageKey_(pageKey), hostData_(hostData), changed_(changed) {
  connect(&settingsTimer_, &QTimer::timeout, this, &CCHScannerQTModuleBase::OnSettingsChangedTimer);
}

CCHScannerQTModuleBase::~CCHScannerQTModuleBase() = default;

QString CCHScannerQTModuleBase::GetFileVersion(const QString& path) {
  return QString::fromStdU16String(GetFileVersionString(path.toStdU16String()));
}

bool CCHScannerQTModuleBase::IsRunningAsAdmin() { return rzd::IsRunningAsAdmin(); }

bool CCHScannerQTModuleBase::IsUserInAdminGroup() { return rzd::IsUserInAdminGroup(); }

HRESULT CCHScannerQTModuleBase::SendHALControl(LONG code, const std::u16string& input, BSTR* output,
                                               VARIANT* valueIn, VARIANT* valueOut) {
  HRESULT hr = S_OK;
  BSTR unasked = nullptr;
  BSTR* traced = output != nullptr ? output : &unasked;
  RZD_FUNC_TRACE(u"SendHALControl");
  RZD_TRACE_HRESULT(&hr, u"lControlCode = [0x%08X], strXMLIn=%s, pstrXMLOut=[0x%08X], pvBufIn=[0x%08X], pvBufOut=[0x%08X]",
                    static_cast<uint32_t>(code), input.empty() ? u"NULL" : input.c_str(), 0u, 0u, 0u);
  RZD_TRACE_OUTPUT(u"*pstrXMLOut=[0x%08X]", traced, kTracePointer);
  if (!hal_) {
    hr = E_NOINTERFACE;
    return hr;
  }
  Bstr localOutput;
  LocalVariant localIn;
  LocalVariant localOut;
  Bstr in = input.empty() ? Bstr() : Bstr(input);
  BSTR* out = output != nullptr ? output : localOutput.Out();
  hr = hal_->Control(code, in.Get(), out, valueIn != nullptr ? valueIn : &localIn.value,
                     valueOut != nullptr ? valueOut : &localOut.value);
  if (FAILED(hr)) {
    RZD_LOG_ERROR(u"SendHALControl Exception caught. Error = 0x%08X, Description: %s", static_cast<uint32_t>(hr),
                  FormatW(u"failed with 0x%08X", static_cast<uint32_t>(hr)).c_str());
  }
  if (output == nullptr && localOutput) {
    RZD_LOG_WARN(u"SendHALControl losing orphaned XML output: %s", localOutput.Str().c_str());
  }
  return hr;
}

bool CCHScannerQTModuleBase::NotAsking() {
  RegKey key;
  uint32_t value = 0;
  const std::u16string path = u"Software\\Corvanite\\FWUpdater\\" + FirmwareUnitName(identity_.friendlyName);
  if (RegKey::Open(Hive::CurrentUser, path, &key) == ERROR_SUCCESS) key.GetDword(u"NotAsking", &value);
  return value != 2;
}

void CCHScannerQTModuleBase::setNotAsking(int32_t value) {
  RZD_FUNC_TRACE(u"rzdfwupdater::setNotAsking");
  RZD_TRACE_LOG(u"Value: %d", value);
  RegKey key;
  const std::u16string path = u"Software\\Corvanite\\FWUpdater\\" + FirmwareUnitName(identity_.friendlyName);
  if (RegKey::Create(Hive::CurrentUser, path, &key) == ERROR_SUCCESS) key.SetDword(u"NotAsking", static_cast<uint32_t>(value));
}

void CCHScannerQTModuleBase::AlignSpinBoxes(QSpinBox* first, QSpinBox* second) {
  if (first == nullptr || second == nullptr) return;
  const int more = Digits(first->maximum()) - Digits(second->maximum());
  second->setPrefix(more >= 1 && more <= 9 ? QString(2 * more, QLatin1Char(' ')) : QString());
}

int32_t CCHScannerQTModuleBase::ReadSwitch(HwProp prop) const {
  const HwPropsFile file = HwProps();
  file.DeleteVirtualStoreCopy(LocalAppDataFolder());
  return file.ReadInt(prop);
}

void CCHScannerQTModuleBase::ShowError(const QString& text) {
  QMessageBox::critical(DialogParent(), QCoreApplication::translate("CHScannerQTModule", "Error Occurred"), text, QMessageBox::Ok);
}

void CCHScannerQTModuleBase::ShowBusy() { ShowError(QCoreApplication::translate("CHScannerQTModule", "The scanner is in use by another application.")); }

void CCHScannerQTModuleBase::ShowNoConnection() { ShowError(QCoreApplication::translate("CHScannerQTModule", "No connection with device")); }

void CCHScannerQTModuleBase::ShowAnswer(HRESULT answer) {
  if (answer == kHalBusy) {
    ShowBusy();
  } else if (answer != S_OK) {
    ShowNoConnection();
  }
}

void CCHScannerQTModuleBase::TellHost(int32_t changed) {
  if (changed_ != nullptr) {
    changed_(hostData_, changed);
  } else {
    emit moduleSettingsHaveChanged(changed != 0 ? this : nullptr);
  }
}

bool CCHScannerQTModuleBase::LockedControl(LONG code, const std::u16string& input, uint32_t value) {
  if (!hal_) {
    ShowNoConnection();
    return false;
  }
  // The service knows its owner from code 35; without it a lock of the service itself answers
  // "in use". A bridge forwards the code, which changes nothing there.
  LocalVariant pid;
  pid.value.vt = VT_UI4;
  pid.value.ulVal = CurrentProcessId();
  SendHALControl(RZDHAL_CC_SET_PROCESS_ID, {}, nullptr, &pid.value, nullptr);

  LONG status = 0;
  const HRESULT locked = hal_->LockScanner(static_cast<LONG>(CurrentProcessId()), &status, kLockTimeoutMs);
  if (locked != S_OK) {
    RZD_LOG_ERROR(u"LockScanner answered 0x%08X", static_cast<uint32_t>(locked));
    ShowAnswer(locked == kHalBusy ? kHalBusy : E_FAIL);
    return false;
  }
  Bstr output;
  LocalVariant in;
  LocalVariant out;
  in.value.vt = VT_UI4;
  in.value.ulVal = value;
  Bstr text = input.empty() ? Bstr() : Bstr(input);
  const HRESULT answer = hal_->Control(code, text.Get(), output.Out(), &in.value, &out.value);
  if (answer != S_OK) RZD_LOG_ERROR(u"Control 0x%08X answered 0x%08X", static_cast<uint32_t>(code), static_cast<uint32_t>(answer));
  ShowAnswer(answer);
  const HRESULT unlocked = hal_->UnlockScanner(&status);
  if (unlocked != S_OK) {
    RZD_LOG_ERROR(u"UnlockScanner answered 0x%08X", static_cast<uint32_t>(unlocked));
    ShowNoConnection();
  }
  return answer == S_OK;
}

void CCHScannerQTModuleBase::Lamp(bool on) { LockedControl(RZDHAL_CC_EXEC_CONTROL, u"//Item[@ID='Lamp1']", on ? 1 : 0); }

bool CCHScannerQTModuleBase::ResetButton(const std::u16string& counter) {
  return LockedControl(RZDHAL_CC_RESET_SCANNER_COUNTER, u"/RZDScanner/" + counter, 0);
}

void CCHScannerQTModuleBase::SetService(IDispatch* instance) {
  if (instance == nullptr) {
    hal_.Reset();
    return;
  }
  ComPtr<IRZDHAL> next;
  if (FAILED(instance->QueryInterface(IID_IRZDHAL, next.OutVoid()))) next.Reset();
  hal_ = next;
}

}  // namespace rzd::panel
