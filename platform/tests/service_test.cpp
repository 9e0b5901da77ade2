// The service control manager: rzd-sc creates, starts, queries, controls and stops services;
// broadcasts and device events reach a service's handler in order; SIGTERM is a stop; the event
// log goes to syslog under the service's name; errors carry their Win32 numbers.
#include "platform/devices.h"
#include "platform/process.h"
#include "platform/root.h"
#include "platform/service.h"
#include "platform/session.h"
#include "platform/text.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr char16_t kName[] = u"RzdTestSvc";

std::string ServiceChild() { return (rzd::test::BinaryDir() / "service_child").string(); }

// Runs rzd-sc; its exit code, and what it printed in *output when asked.
int RunSc(const std::vector<std::string>& args, std::string* output = nullptr) {
  const fs::path out = rzd::SystemRoot() / "rzd-sc.out";
  std::string line = "\"" + (rzd::test::BinaryDir() / "rzd-sc").string() + "\"";
  for (const std::string& arg : args) line += " '" + arg + "'";
  auto child = rzd::ChildProcess::Start("/bin/sh", {"-c", line + " > '" + out.string() + "' 2>&1"});
  if (!child) return -1;
  int code = child->Wait(60000).value_or(-1);
  if (output != nullptr) *output = rzd::test::ReadBytes(out);
  return code;
}

std::vector<std::string> ServiceLog() {
  std::vector<std::string> lines;
  std::ifstream in(rzd::SystemRoot() / ("service-" + rzd::ToUtf8(kName) + ".log"));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool WaitForLines(size_t count) {
  for (int i = 0; i < 4000; ++i) {
    if (ServiceLog().size() >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

void CreateService(const std::string& arguments = "", uint32_t startType = SERVICE_DEMAND_START) {
  rzd::ServiceCreateInfo info;
  info.name = kName;
  info.commandLine = rzd::FromUtf8("\"" + ServiceChild() + "\"" + arguments);
  info.startType = startType;
  ASSERT_EQ(rzd::CreateServiceRecord(info), ERROR_SUCCESS);
}

uint32_t RunningPid() {
  rzd::ServiceRunStatus status;
  rzd::QueryServiceRunStatus(kName, &status);
  return status.processId;
}

class ServiceTest : public rzd::test::TempRoot {
 protected:
  // Every service process the test started ends with it, stopped or not.
  void TearDown() override {
    for (const std::u16string& name : rzd::ListServices()) rzd::RequestServiceStop(name);
    std::ifstream pids(rzd::SystemRoot() / "service-pids");
    for (uint32_t pid = 0; pids >> pid;) rzd::KillProcess(pid);
  }
};

TEST_F(ServiceTest, RzdScCreatesStartsQueriesAndStopsAService) {
  std::string output;
  ASSERT_EQ(RunSc({"create", rzd::ToUtf8(kName), "\"" + ServiceChild() + "\"", "--start", "demand"}, &output), 0)
      << output;
  ASSERT_EQ(RunSc({"query", rzd::ToUtf8(kName)}, &output), 0);
  EXPECT_NE(output.find("STATE              : 1  STOPPED"), std::string::npos) << output;

  ASSERT_EQ(RunSc({"start", rzd::ToUtf8(kName), "first", "second"}, &output), 0) << output;
  EXPECT_NE(output.find("STATE              : 4  RUNNING"), std::string::npos) << output;
  const uint32_t pid = RunningPid();
  ASSERT_NE(pid, 0u);
  // Its own detached process in session 0, outliving the command that started it.
  EXPECT_TRUE(rzd::IsProcessAlive(pid));
  EXPECT_EQ(getsid(static_cast<pid_t>(pid)), static_cast<pid_t>(pid));
  EXPECT_EQ(rzd::ProcessSessionId(pid), rzd::kServicesSessionId);
  ASSERT_TRUE(WaitForLines(1));
  EXPECT_EQ(ServiceLog()[0], "main 0 first second");

  ASSERT_EQ(RunSc({"stop", rzd::ToUtf8(kName)}, &output), 0) << output;
  EXPECT_NE(output.find("STATE              : 1  STOPPED"), std::string::npos) << output;
  EXPECT_EQ(ServiceLog().back(), "control 1");
  for (int i = 0; i < 2000 && rzd::IsProcessAlive(pid); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_FALSE(rzd::IsProcessAlive(pid)) << "the dispatcher returned and the process ended";
  EXPECT_FALSE(fs::exists(rzd::SystemRoot() / "services" / "rzdtestsvc")) << "its control socket is gone";

  ASSERT_EQ(RunSc({"delete", rzd::ToUtf8(kName)}), 0);
  EXPECT_FALSE(rzd::ServiceRecordExists(kName));
}

TEST_F(ServiceTest, BroadcastsAndDeviceEventsReachTheHandlerInOrder) {
  CreateService();
  ASSERT_EQ(rzd::StartServiceByName(kName), ERROR_SUCCESS);
  ASSERT_EQ(rzd::WaitForServiceState(kName, SERVICE_RUNNING, 30000), ERROR_SUCCESS);

  EXPECT_EQ(RunSc({"power", "suspend"}), 0);
  EXPECT_EQ(RunSc({"power", "resume"}), 0);
  EXPECT_EQ(RunSc({"power", "resumeautomatic"}), 0);
  EXPECT_EQ(RunSc({"session", "logon", "5"}), 0);
  EXPECT_EQ(RunSc({"session", "console-connect", "2"}), 0);
  EXPECT_EQ(rzd::ActiveConsoleSessionId(), 2u) << "the console now shows session 2";
  EXPECT_EQ(RunSc({"session", "7", "2"}), 0);

  rzd::UsbImageDevice unit;
  unit.vendorId = 0x2E5A;
  unit.productId = 0x0148;
  unit.serialNumber = u"QM48TZ000042";
  unit.instance = 3;
  const rzd::DeviceEntry entry = rzd::MakeUsbImageDevice(unit);
  ASSERT_EQ(rzd::AddDevice(entry), ERROR_SUCCESS);
  ASSERT_TRUE(WaitForLines(8));
  ASSERT_EQ(rzd::RemoveDevice(entry.interfacePath), ERROR_SUCCESS);
  ASSERT_TRUE(WaitForLines(9));
  EXPECT_EQ(RunSc({"control", rzd::ToUtf8(kName), "200"}), 0);
  EXPECT_EQ(RunSc({"session", "console-disconnect", "2"}), 0);
  EXPECT_EQ(rzd::ActiveConsoleSessionId(), rzd::kNoConsoleSession);
  EXPECT_EQ(RunSc({"stop", rzd::ToUtf8(kName)}), 0);

  const std::string path = rzd::ToUtf8(entry.interfacePath);
  const std::vector<std::string> expected = {
      "main 0",          "power 4",          "power 6",          "power 18",     "session 5 5", "session 1 2",
      "session 7 2",     "device 32768 " + path, "device 32772 " + path, "control 200", "session 2 2",
      "control 1"};
  EXPECT_EQ(ServiceLog(), expected);
}

TEST_F(ServiceTest, SigtermIsAStopEvenWhenStopIsNotAccepted) {
  CreateService();
  ASSERT_EQ(rzd::StartServiceByName(kName, {u"no-stop"}), ERROR_SUCCESS);
  ASSERT_EQ(rzd::WaitForServiceState(kName, SERVICE_RUNNING, 30000), ERROR_SUCCESS);
  EXPECT_EQ(rzd::ControlServiceByName(kName, SERVICE_CONTROL_STOP), ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  ASSERT_EQ(rzd::RequestServiceStop(kName), ERROR_SUCCESS);
  EXPECT_EQ(rzd::WaitForServiceState(kName, SERVICE_STOPPED, 30000), ERROR_SUCCESS);
  EXPECT_EQ(ServiceLog().back(), "control 1");
}

TEST_F(ServiceTest, AServiceThatStopsByItselfAtOnceHasStarted) {
  CreateService();
  // The service may end before or after a probe reaches its dispatcher: the start succeeded
  // either way, and its status holds its own exit code.
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(rzd::StartServiceByName(kName, {u"stop-now"}), ERROR_SUCCESS);
    ASSERT_EQ(rzd::WaitForServiceState(kName, SERVICE_STOPPED, 30000), ERROR_SUCCESS);
    rzd::ServiceRunStatus status;
    ASSERT_EQ(rzd::QueryServiceRunStatus(kName, &status), ERROR_SUCCESS);
    EXPECT_EQ(status.exitCode, 42u);
  }
}

TEST_F(ServiceTest, ErrorsCarryTheirNumbers) {
  EXPECT_EQ(rzd::StartServiceByName(kName), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(rzd::ControlServiceByName(kName, SERVICE_CONTROL_STOP), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(rzd::DeleteServiceRecord(kName), ERROR_SERVICE_DOES_NOT_EXIST);
  CreateService(" --exit-now");
  rzd::ServiceCreateInfo again;
  again.name = kName;
  again.commandLine = u"x";
  EXPECT_EQ(rzd::CreateServiceRecord(again), ERROR_SERVICE_EXISTS);
  again.name = u"bad\\name";
  EXPECT_EQ(rzd::CreateServiceRecord(again), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(rzd::StartServiceByName(kName), ERROR_PROCESS_ABORTED) << "a program without a dispatcher";
  rzd::ServiceRunStatus status;
  ASSERT_EQ(rzd::QueryServiceRunStatus(kName, &status), ERROR_SUCCESS);
  EXPECT_EQ(status.state, SERVICE_STOPPED);
  ASSERT_EQ(rzd::DeleteServiceRecord(kName), ERROR_SUCCESS);

  CreateService("", SERVICE_DISABLED);
  EXPECT_EQ(rzd::StartServiceByName(kName), ERROR_SERVICE_DISABLED);
  ASSERT_EQ(rzd::DeleteServiceRecord(kName), ERROR_SUCCESS);

  CreateService();
  EXPECT_EQ(rzd::ControlServiceByName(kName, SERVICE_CONTROL_STOP), ERROR_SERVICE_NOT_ACTIVE);
  ASSERT_EQ(rzd::StartServiceByName(kName), ERROR_SUCCESS);
  ASSERT_EQ(rzd::WaitForServiceState(kName, SERVICE_RUNNING, 30000), ERROR_SUCCESS);
  EXPECT_EQ(rzd::StartServiceByName(kName), ERROR_SERVICE_ALREADY_RUNNING);
  EXPECT_EQ(rzd::ControlServiceByName(kName, SERVICE_CONTROL_PAUSE), ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  EXPECT_EQ(rzd::ControlServiceByName(kName, SERVICE_CONTROL_DEVICEEVENT), ERROR_INVALID_SERVICE_CONTROL);
  uint32_t result = 0;
  EXPECT_EQ(rzd::ControlServiceByName(kName, SERVICE_CONTROL_PARAMCHANGE, &result), ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  SERVICE_STATUS reported;
  EXPECT_EQ(rzd::ControlServiceByName(kName, SERVICE_CONTROL_INTERROGATE, &result, &reported), ERROR_SUCCESS);
  EXPECT_EQ(reported.dwCurrentState, SERVICE_RUNNING);

  // Deleting a running service deletes it once it stops.
  EXPECT_EQ(rzd::DeleteServiceRecord(kName), ERROR_SUCCESS);
  EXPECT_TRUE(rzd::ServiceRecordExists(kName));
  EXPECT_EQ(rzd::DeleteServiceRecord(kName), ERROR_SERVICE_MARKED_FOR_DELETE);
  ASSERT_EQ(rzd::ControlServiceByName(kName, SERVICE_CONTROL_STOP), ERROR_SUCCESS);
  for (int i = 0; i < 4000 && rzd::ServiceRecordExists(kName); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(rzd::ServiceRecordExists(kName));
}

TEST_F(ServiceTest, TheDispatcherRefusesAProcessTheManagerDidNotStart) {
  auto child = rzd::ChildProcess::Start(ServiceChild(), {});
  ASSERT_TRUE(child);
  EXPECT_EQ(child->Wait(30000), 7);
}

TEST_F(ServiceTest, TheEventLogGoesToSyslogUnderTheServiceName) {
  const fs::path path = rzd::SystemRoot() / "syslog";
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  timeval limit{30, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  rzd::SetEnv("RZD_SYSLOG_SOCKET", path.string());

  CreateService();
  ASSERT_EQ(rzd::StartServiceByName(kName), ERROR_SUCCESS);
  char datagram[512] = {};
  ssize_t size = recv(fd, datagram, sizeof datagram - 1, 0);
  close(fd);
  ASSERT_GT(size, 0);
  const std::string entry(datagram, static_cast<size_t>(size));
  ASSERT_EQ(rzd::WaitForServiceState(kName, SERVICE_RUNNING, 30000), ERROR_SUCCESS);
  EXPECT_EQ(entry.rfind("<30>", 0), 0u) << entry;  // daemon facility, information severity
  const std::string tail = " RzdTestSvc[" + std::to_string(RunningPid()) + "]: service started";
  ASSERT_GE(entry.size(), tail.size());
  EXPECT_EQ(entry.substr(entry.size() - tail.size()), tail) << entry;
}

}  // namespace
