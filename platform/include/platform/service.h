// Service records: what querying and stopping a service needs, kept in the registry.
//
// A service is the key HKLM\SYSTEM\CurrentControlSet\Services\<name> with the values ImagePath
// (REG_EXPAND_SZ), Start (REG_DWORD start type), Type (REG_DWORD service type) and DisplayName.
// A running service records its state and process id in the same key (values "RunState" and
// "RunProcessId", REG_DWORD). A recorded process that has ended reads as stopped, so a service
// that crashed never stays "running".
#pragma once

#include "platform/errors.h"

#include <cstdint>
#include <string>
#include <string_view>

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
};

// "SYSTEM\CurrentControlSet\Services\<name>".
std::u16string ServiceKeyPath(std::u16string_view name);

// True when the service's key exists.
bool ServiceRecordExists(std::u16string_view name);

// The configuration values (missing values read as 0 / empty). ERROR_SUCCESS,
// ERROR_SERVICE_DOES_NOT_EXIST, ERROR_INVALID_PARAMETER for an empty name, or a registry error.
uint32_t QueryServiceRecordConfig(std::u16string_view name, ServiceConfig* config);

// The run state and process id. A service that never ran, or whose recorded process has ended,
// reads as SERVICE_STOPPED with process id 0.
uint32_t QueryServiceRunStatus(std::u16string_view name, ServiceRunStatus* status);

// Records the run state of a service (called by the service's own process).
uint32_t SetServiceRunStatus(std::u16string_view name, const ServiceRunStatus& status);

// Asks a running service to stop: records SERVICE_STOP_PENDING and sends its process SIGTERM.
// ERROR_SUCCESS, ERROR_SERVICE_DOES_NOT_EXIST, or ERROR_SERVICE_NOT_ACTIVE when it does not run.
uint32_t RequestServiceStop(std::u16string_view name);

}  // namespace rzd
