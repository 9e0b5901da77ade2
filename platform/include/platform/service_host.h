// The service side of the service control manager: the control dispatcher, the control handler
// (extended form), the status a service reports, and device-interface notifications delivered to
// the handler.
//
// A process the service control manager started calls StartServiceCtrlDispatcher from its main
// thread. The dispatcher runs the service main on a thread of its own and calls the handler on
// the dispatcher's thread, one control at a time, in the order they arrive: controls from
// `rzd-sc` and other processes, power and session broadcasts, device arrivals and removals of
// the classes the service registered, and SIGTERM (a stop).
#pragma once

#include "platform/service.h"
#include "platform/types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The handler: answers NO_ERROR (0) or a Win32 error such as ERROR_CALL_NOT_IMPLEMENTED.
using LPHANDLER_FUNCTION_EX = uint32_t (*)(uint32_t control, uint32_t eventType, void* eventData, void* context);
// The service main: argv[0] is the service name, then the start arguments.
using LPSERVICE_MAIN_FUNCTION = void (*)(uint32_t argc, char16_t** argv);

struct SERVICE_TABLE_ENTRY {
  const char16_t* lpServiceName;
  LPSERVICE_MAIN_FUNCTION lpServiceProc;
};

// The event data of SERVICE_CONTROL_DEVICEEVENT for a device interface: its class and its path
// (dbcc_name, terminated; the record is as long as dbcc_size says). A device event that another
// process sends over the control socket reaches the handler only when its record lies inside
// the bytes that arrived (dbcc_size no more than they, the name ending at its terminator or at
// the record's end, where a terminator is added); any other record is answered
// ERROR_INVALID_PARAMETER and written to the event log.
constexpr uint32_t DBT_DEVTYP_DEVICEINTERFACE = 5;
struct DEV_BROADCAST_DEVICEINTERFACE {
  uint32_t dbcc_size;
  uint32_t dbcc_devicetype;
  uint32_t dbcc_reserved;
  GUID dbcc_classguid;
  char16_t dbcc_name[1];
};

namespace rzd {

struct ServiceStatusRecord;
using ServiceStatusHandle = ServiceStatusRecord*;
struct ServiceDeviceNotification;
using DeviceNotifyHandle = ServiceDeviceNotification*;

// The service this process was started as, when the service control manager started it.
std::optional<std::u16string> ServiceNameOfThisProcess();

// Runs the dispatcher for the service this process was started as (its entry in `table`, which
// ends with an entry of nulls) until its service main has returned. ERROR_SUCCESS then;
// ERROR_FAILED_SERVICE_CONTROLLER_CONNECT when the process was not started as a service (or
// `table` lacks its service); ERROR_SERVICE_ALREADY_RUNNING when a dispatcher runs already.
uint32_t StartServiceCtrlDispatcher(const SERVICE_TABLE_ENTRY* table);

// Makes `handler` the service's control handler. Null (and *error ERROR_SERVICE_DOES_NOT_EXIST)
// outside the dispatcher's process or for another name. The handle stays valid until the
// dispatcher returns.
ServiceStatusHandle RegisterServiceCtrlHandlerEx(std::u16string_view name, LPHANDLER_FUNCTION_EX handler,
                                                 void* context, uint32_t* error = nullptr);

// Reports the service's state (recorded for queries and broadcasts). False for a bad handle.
bool SetServiceStatus(ServiceStatusHandle handle, const SERVICE_STATUS& status);

// Delivers arrivals (DBT_DEVICEARRIVAL) and removals (DBT_DEVICEREMOVECOMPLETE) of the interfaces
// of `classGuid` to the service's handler as SERVICE_CONTROL_DEVICEEVENT with a
// DEV_BROADCAST_DEVICEINTERFACE. Null for a bad handle or when the devices cannot be watched.
DeviceNotifyHandle RegisterServiceDeviceNotification(ServiceStatusHandle handle, const GUID& classGuid);
// No event of the registration reaches the handler once this returns.
bool UnregisterServiceDeviceNotification(DeviceNotifyHandle notification);

}  // namespace rzd
