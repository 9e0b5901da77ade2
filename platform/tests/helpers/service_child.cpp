// A service for the service control manager's tests. Each handler call appends one line to
// <root>/service-<name>.log, in the order the calls come:
//   "main <session> <arguments...>"      when its service main starts
//   "device <event type> <interface>"   device arrival or removal of the image class
//   "power <event type>"                power broadcast
//   "session <event type> <session>"    session broadcast
//   "control <control>"                 any other control
// It accepts stop, power and session events; with the start argument "no-stop" it does not
// accept stop (SIGTERM still stops it). It writes "service started" to the event log, appends its
// process id to <root>/service-pids, and ends by itself once its root is removed.
//
//   service_child [--exit-now]     --exit-now ends at once without a dispatcher
#include "platform/devices.h"
#include "platform/event_log.h"
#include "platform/kernel.h"
#include "platform/process.h"
#include "platform/root.h"
#include "platform/service_host.h"
#include "platform/session.h"
#include "platform/text.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {

struct State {
  std::u16string name;
  rzd::ServiceStatusHandle status = nullptr;
  rzd::Event stop = rzd::Event::Unnamed(true, false);
} g_state;

void Log(const std::string& line) {
  std::ofstream out(rzd::SystemRoot() / ("service-" + rzd::ToUtf8(g_state.name) + ".log"), std::ios::app);
  out << line << '\n';
}

void Report(uint32_t state, uint32_t accepted, uint32_t exitCode = 0) {
  SERVICE_STATUS status;
  status.dwCurrentState = state;
  status.dwControlsAccepted = accepted;
  status.dwWin32ExitCode = exitCode;
  rzd::SetServiceStatus(g_state.status, status);
}

uint32_t Handler(uint32_t control, uint32_t eventType, void* data, void* /*context*/) {
  switch (control) {
    case SERVICE_CONTROL_DEVICEEVENT: {
      const auto* record = static_cast<const DEV_BROADCAST_DEVICEINTERFACE*>(data);
      Log("device " + std::to_string(eventType) + " " + rzd::ToUtf8(record->dbcc_name));
      return 0;
    }
    case SERVICE_CONTROL_POWEREVENT:
      Log("power " + std::to_string(eventType));
      return 0;
    case SERVICE_CONTROL_SESSIONCHANGE: {
      const auto* notification = static_cast<const WTSSESSION_NOTIFICATION*>(data);
      Log("session " + std::to_string(eventType) + " " + std::to_string(notification->dwSessionId));
      return 0;
    }
    case SERVICE_CONTROL_STOP:
      Log("control 1");
      Report(SERVICE_STOP_PENDING, 0);
      g_state.stop.Set();
      return 0;
    case SERVICE_CONTROL_INTERROGATE:
      Log("control 4");
      return 0;
    default:
      Log("control " + std::to_string(control));
      return control >= 128 ? 0 : ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void ServiceMain(uint32_t argc, char16_t** argv) {
  g_state.status = rzd::RegisterServiceCtrlHandlerEx(argv[0], &Handler, nullptr);
  if (g_state.status == nullptr) return;
  std::string line = "main " + std::to_string(rzd::CurrentSessionId());
  bool acceptStop = true;
  for (uint32_t i = 1; i < argc; ++i) {
    line += " " + rzd::ToUtf8(argv[i]);
    if (std::u16string_view(argv[i]) == u"no-stop") acceptStop = false;
  }
  Log(line);
  // "stop-now": the service gives up at once, with an exit code of its own.
  for (uint32_t i = 1; i < argc; ++i) {
    if (std::u16string_view(argv[i]) == u"stop-now") {
      Report(SERVICE_STOPPED, 0, 42);
      return;
    }
  }
  rzd::DeviceNotifyHandle devices = rzd::RegisterServiceDeviceNotification(g_state.status, GUID_DEVINTERFACE_IMAGE);
  rzd::ReportEvent(g_state.name, EVENTLOG_INFORMATION_TYPE, u"service started");
  Report(SERVICE_RUNNING,
         (acceptStop ? SERVICE_ACCEPT_STOP : 0) | SERVICE_ACCEPT_POWEREVENT | SERVICE_ACCEPT_SESSIONCHANGE);
  g_state.stop.Wait(INFINITE);
  rzd::UnregisterServiceDeviceNotification(devices);
  Report(SERVICE_STOPPED, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--exit-now") == 0) return 0;
  const std::filesystem::path root = rzd::SystemRoot();
  {
    std::ofstream pids(root / "service-pids", std::ios::app);
    pids << rzd::CurrentProcessId() << '\n';
  }
  std::thread([root] {
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      std::error_code ec;
      if (!std::filesystem::exists(root, ec)) std::_Exit(0);
    }
  }).detach();
  auto name = rzd::ServiceNameOfThisProcess();
  if (!name) return 7;
  g_state.name = *name;
  const SERVICE_TABLE_ENTRY table[] = {{name->c_str(), &ServiceMain}, {nullptr, nullptr}};
  return static_cast<int>(rzd::StartServiceCtrlDispatcher(table));
}
