// Service records in the registry: configuration, run state, creation, deletion and the stop
// request.
#include "platform/service.h"

#include "platform/process.h"
#include "platform/registry.h"
#include "service_protocol.h"

#include <csignal>
#include <fstream>
#include <string>

namespace rzd {

namespace {

constexpr char16_t kRunState[] = u"RunState";
constexpr char16_t kRunProcessId[] = u"RunProcessId";
constexpr char16_t kRunControlsAccepted[] = u"RunControlsAccepted";
constexpr char16_t kRunExitCode[] = u"RunExitCode";
constexpr char16_t kDeletePending[] = u"DeletePending";

// True while the process exists and has not ended (a child not yet reaped has ended).
bool ProcessRuns(uint32_t pid) {
  if (pid == 0 || pid > 0x7FFFFFFFu || !IsProcessAlive(pid)) return false;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return true;  // cannot look: it exists
  auto close = text.rfind(')');
  if (close == std::string::npos || close + 2 >= text.size()) return true;
  char state = text[close + 2];
  return state != 'Z' && state != 'X';
}

uint32_t OpenRecord(std::u16string_view name, RegKey* key) {
  if (!service_internal::ValidServiceName(name)) return ERROR_INVALID_PARAMETER;
  uint32_t error = RegKey::Open(Hive::LocalMachine, ServiceKeyPath(name), key);
  return error == ERROR_FILE_NOT_FOUND ? ERROR_SERVICE_DOES_NOT_EXIST : error;
}

}  // namespace

std::u16string ServiceKeyPath(std::u16string_view name) {
  return std::u16string(kServicesKeyPath) + u"\\" + std::u16string(name);
}

bool ServiceRecordExists(std::u16string_view name) {
  RegKey key;
  return OpenRecord(name, &key) == ERROR_SUCCESS;
}

std::vector<std::u16string> ListServices() {
  std::vector<std::u16string> names;
  RegKey services;
  if (RegKey::Open(Hive::LocalMachine, kServicesKeyPath, &services) == ERROR_SUCCESS) services.EnumKeys(&names);
  return names;
}

uint32_t CreateServiceRecord(const ServiceCreateInfo& info) {
  if (!service_internal::ValidServiceName(info.name) || info.commandLine.empty()) return ERROR_INVALID_PARAMETER;
  RegKey key;
  uint32_t disposition = 0;
  if (uint32_t error = RegKey::Create(Hive::LocalMachine, ServiceKeyPath(info.name), &key, &disposition);
      error != ERROR_SUCCESS) {
    return error;
  }
  if (disposition == REG_OPENED_EXISTING_KEY) return ERROR_SERVICE_EXISTS;
  uint32_t error = key.SetExpandString(u"ImagePath", info.commandLine);
  if (error == ERROR_SUCCESS) error = key.SetDword(u"Type", info.serviceType);
  if (error == ERROR_SUCCESS) error = key.SetDword(u"Start", info.startType);
  if (error == ERROR_SUCCESS) error = key.SetDword(u"ErrorControl", SERVICE_ERROR_NORMAL);
  if (error == ERROR_SUCCESS) error = key.SetString(u"DisplayName", info.displayName.empty() ? info.name : info.displayName);
  if (error == ERROR_SUCCESS && !info.dependencies.empty()) error = key.SetMultiString(u"DependOnService", info.dependencies);
  if (error != ERROR_SUCCESS) RegKey::DeleteTree(Hive::LocalMachine, ServiceKeyPath(info.name));
  return error;
}

uint32_t DeleteServiceRecord(std::u16string_view name) {
  RegKey key;
  if (uint32_t error = OpenRecord(name, &key); error != ERROR_SUCCESS) return error;
  uint32_t pending = 0;
  if (key.GetDword(kDeletePending, &pending) == ERROR_SUCCESS && pending != 0) return ERROR_SERVICE_MARKED_FOR_DELETE;
  ServiceRunStatus status;
  QueryServiceRunStatus(name, &status);
  if (status.state != SERVICE_STOPPED) return key.SetDword(kDeletePending, 1);  // its dispatcher deletes it
  return RegKey::DeleteTree(Hive::LocalMachine, ServiceKeyPath(name));
}

uint32_t QueryServiceRecordConfig(std::u16string_view name, ServiceConfig* config) {
  RegKey key;
  if (uint32_t error = OpenRecord(name, &key); error != ERROR_SUCCESS) return error;
  ServiceConfig result;
  key.GetDword(u"Type", &result.serviceType);
  key.GetDword(u"Start", &result.startType);
  key.GetString(u"ImagePath", &result.imagePath);
  key.GetString(u"DisplayName", &result.displayName);
  if (config != nullptr) *config = std::move(result);
  return ERROR_SUCCESS;
}

uint32_t QueryServiceRunStatus(std::u16string_view name, ServiceRunStatus* status) {
  RegKey key;
  if (uint32_t error = OpenRecord(name, &key); error != ERROR_SUCCESS) return error;
  ServiceRunStatus result;
  uint32_t state = SERVICE_STOPPED;
  uint32_t pid = 0;
  key.GetDword(kRunState, &state);
  key.GetDword(kRunProcessId, &pid);
  key.GetDword(kRunExitCode, &result.exitCode);
  if (state != SERVICE_STOPPED && ProcessRuns(pid)) {
    result.state = state;
    result.processId = pid;
    key.GetDword(kRunControlsAccepted, &result.controlsAccepted);
  }
  if (status != nullptr) *status = result;
  return ERROR_SUCCESS;
}

uint32_t SetServiceRunStatus(std::u16string_view name, const ServiceRunStatus& status) {
  RegKey key;
  if (uint32_t error = OpenRecord(name, &key); error != ERROR_SUCCESS) return error;
  if (uint32_t error = key.SetDword(kRunProcessId, status.processId); error != ERROR_SUCCESS) return error;
  if (uint32_t error = key.SetDword(kRunControlsAccepted, status.controlsAccepted); error != ERROR_SUCCESS) return error;
  if (uint32_t error = key.SetDword(kRunExitCode, status.exitCode); error != ERROR_SUCCESS) return error;
  return key.SetDword(kRunState, status.state);
}

uint32_t RequestServiceStop(std::u16string_view name) {
  ServiceRunStatus status;
  if (uint32_t error = QueryServiceRunStatus(name, &status); error != ERROR_SUCCESS) return error;
  if (status.state == SERVICE_STOPPED) return ERROR_SERVICE_NOT_ACTIVE;
  ServiceRunStatus pending = status;
  pending.state = SERVICE_STOP_PENDING;
  if (uint32_t error = SetServiceRunStatus(name, pending); error != ERROR_SUCCESS) return error;
  if (kill(static_cast<pid_t>(status.processId), SIGTERM) != 0 && !ProcessRuns(status.processId)) {
    SetServiceRunStatus(name, {SERVICE_STOPPED, 0});
  }
  return ERROR_SUCCESS;
}

}  // namespace rzd
