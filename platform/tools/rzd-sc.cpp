// rzd-sc: the service control manager's command. Acts on the system root in force ($RZD_ROOT).
//
//   rzd-sc create NAME COMMAND-LINE [--start auto|demand|disabled] [--display TEXT]
//   rzd-sc delete NAME
//   rzd-sc start NAME [ARGUMENT...]     waits until the service runs (or stopped again)
//   rzd-sc stop NAME                    waits until the service has stopped
//   rzd-sc query NAME
//   rzd-sc control NAME CODE            1 to 10, or a user control 128 to 255
//   rzd-sc power EVENT                  suspend, resume, resumeautomatic, ... or a number
//   rzd-sc session EVENT SESSION-ID     console-connect, logon, lock, ... or a number
//
// The exit code is 0 on success, 1 on failure (the Win32 error number is printed), 2 for wrong
// usage.
#include "platform/service.h"
#include "platform/text.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t kWaitMs = 30000;

int Usage() {
  std::fprintf(stderr,
               "usage: rzd-sc create NAME COMMAND-LINE [--start auto|demand|disabled] [--display TEXT]\n"
               "       rzd-sc delete|stop|query NAME\n"
               "       rzd-sc start NAME [ARGUMENT...]\n"
               "       rzd-sc control NAME CODE\n"
               "       rzd-sc power suspend|resume|resumeautomatic|resumesuspend|querysuspend|"
               "querysuspendfailed|batterylow|powerstatuschange|oemevent|NUMBER\n"
               "       rzd-sc session console-connect|console-disconnect|remote-connect|remote-disconnect|"
               "logon|logoff|lock|unlock|NUMBER SESSION-ID\n");
  return 2;
}

int Fail(const char* what, uint32_t error) {
  std::fprintf(stderr, "rzd-sc: %s failed: error %u\n", what, error);
  return 1;
}

std::optional<uint32_t> Named(std::string_view text, const std::vector<std::pair<const char*, uint32_t>>& names) {
  for (const auto& [name, value] : names) {
    if (text == name) return value;
  }
  return rzd::ParseUInt32(text);
}

const char* StateName(uint32_t state) {
  static constexpr const char* kNames[] = {"STOPPED",          "START_PENDING", "STOP_PENDING", "RUNNING",
                                           "CONTINUE_PENDING", "PAUSE_PENDING", "PAUSED"};
  return state >= 1 && state <= 7 ? kNames[state - 1] : "UNKNOWN";
}

const char* StartName(uint32_t start) {
  static constexpr const char* kNames[] = {"BOOT_START", "SYSTEM_START", "AUTO_START", "DEMAND_START", "DISABLED"};
  return start <= 4 ? kNames[start] : "UNKNOWN";
}

int Create(const std::vector<std::string>& args) {
  if (args.size() < 2) return Usage();
  rzd::ServiceCreateInfo info;
  info.name = rzd::FromUtf8(args[0]);
  info.commandLine = rzd::FromUtf8(args[1]);
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--start" && i + 1 < args.size()) {
      auto start = Named(args[++i], {{"auto", SERVICE_AUTO_START}, {"demand", SERVICE_DEMAND_START},
                                     {"disabled", SERVICE_DISABLED}});
      if (!start || *start > SERVICE_DISABLED) return Usage();
      info.startType = *start;
    } else if (args[i] == "--display" && i + 1 < args.size()) {
      info.displayName = rzd::FromUtf8(args[++i]);
    } else {
      return Usage();
    }
  }
  uint32_t error = rzd::CreateServiceRecord(info);
  if (error != ERROR_SUCCESS) return Fail("create", error);
  std::printf("[SC] CreateService SUCCESS\n");
  return 0;
}

int Query(const std::u16string& name) {
  rzd::ServiceConfig config;
  uint32_t error = rzd::QueryServiceRecordConfig(name, &config);
  if (error != ERROR_SUCCESS) return Fail("query", error);
  rzd::ServiceRunStatus status;
  rzd::QueryServiceRunStatus(name, &status);
  std::printf("SERVICE_NAME: %s\n", rzd::ToUtf8(name).c_str());
  std::printf("        STATE              : %u  %s\n", status.state, StateName(status.state));
  std::printf("        PID                : %u\n", status.processId);
  std::printf("        CONTROLS_ACCEPTED  : 0x%X\n", status.controlsAccepted);
  std::printf("        WIN32_EXIT_CODE    : %u\n", status.exitCode);
  std::printf("        START_TYPE         : %u  %s\n", config.startType, StartName(config.startType));
  std::printf("        BINARY_PATH_NAME   : %s\n", rzd::ToUtf8(config.imagePath).c_str());
  return 0;
}

int Start(const std::vector<std::string>& args) {
  if (args.empty()) return Usage();
  const std::u16string name = rzd::FromUtf8(args[0]);
  std::vector<std::u16string> startArgs;
  for (size_t i = 1; i < args.size(); ++i) startArgs.push_back(rzd::FromUtf8(args[i]));
  uint32_t error = rzd::StartServiceByName(name, startArgs);
  if (error != ERROR_SUCCESS) return Fail("start", error);
  // Started: wait while it reports that it is starting.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  rzd::ServiceRunStatus status;
  while (rzd::QueryServiceRunStatus(name, &status) == ERROR_SUCCESS && status.state == SERVICE_START_PENDING &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return Query(name);
}

int Stop(const std::u16string& name) {
  uint32_t result = 0;
  uint32_t error = rzd::ControlServiceByName(name, SERVICE_CONTROL_STOP, &result);
  if (error != ERROR_SUCCESS) return Fail("stop", error);
  error = rzd::WaitForServiceState(name, SERVICE_STOPPED, kWaitMs);
  if (error != ERROR_SUCCESS) return Fail("stop", error);
  return Query(name);
}

int Control(const std::vector<std::string>& args) {
  if (args.size() != 2) return Usage();
  auto code = rzd::ParseUInt32(args[1]);
  if (!code) return Usage();
  uint32_t result = 0;
  SERVICE_STATUS status;
  uint32_t error = rzd::ControlServiceByName(rzd::FromUtf8(args[0]), *code, &result, &status);
  if (error != ERROR_SUCCESS) return Fail("control", error);
  std::printf("HANDLER_RESULT: %u\nSTATE: %u  %s\n", result, status.dwCurrentState, StateName(status.dwCurrentState));
  return 0;
}

int Power(const std::vector<std::string>& args) {
  if (args.size() != 1) return Usage();
  auto event = Named(args[0], {{"querysuspend", PBT_APMQUERYSUSPEND},
                               {"querysuspendfailed", PBT_APMQUERYSUSPENDFAILED},
                               {"suspend", PBT_APMSUSPEND},
                               {"resume", PBT_APMRESUMECRITICAL},
                               {"resumesuspend", PBT_APMRESUMESUSPEND},
                               {"batterylow", PBT_APMBATTERYLOW},
                               {"powerstatuschange", PBT_APMPOWERSTATUSCHANGE},
                               {"oemevent", PBT_APMOEMEVENT},
                               {"resumeautomatic", PBT_APMRESUMEAUTOMATIC}});
  if (!event) return Usage();
  std::printf("services reached: %u\n", rzd::BroadcastPowerEvent(*event));
  return 0;
}

int Session(const std::vector<std::string>& args) {
  if (args.size() != 2) return Usage();
  auto event = Named(args[0], {{"console-connect", WTS_CONSOLE_CONNECT},
                               {"console-disconnect", WTS_CONSOLE_DISCONNECT},
                               {"remote-connect", WTS_REMOTE_CONNECT},
                               {"remote-disconnect", WTS_REMOTE_DISCONNECT},
                               {"logon", WTS_SESSION_LOGON},
                               {"logoff", WTS_SESSION_LOGOFF},
                               {"lock", WTS_SESSION_LOCK},
                               {"unlock", WTS_SESSION_UNLOCK}});
  auto session = rzd::ParseUInt32(args[1]);
  if (!event || !session) return Usage();
  std::printf("services reached: %u\n", rzd::BroadcastSessionChange(*event, *session));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "create") return Create(args);
  if (command == "start") return Start(args);
  if (command == "control") return Control(args);
  if (command == "power") return Power(args);
  if (command == "session") return Session(args);
  if (args.size() != 1) return Usage();
  const std::u16string name = rzd::FromUtf8(args[0]);
  if (command == "query") return Query(name);
  if (command == "stop") return Stop(name);
  if (command == "delete") {
    uint32_t error = rzd::DeleteServiceRecord(name);
    if (error != ERROR_SUCCESS) return Fail("delete", error);
    std::printf("[SC] DeleteService SUCCESS\n");
    return 0;
  }
  return Usage();
}
