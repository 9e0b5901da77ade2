// The service module: the control handler (stop, power, session and device events).
#include "service/service_module.h"

#include "platform/devices.h"
#include "platform/event_log.h"
#include "platform/messages.h"
#include "platform/text.h"

#include <cstddef>

namespace rzd::scanhost {

namespace {

constexpr const char16_t* kSessionChangeNames[] = {
    u"WTS_CONSOLE_CONNECT", u"WTS_CONSOLE_DISCONNECT", u"WTS_REMOTE_CONNECT", u"WTS_REMOTE_DISCONNECT",
    u"WTS_SESSION_LOGON",   u"WTS_SESSION_LOGOFF",     u"WTS_SESSION_LOCK",   u"WTS_SESSION_UNLOCK"};
constexpr uint32_t kPowerEventBase = 0x4000;

// The interface name of a device-interface broadcast of the image class; empty otherwise.
std::u16string ImageInterfaceName(const void* eventData) {
  if (eventData == nullptr) return {};
  const auto* broadcast = static_cast<const DEV_BROADCAST_DEVICEINTERFACE*>(eventData);
  const size_t header = offsetof(DEV_BROADCAST_DEVICEINTERFACE, dbcc_name);
  if (broadcast->dbcc_devicetype != DBT_DEVTYP_DEVICEINTERFACE || broadcast->dbcc_size < header ||
      broadcast->dbcc_classguid != GUID_DEVINTERFACE_IMAGE) {
    return {};
  }
  // The name ends at its terminator or at the record's end, whichever comes first.
  const size_t room = (broadcast->dbcc_size - header) / sizeof(char16_t);
  std::u16string_view name(broadcast->dbcc_name, room);
  return std::u16string(name.substr(0, name.find(u'\0')));
}

bool Contains(const std::u16string& text, const char16_t* part) { return text.find(part) != std::u16string::npos; }

}  // namespace

uint32_t ServiceModule::HandlerEx(uint32_t control, uint32_t eventType, void* eventData) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      NotifyAllLLDs(event_code::kServiceStop);
      ReportStatus(SERVICE_STOP_PENDING);
      if (const uint32_t thread = mainThreadId_.load(); thread != 0) PostThreadMessage(thread, WM_QUIT);
      stopEvent_.Set();
      return ERROR_SUCCESS;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
      return ERROR_SUCCESS;
    case SERVICE_CONTROL_INTERROGATE: {
      uint32_t state = SERVICE_STOPPED;
      {
        std::lock_guard guard(statusLock_);
        state = state_;
      }
      ReportStatus(state);
      return ERROR_SUCCESS;
    }
    case SERVICE_CONTROL_SHUTDOWN:
      stopEvent_.Set();
      return ERROR_SUCCESS;
    case SERVICE_CONTROL_PARAMCHANGE:
    case SERVICE_CONTROL_NETBINDADD:
    case SERVICE_CONTROL_NETBINDREMOVE:
    case SERVICE_CONTROL_NETBINDENABLE:
    case SERVICE_CONTROL_NETBINDDISABLE:
      return ERROR_CALL_NOT_IMPLEMENTED;
    case SERVICE_CONTROL_DEVICEEVENT:
      HandleDeviceEvent(eventType, eventData);
      return ERROR_SUCCESS;
    case SERVICE_CONTROL_POWEREVENT:
      if (eventType == PBT_APMSUSPEND || eventType == PBT_APMRESUMECRITICAL || eventType == PBT_APMRESUMEAUTOMATIC) {
        NotifyAllLLDs(kPowerEventBase + eventType);
      }
      return ERROR_SUCCESS;
    case SERVICE_CONTROL_SESSIONCHANGE:
      if (eventType == WTS_CONSOLE_CONNECT || eventType == WTS_CONSOLE_DISCONNECT || eventType == WTS_SESSION_LOGON ||
          eventType == WTS_SESSION_LOGOFF || eventType == WTS_SESSION_LOCK || eventType == WTS_SESSION_UNLOCK) {
        NotifyAllLLDs(eventType);
      }
      if (eventType >= WTS_CONSOLE_CONNECT && eventType <= WTS_SESSION_UNLOCK) {
        ReportEvent(values_.name.service, EVENTLOG_INFORMATION_TYPE, kSessionChangeNames[eventType - 1]);
      }
      return ERROR_SUCCESS;
    default:
      ReportEvent(values_.name.service, EVENTLOG_INFORMATION_TYPE, u"Bad service request");
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void ServiceModule::HandleDeviceEvent(uint32_t eventType, const void* eventData) {
  const std::u16string name = ImageInterfaceName(eventData);
  const bool ownUnit = ((Contains(name, u"USB") || Contains(name, u"usb")) && EqualsNoCase(name, values_.symbolicName)) ||
                       (!values_.deviceInstanceId.empty() && EqualsNoCase(name, values_.deviceInstanceId));
  ForwardDeviceEvent(eventType, name, values_.halClsid);
  if (!ownUnit) return;
  if (eventType == event_code::kArrival) {
    OwnUnitArrived();
  } else if (eventType == event_code::kQueryRemoveFailed || eventType == event_code::kRemoval) {
    OwnUnitLeft(eventType);
  }
}

void ServiceModule::ForwardDeviceEvent(uint32_t eventType, const std::u16string& interfaceName,
                                       const CLSID& instanceClass) {
  if (std::shared_ptr<CRZDHALScanner> own = OwnScanner()) own->DeviceEvent(eventType, interfaceName, instanceClass);
}

}  // namespace rzd::scanhost
