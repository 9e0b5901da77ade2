// Service queries and stop against the service records; every step goes to the install log.
#include "foundation/service_utils.h"

#include "foundation/install_log.h"
#include "foundation/message_wait.h"
#include "foundation/process_utils.h"
#include "platform/kernel.h"
#include "platform/service.h"
#include "platform/text.h"

#include <array>
#include <chrono>

namespace rzd {

namespace {

constexpr uint32_t kStopTimeoutMs = 15000;
constexpr uint32_t kStopPollMs = 1000;

std::u16string Text(std::u16string_view name) { return std::u16string(name); }

}  // namespace

std::u16string ServiceStateName(uint32_t state) {
  static constexpr std::array<const char16_t*, 7> kNames = {
      u"SERVICE_STOPPED %08X",          u"SERVICE_START_PENDING %08X", u"SERVICE_STOP_PENDING %08X",
      u"SERVICE_RUNNING %08X",          u"SERVICE_CONTINUE_PENDING %08X", u"SERVICE_PAUSE_PENDING %08X",
      u"SERVICE_PAUSED %08X"};
  if (state >= 1 && state <= kNames.size()) return FormatW(kNames[state - 1], state);
  return FormatW(u"Undefine %08X", state);
}

std::u16string ServiceStartTypeName(uint32_t startType) {
  static constexpr std::array<const char16_t*, 5> kNames = {u"SERVICE_BOOT_START %08X", u"SERVICE_SYSTEM_START %08X",
                                                             u"SERVICE_AUTO_START %08X", u"SERVICE_DEMAND_START %08X",
                                                             u"SERVICE_DISABLED %08X"};
  if (startType < kNames.size()) return FormatW(kNames[startType], startType);
  return FormatW(u"Undefine %08X", startType);
}

bool IsServiceInstalled(std::u16string_view name) {
  if (ServiceRecordExists(name)) return true;
  WriteCoInstallerLog(u"The service %s is not installed", Text(name).c_str());
  return false;
}

bool StopService(std::u16string_view name) { return StopServiceWithin(name, kStopTimeoutMs); }

bool StopServiceWithin(std::u16string_view name, uint32_t timeoutMs) {
  std::u16string service = Text(name);
  WriteCoInstallerLog(u"Attempt to stop service %s", service.c_str());
  if (!IsServiceInstalled(name)) return false;

  ServiceConfig config;
  if (uint32_t error = QueryServiceRecordConfig(name, &config); error != ERROR_SUCCESS) {
    WriteCoInstallerLog(u"Failed to open Service %s with error %08X", service.c_str(), error);
    return false;
  }
  WriteCoInstallerLog(u"StopService QueryServiceConfig %s ServiceType: %s", service.c_str(),
                      ServiceStartTypeName(config.startType).c_str());

  RequestServiceStop(name);  // a service that does not run answers "not active": its state says so
  auto start = std::chrono::steady_clock::now();
  ServiceRunStatus status{0, 0};  // a status never read is no stop
  while (QueryServiceRunStatus(name, &status) == ERROR_SUCCESS) {
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    int32_t elapsedMs = static_cast<int32_t>(elapsed.count());
    WriteCoInstallerLog(u"StopService-QueryServiceStatusEx: %s state: %s (dwCurrent-dwStart):%i dwTimeOut:%i",
                        service.c_str(), ServiceStateName(status.state).c_str(), elapsedMs,
                        static_cast<int32_t>(timeoutMs));
    if (elapsedMs > static_cast<int64_t>(timeoutMs) - 1) {
      WriteCoInstallerLog(u"StopService %s  TimeOut", service.c_str());
      KillTheProcess(status.processId);
      break;
    }
    if (status.state < SERVICE_START_PENDING || status.state > SERVICE_PAUSE_PENDING) break;
    Event pause = Event::Unnamed(true, false);
    WaitWithMessageLoop(pause, kStopPollMs);
  }
  WriteCoInstallerLog(u"StopService-QueryServiceStatusEx: %s state: %s", service.c_str(),
                      ServiceStateName(status.state).c_str());
  return status.state == SERVICE_STOPPED;
}

}  // namespace rzd
