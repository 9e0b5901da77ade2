// The service control manager's side of a running service: start, controls and broadcasts.
#include "platform/service.h"

#include "platform/process.h"
#include "platform/root.h"
#include "platform/registry.h"
#include "platform/session.h"
#include "platform/text.h"
#include "ipc/file_lock.h"
#include "service_protocol.h"

#include <chrono>
#include <string>
#include <thread>


namespace rzd {

namespace {

constexpr uint32_t kStartTimeoutMs = 30000;
constexpr uint32_t kControlTimeoutMs = 30000;

bool MarkedForDeletion(std::u16string_view name) {
  RegKey key;
  uint32_t pending = 0;
  return RegKey::Open(Hive::LocalMachine, ServiceKeyPath(name), &key) == ERROR_SUCCESS &&
         key.GetDword(u"DeletePending", &pending) == ERROR_SUCCESS && pending != 0;
}

// Sends a control to every running service that accepts it.
uint32_t Broadcast(uint32_t control, uint32_t eventType, const std::vector<uint8_t>& data) {
  const uint32_t bit = service_internal::AcceptBitOf(control);
  uint32_t reached = 0;
  for (const std::u16string& name : ListServices()) {
    ServiceRunStatus status;
    if (QueryServiceRunStatus(name, &status) != ERROR_SUCCESS || status.state == SERVICE_STOPPED) continue;
    if (bit != 0 && (status.controlsAccepted & bit) == 0) continue;
    service_internal::ControlRequest request{control, eventType, data};
    service_internal::ControlReply reply;
    if (service_internal::SendControl(name, request, &reply, kControlTimeoutMs) == ERROR_SUCCESS &&
        reply.error == ERROR_SUCCESS) {
      ++reached;
    }
  }
  return reached;
}

}  // namespace

uint32_t StartServiceByName(std::u16string_view name, const std::vector<std::u16string>& args) {
  ServiceConfig config;
  if (uint32_t error = QueryServiceRecordConfig(name, &config); error != ERROR_SUCCESS) return error;
  if (MarkedForDeletion(name)) return ERROR_SERVICE_MARKED_FOR_DELETE;
  if (config.startType == SERVICE_DISABLED) return ERROR_SERVICE_DISABLED;
  // Held while this caller starts the service, so callers racing to start it start one process.
  if (EnsurePrivateFolder(service_internal::ServicesFolder()) != ERROR_SUCCESS) return ERROR_ACCESS_DENIED;
  std::filesystem::path lockPath = service_internal::ControlSocketPath(name);
  lockPath += ".start";
  ipc::FileLock lock(lockPath);
  if (!lock.LockWithin(kStartTimeoutMs)) return ERROR_SERVICE_REQUEST_TIMEOUT;
  ServiceRunStatus status;
  if (uint32_t error = QueryServiceRunStatus(name, &status); error != ERROR_SUCCESS) return error;
  if (status.state != SERVICE_STOPPED) return ERROR_SERVICE_ALREADY_RUNNING;

  const std::vector<std::string> command = SplitCommandLine(ExpandEnvironmentStrings(config.imagePath));
  if (command.empty()) return ERROR_FILE_NOT_FOUND;
  std::u16string joined;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0) joined += u'\x1F';
    joined += args[i];
  }
  std::vector<std::string> environment = {
      std::string(service_internal::kServiceNameVariable) + "=" + ToUtf8(name),
      std::string(service_internal::kServiceArgsVariable) + "=" + ToUtf8(joined),
      std::string(kSessionEnvironmentVariable) + "=" + std::to_string(kServicesSessionId),
  };
  // Start pending from now on, recorded before the service can report anything itself; until
  // its dispatcher records the service's own process, this (living) process stands for it.
  if (uint32_t error = SetServiceRunStatus(name, {SERVICE_START_PENDING, CurrentProcessId()}); error != ERROR_SUCCESS) {
    return error;
  }
  auto pid = ChildProcess::StartDetached(command.front(), {command.begin() + 1, command.end()}, environment);
  if (!pid) {
    SetServiceRunStatus(name, {SERVICE_STOPPED, 0});
    return ERROR_FILE_NOT_FOUND;
  }

  // The start is done once the service's dispatcher answers a probe.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    service_internal::ControlReply reply;
    if (service_internal::SendControl(name, {service_internal::kProbeControl, 0, {}}, &reply, kControlTimeoutMs) ==
        ERROR_SUCCESS) {
      return ERROR_SUCCESS;
    }
    if (!IsProcessAlive(*pid)) {
      // A service that recorded its own end ran its dispatcher: it started, and stopped by
      // itself before a probe reached it (its exit code is in its status). Any other end is an
      // abort.
      QueryServiceRunStatus(name, &status);
      if (status.state == SERVICE_STOPPED) return ERROR_SUCCESS;
      SetServiceRunStatus(name, {SERVICE_STOPPED, 0});
      return ERROR_PROCESS_ABORTED;
    }
    if (std::chrono::steady_clock::now() >= deadline) return ERROR_SERVICE_REQUEST_TIMEOUT;
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(20)) pause *= 2;
  }
}

uint32_t ControlServiceByName(std::u16string_view name, uint32_t control, uint32_t* handlerResult,
                              SERVICE_STATUS* status) {
  const bool userControl = control >= 128 && control <= 255;
  if (!userControl && (control < SERVICE_CONTROL_STOP || control > SERVICE_CONTROL_NETBINDDISABLE)) {
    return ERROR_INVALID_SERVICE_CONTROL;
  }
  ServiceRunStatus run;
  if (uint32_t error = QueryServiceRunStatus(name, &run); error != ERROR_SUCCESS) return error;
  if (run.state == SERVICE_STOPPED) return ERROR_SERVICE_NOT_ACTIVE;
  service_internal::ControlReply reply;
  if (uint32_t error = service_internal::SendControl(name, {control, 0, {}}, &reply, kControlTimeoutMs);
      error != ERROR_SUCCESS) {
    return error;
  }
  if (handlerResult != nullptr) *handlerResult = reply.handlerResult;
  if (status != nullptr) *status = reply.status;
  return reply.error;
}

uint32_t WaitForServiceState(std::u16string_view name, uint32_t state, uint32_t timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    ServiceRunStatus status;
    if (uint32_t error = QueryServiceRunStatus(name, &status); error != ERROR_SUCCESS) return error;
    if (status.state == state) return ERROR_SUCCESS;
    if (std::chrono::steady_clock::now() >= deadline) return ERROR_TIMEOUT;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

uint32_t BroadcastPowerEvent(uint32_t eventType) { return Broadcast(SERVICE_CONTROL_POWEREVENT, eventType, {}); }

uint32_t BroadcastSessionChange(uint32_t eventType, uint32_t sessionId) {
  if (eventType == WTS_CONSOLE_CONNECT) SetActiveConsoleSession(sessionId);
  if (eventType == WTS_CONSOLE_DISCONNECT && ActiveConsoleSessionId() == sessionId) {
    SetActiveConsoleSession(kNoConsoleSession);
  }
  WTSSESSION_NOTIFICATION notification{sizeof(WTSSESSION_NOTIFICATION), sessionId};
  const auto* bytes = reinterpret_cast<const uint8_t*>(&notification);
  return Broadcast(SERVICE_CONTROL_SESSIONCHANGE, eventType, {bytes, bytes + sizeof notification});
}

}  // namespace rzd
