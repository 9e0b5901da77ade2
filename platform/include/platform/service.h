// The service control manager: service records, start, stop, controls and broadcasts.
//
// A service is the key HKLM\SYSTEM\CurrentControlSet\Services\<name> with the values ImagePath
// (REG_EXPAND_SZ command line), Start (REG_DWORD start type), Type (REG_DWORD service type),
// ErrorControl, DisplayName and DependOnService (REG_MULTI_SZ, recorded only). A started service
// is a detached process in session 0 whose control dispatcher (platform/service_host.h) listens
// on the control socket <root>/services/<name>; the state it reports is recorded in the same key
// ("RunState", "RunProcessId", "RunControlsAccepted", "RunExitCode", REG_DWORD). A recorded
// process that has ended reads as stopped, so a service that crashed never stays "running".
// SIGTERM to a service's process is a stop; `rzd-sc` is the command for all of this.
#pragma once

#include "platform/errors.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Service states.
constexpr uint32_t SERVICE_STOPPED = 1;
constexpr uint32_t SERVICE_START_PENDING = 2;
constexpr uint32_t SERVICE_STOP_PENDING = 3;
constexpr uint32_t SERVICE_RUNNING = 4;
constexpr uint32_t SERVICE_CONTINUE_PENDING = 5;
constexpr uint32_t SERVICE_PAUSE_PENDING = 6;
constexpr uint32_t SERVICE_PAUSED = 7;

// Start types.
constexpr uint32_t SERVICE_BOOT_START = 0;
constexpr uint32_t SERVICE_SYSTEM_START = 1;
constexpr uint32_t SERVICE_AUTO_START = 2;
constexpr uint32_t SERVICE_DEMAND_START = 3;
constexpr uint32_t SERVICE_DISABLED = 4;

// Service types.
constexpr uint32_t SERVICE_WIN32_OWN_PROCESS = 0x10;

// Error control.
constexpr uint32_t SERVICE_ERROR_NORMAL = 1;

// Controls.
constexpr uint32_t SERVICE_CONTROL_STOP = 1;
constexpr uint32_t SERVICE_CONTROL_PAUSE = 2;
constexpr uint32_t SERVICE_CONTROL_CONTINUE = 3;
constexpr uint32_t SERVICE_CONTROL_INTERROGATE = 4;
constexpr uint32_t SERVICE_CONTROL_SHUTDOWN = 5;
constexpr uint32_t SERVICE_CONTROL_PARAMCHANGE = 6;
constexpr uint32_t SERVICE_CONTROL_NETBINDADD = 7;
constexpr uint32_t SERVICE_CONTROL_NETBINDREMOVE = 8;
constexpr uint32_t SERVICE_CONTROL_NETBINDENABLE = 9;
constexpr uint32_t SERVICE_CONTROL_NETBINDDISABLE = 10;
constexpr uint32_t SERVICE_CONTROL_DEVICEEVENT = 11;
constexpr uint32_t SERVICE_CONTROL_HARDWAREPROFILECHANGE = 12;
constexpr uint32_t SERVICE_CONTROL_POWEREVENT = 13;
constexpr uint32_t SERVICE_CONTROL_SESSIONCHANGE = 14;

// Controls a service accepts (SERVICE_STATUS::dwControlsAccepted). Interrogate, device events
// of registered notifications and user controls (128-255) are always accepted.
constexpr uint32_t SERVICE_ACCEPT_STOP = 0x1;
constexpr uint32_t SERVICE_ACCEPT_PAUSE_CONTINUE = 0x2;
constexpr uint32_t SERVICE_ACCEPT_SHUTDOWN = 0x4;
constexpr uint32_t SERVICE_ACCEPT_PARAMCHANGE = 0x8;
constexpr uint32_t SERVICE_ACCEPT_NETBINDCHANGE = 0x10;
constexpr uint32_t SERVICE_ACCEPT_HARDWAREPROFILECHANGE = 0x20;
constexpr uint32_t SERVICE_ACCEPT_POWEREVENT = 0x40;
constexpr uint32_t SERVICE_ACCEPT_SESSIONCHANGE = 0x80;

// Power events (event type of SERVICE_CONTROL_POWEREVENT).
constexpr uint32_t PBT_APMQUERYSUSPEND = 0x0;
constexpr uint32_t PBT_APMQUERYSUSPENDFAILED = 0x2;
constexpr uint32_t PBT_APMSUSPEND = 0x4;
constexpr uint32_t PBT_APMRESUMECRITICAL = 0x6;
constexpr uint32_t PBT_APMRESUMESUSPEND = 0x7;
constexpr uint32_t PBT_APMBATTERYLOW = 0x9;
constexpr uint32_t PBT_APMPOWERSTATUSCHANGE = 0xA;
constexpr uint32_t PBT_APMOEMEVENT = 0xB;
constexpr uint32_t PBT_APMRESUMEAUTOMATIC = 0x12;

// Session changes (event type of SERVICE_CONTROL_SESSIONCHANGE).
constexpr uint32_t WTS_CONSOLE_CONNECT = 1;
constexpr uint32_t WTS_CONSOLE_DISCONNECT = 2;
constexpr uint32_t WTS_REMOTE_CONNECT = 3;
constexpr uint32_t WTS_REMOTE_DISCONNECT = 4;
constexpr uint32_t WTS_SESSION_LOGON = 5;
constexpr uint32_t WTS_SESSION_LOGOFF = 6;
constexpr uint32_t WTS_SESSION_LOCK = 7;
constexpr uint32_t WTS_SESSION_UNLOCK = 8;

// The event data of SERVICE_CONTROL_SESSIONCHANGE.
struct WTSSESSION_NOTIFICATION {
  uint32_t cbSize;
  uint32_t dwSessionId;
};

struct SERVICE_STATUS {
  uint32_t dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  uint32_t dwCurrentState = SERVICE_STOPPED;
  uint32_t dwControlsAccepted = 0;
  uint32_t dwWin32ExitCode = 0;
  uint32_t dwServiceSpecificExitCode = 0;
  uint32_t dwCheckPoint = 0;
  uint32_t dwWaitHint = 0;
};

namespace rzd {

// The key of the service records under HKEY_LOCAL_MACHINE.
inline constexpr char16_t kServicesKeyPath[] = u"SYSTEM\\CurrentControlSet\\Services";

struct ServiceConfig {
  uint32_t serviceType = 0;
  uint32_t startType = 0;
  std::u16string imagePath;
  std::u16string displayName;
};

struct ServiceRunStatus {
  uint32_t state = SERVICE_STOPPED;
  uint32_t processId = 0;
  uint32_t controlsAccepted = 0;
  uint32_t exitCode = 0;
};

// What CreateServiceRecord writes.
struct ServiceCreateInfo {
  std::u16string name;
  std::u16string displayName;  // the name when empty
  std::u16string commandLine;  // the program (quoted when it holds blanks) and its arguments
  uint32_t serviceType = SERVICE_WIN32_OWN_PROCESS;
  uint32_t startType = SERVICE_DEMAND_START;
  std::vector<std::u16string> dependencies;
};

// "SYSTEM\CurrentControlSet\Services\<name>".
std::u16string ServiceKeyPath(std::u16string_view name);

// True when the service's key exists.
bool ServiceRecordExists(std::u16string_view name);

// The names of all services, sorted.
std::vector<std::u16string> ListServices();

// Records a new service. ERROR_SERVICE_EXISTS, ERROR_INVALID_PARAMETER for an empty name, a
// name holding "\" or "/", or an empty command line.
uint32_t CreateServiceRecord(const ServiceCreateInfo& info);

// Deletes a service: at once when it is stopped, else when it stops (it is then marked for
// deletion: ERROR_SERVICE_MARKED_FOR_DELETE to every later start and delete).
// ERROR_SERVICE_DOES_NOT_EXIST when there is none.
uint32_t DeleteServiceRecord(std::u16string_view name);

// The configuration values (missing values read as 0 / empty). ERROR_SUCCESS,
// ERROR_SERVICE_DOES_NOT_EXIST, ERROR_INVALID_PARAMETER for an empty name, or a registry error.
uint32_t QueryServiceRecordConfig(std::u16string_view name, ServiceConfig* config);

// The run state and process id. A service that never ran, or whose recorded process has ended,
// reads as SERVICE_STOPPED with process id 0.
uint32_t QueryServiceRunStatus(std::u16string_view name, ServiceRunStatus* status);

// Records the run state of a service (called by the service's own process).
uint32_t SetServiceRunStatus(std::u16string_view name, const ServiceRunStatus& status);

// Asks a running service to stop: records SERVICE_STOP_PENDING and sends its process SIGTERM,
// which its dispatcher turns into a stop control. ERROR_SUCCESS, ERROR_SERVICE_DOES_NOT_EXIST, or
// ERROR_SERVICE_NOT_ACTIVE when it does not run.
uint32_t RequestServiceStop(std::u16string_view name);

// Starts a service: its command line as a detached process in session 0, with `args` handed to
// its service main after the name. Returns once its control dispatcher answers (the service then
// reports its own progress). ERROR_SERVICE_ALREADY_RUNNING, ERROR_SERVICE_DISABLED,
// ERROR_SERVICE_MARKED_FOR_DELETE, ERROR_FILE_NOT_FOUND when the program cannot be started,
// ERROR_PROCESS_ABORTED when it ended before its dispatcher answered,
// ERROR_SERVICE_REQUEST_TIMEOUT when the dispatcher did not answer within 30 s.
uint32_t StartServiceByName(std::u16string_view name, const std::vector<std::u16string>& args = {});

// Sends a control (1 to 10, or a user control 128 to 255) to a running service and waits for
// its handler. *handlerResult receives the handler's answer, *status the state the service
// reports. ERROR_INVALID_SERVICE_CONTROL for another control, ERROR_SERVICE_NOT_ACTIVE when it
// does not run, ERROR_SERVICE_CANNOT_ACCEPT_CTRL when it does not accept the control now.
uint32_t ControlServiceByName(std::u16string_view name, uint32_t control, uint32_t* handlerResult = nullptr,
                              SERVICE_STATUS* status = nullptr);

// Waits up to `timeoutMs` until the service's recorded state is `state`. ERROR_SUCCESS or
// ERROR_TIMEOUT (or the query's error).
uint32_t WaitForServiceState(std::u16string_view name, uint32_t state, uint32_t timeoutMs);

// Tells every running service that accepts power events (SERVICE_ACCEPT_POWEREVENT) of a power
// event; answers how many handlers were reached.
uint32_t BroadcastPowerEvent(uint32_t eventType);
// Tells every running service that accepts session changes of a change of session `sessionId`
// (event data WTSSESSION_NOTIFICATION). A console connect makes that session the console session
// and a console disconnect of the console session leaves the console without one, before the
// services hear of it.
uint32_t BroadcastSessionChange(uint32_t eventType, uint32_t sessionId);

}  // namespace rzd
