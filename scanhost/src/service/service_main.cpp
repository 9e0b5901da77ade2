// The service module: how a copy runs (under the service control manager or as a plain local
// server), the service main routine, the message loop, the device-online event and the
// service's own scanner HAL object.
#include "service/service_module.h"

#include "coclass/hal_coclass.h"
#include "interfaces/rzdhal_proxy_stub.h"
#include "scanhost/class_key_values.h"

#include "lowdrv/engine/unit_names.h"
#include "platform/com.h"
#include "platform/devices.h"
#include "platform/event_log.h"
#include "platform/messages.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"

#include <chrono>
#include <string>

namespace rzd::scanhost {

namespace {

constexpr char16_t kClassRootKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Class\\";
constexpr char16_t kNoButtonPollKey[] = u"software\\corvanite\\RZD";
constexpr char16_t kNoButtonPollValueName[] = u"NoButtonPoll";
constexpr uint32_t kAcceptedControls =
    SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_POWEREVENT | SERVICE_ACCEPT_SESSIONCHANGE;

std::atomic<ServiceModule*> g_current{nullptr};

void ServiceMainEntry(uint32_t /*argc*/, char16_t** /*argv*/) {
  if (ServiceModule* module = ServiceModule::Current()) module->ServiceMain();
}

uint32_t HandlerEntry(uint32_t control, uint32_t eventType, void* eventData, void* context) {
  return static_cast<ServiceModule*>(context)->HandlerEx(control, eventType, eventData);
}

// The exit code a failed start reports: a Win32 error as itself, another HRESULT as its value.
uint32_t ExitCodeOf(HRESULT hr) {
  const uint32_t value = static_cast<uint32_t>(hr);
  return (value & 0xFFFF0000u) == 0x80070000u ? (value & 0xFFFF) : value;
}

}  // namespace

ServiceModule::ServiceModule(StartupValues values)
    : CLogClient(u"HAL Service Module"), values_(std::move(values)), friendlyName_(values_.friendlyName) {}

ServiceModule::~ServiceModule() {
  DestroyOwnScanner();
  EndClients();
  if (Current() == this) SetCurrent(nullptr);
}

ServiceModule* ServiceModule::Current() { return g_current.load(); }
void ServiceModule::SetCurrent(ServiceModule* module) { g_current.store(module); }

std::u16string ServiceModule::FriendlyName() const {
  std::lock_guard guard(friendlyNameLock_);
  return friendlyName_;
}

bool ServiceModule::NamedAsLocalService() const {
  RegKey app;
  std::u16string service;
  return RegKey::Open(Hive::ClassesRoot, u"AppID\\" + FormatGuid(values_.appId), &app) == ERROR_SUCCESS &&
         app.GetString(u"LocalService", &service) == ERROR_SUCCESS && EqualsNoCase(service, values_.name.service);
}

int ServiceModule::Run() {
  SetCurrent(this);
  if (HRESULT hr = RegisterRzdHalProxyStub(); FAILED(hr)) return static_cast<int>(hr);
  // The service control manager started this process as its service, or the instance's
  // application identifier names it as a local service.
  const std::optional<std::u16string> startedAs = ServiceNameOfThisProcess();
  if ((startedAs && EqualsNoCase(*startedAs, values_.name.service)) || NamedAsLocalService()) {
    runningAsService_ = true;
    const SERVICE_TABLE_ENTRY table[] = {{values_.name.service.c_str(), &ServiceMainEntry}, {nullptr, nullptr}};
    const uint32_t error = StartServiceCtrlDispatcher(table);
    if (error != ERROR_SUCCESS) return static_cast<int>(error);
    std::lock_guard guard(statusLock_);
    return static_cast<int>(exitCode_);
  }
  // A plain local server: the class object and the message loop, until no object has lived for
  // a while.
  ComInit com(COINIT_MULTITHREADED);
  const HRESULT hr = RegisterClassObject();
  if (FAILED(hr)) return static_cast<int>(hr);
  RunMessageLoop();
  RevokeClassObject();
  EndClients();
  return 0;
}

void ServiceModule::ReportStatus(uint32_t state, uint32_t exitCode) {
  std::lock_guard guard(statusLock_);
  state_ = state;
  exitCode_ = exitCode;
  if (status_ == nullptr) return;
  SERVICE_STATUS status;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? kAcceptedControls : 0;
  status.dwWin32ExitCode = exitCode;
  SetServiceStatus(status_, status);
}

void ServiceModule::ServiceMain() {
  const std::u16string& name = values_.name.service;
  status_ = RegisterServiceCtrlHandlerEx(name, &HandlerEntry, this);
  if (status_ == nullptr) {
    ReportEvent(name, EVENTLOG_INFORMATION_TYPE, u"HandlerEx is not installed");
    return;
  }
  notification_ = RegisterServiceDeviceNotification(status_, GUID_DEVINTERFACE_IMAGE);
  if (notification_ == nullptr) {
    ReportEvent(name, EVENTLOG_INFORMATION_TYPE, u"DeviceNotificationHandler is not installed");
    ReportStatus(SERVICE_STOPPED, ERROR_NOT_SUPPORTED);
    return;
  }
  ReportStatus(SERVICE_START_PENDING);
  const HRESULT comResult = CoInitialize(nullptr);
  HRESULT hr = comResult;
  if (SUCCEEDED(hr)) {
    CreateDeviceOnlineEvent();
    CreateOwnScanner();
    hr = RegisterClassObject();
  }
  if (SUCCEEDED(hr)) {
    ReportStatus(SERVICE_RUNNING);
    RunMessageLoop();
    RevokeClassObject();
  }
  if (SUCCEEDED(comResult)) CoUninitialize();
  UnregisterServiceDeviceNotification(notification_);
  notification_ = nullptr;
  DestroyOwnScanner();
  EndClients();
  online_.Close();
  ReportStatus(SERVICE_STOPPED, SUCCEEDED(hr) ? 0 : ExitCodeOf(hr));
}

HRESULT ServiceModule::RegisterClassObject() {
  ComPtr<IUnknown> factory = MakeClassFactory(this);
  if (!factory) return E_OUTOFMEMORY;
  HRESULT hr = CoRegisterClassObject(values_.halClsid, factory.Get(), CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &classCookie_);
  if (SUCCEEDED(hr)) hr = CoResumeClassObjects();
  if (FAILED(hr)) {
    RZD_LOG_ERROR(u"RegisterClassObject failed because the class could not be served (0x%08X)",
                  static_cast<uint32_t>(hr));
    RevokeClassObject();
  }
  return hr;
}

void ServiceModule::RevokeClassObject() {
  if (classCookie_ != 0) CoRevokeClassObject(classCookie_);
  classCookie_ = 0;
}

void ServiceModule::RunMessageLoop() {
  mainThreadId_.store(CurrentThreadId());
  EnsureMessageQueue();
  auto idleSince = std::chrono::steady_clock::now();
  for (;;) {
    if (FriendlyName().empty()) {
      std::u16string name = ReadMachineString(values_.classKeyPath, kValueFriendlyName);
      std::lock_guard guard(friendlyNameLock_);
      friendlyName_ = std::move(name);
    }
    if (std::optional<ThreadMessage> message = PeekThreadMessage(true)) {
      if (message->id == WM_QUIT) break;
      DispatchThreadMessage(*message);
    }
    const uint32_t waited = MsgWaitForObjects({stopEvent_}, kMessageLoopWaitMs);
    if (waited == WAIT_OBJECT_0) break;
    if (waited == WAIT_TIMEOUT) ReapDeadClients();
    if (!runningAsService_) {
      // The plain local server ends once no object has lived for a while.
      const auto now = std::chrono::steady_clock::now();
      if (comModule_.LockCount() != 0) {
        idleSince = now;
      } else if (now - idleSince >= std::chrono::milliseconds(kIdleShutdownMs)) {
        break;
      }
    }
  }
  mainThreadId_.store(0);
}

bool ServiceModule::IsOnLine() const {
  for (const DeviceEntry& device : EnumerateDevices(GUID_DEVINTERFACE_IMAGE)) {
    // The device's driver key names its device class key below the class root.
    const std::u16string symbolicName = ReadMachineString(std::u16string(kClassRootKey) + device.driverKey, kValueSymbolicName);
    if (!symbolicName.empty() && EqualsNoCase(symbolicName, values_.symbolicName)) return true;
  }
  return false;
}

bool ServiceModule::CreateDeviceOnlineEvent() {
  const std::optional<std::u16string> name = lowdrv::DeviceOnlineEventName(values_.symbolicName);
  if (!name) {
    RZD_LOG_ERROR(u"DeviceOnlineEvent failed because SymbolicName \"%s\" names no device",
                  values_.symbolicName.c_str());
    return false;
  }
  ObjectResult<Event> created = Event::Create(*name, true, false);
  if (!created) {
    RZD_LOG_ERROR(u"DeviceOnlineEvent failed because %s could not be created (%u)", name->c_str(), created.error);
    return false;
  }
  online_ = created.handle;
  // An event left set by an earlier holder says nothing about the unit now.
  if (IsOnLine()) {
    online_.Set();
  } else {
    online_.Reset();
  }
  return true;
}

void ServiceModule::CreateOwnScanner() {
  RegKey key;
  uint32_t noButtonPoll = 0;
  if (RegKey::Open(Hive::LocalMachine, kNoButtonPollKey, &key) == ERROR_SUCCESS) {
    key.GetDword(kNoButtonPollValueName, &noButtonPoll);
  }
  if (noButtonPoll == kNoButtonPollValue) return;
  auto own = std::make_shared<CRZDHALScanner>(this, values_.symbolicName, values_.driverFileName,
                                              values_.firmwareUpdater, true);
  {
    std::lock_guard guard(ownLock_);
    own_ = own;
  }
  if (online_ && online_.Wait(0) == WAIT_OBJECT_0) own->SessionStateChanged(event_code::kArrival);
}

void ServiceModule::DestroyOwnScanner() {
  std::shared_ptr<CRZDHALScanner> own;
  {
    std::lock_guard guard(ownLock_);
    own = std::move(own_);
  }
  if (!own) return;
  own->SessionStateChanged(event_code::kServiceStop);
  own->Destroy();
}

std::shared_ptr<CRZDHALScanner> ServiceModule::OwnScanner() const {
  std::lock_guard guard(ownLock_);
  return own_;
}

}  // namespace rzd::scanhost
