// The service control manager: rzd-sc creates, starts, queries, controls and stops services;
// broadcasts and device events reach a service's handler in order; SIGTERM is a stop; the event
// log goes to syslog under the service's name; errors carry their Win32 numbers.
#include "device_event_records.h"
#include "platform/devices.h"
#include "platform/local_socket.h"
#include "platform/process.h"
#include "platform/root.h"
#include "platform/service.h"
#include "platform/session.h"
#include "platform/text.h"
#include "platform/service_host.h"
#include "service/device_event_record.h"
#include "service/service_protocol.h"
#include "testsupport/eventually.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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
  return rzd::test::Eventually([count] { return ServiceLog().size() >= count; }, std::chrono::seconds(20));
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
  rzd::test::Eventually([pid] { return !rzd::IsProcessAlive(pid); }, std::chrono::seconds(10));
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
  EXPECT_TRUE(rzd::test::Eventually([] { return !rzd::ServiceRecordExists(kName); }, std::chrono::seconds(20)));
}

TEST_F(ServiceTest, TheDispatcherRefusesAProcessTheManagerDidNotStart) {
  auto child = rzd::ChildProcess::Start(ServiceChild(), {});
  ASSERT_TRUE(child);
  EXPECT_EQ(child->Wait(30000), 7);
}

// What a control and its reply look like on the control socket: little-endian 32-bit words, the
// event data right after the 16-byte header, and a 36-byte reply.
TEST_F(ServiceTest, AControlAndItsReplyKeepTheirBytes) {
  namespace si = rzd::service_internal;
  si::ControlRequest request;
  request.control = SERVICE_CONTROL_SESSIONCHANGE;
  request.eventType = 0x11223344;
  request.data = {0xAA, 0xBB, 0xCC};
  const std::vector<uint8_t> expected = {0x5A, 0x44, 0x53, 0x43, 14, 0, 0, 0, 0x44, 0x33, 0x22, 0x11,
                                         3,    0,    0,    0,    0xAA, 0xBB, 0xCC};
  const std::vector<uint8_t> bytes = si::EncodeControlRequest(request);
  EXPECT_EQ(bytes, expected);
  si::ControlRequest decoded;
  ASSERT_TRUE(si::DecodeControlRequest(bytes.data(), bytes.size(), &decoded));
  EXPECT_EQ(decoded.control, request.control);
  EXPECT_EQ(decoded.eventType, request.eventType);
  EXPECT_EQ(decoded.data, request.data);
  EXPECT_FALSE(si::DecodeControlRequest(bytes.data(), bytes.size() - 1, &decoded)) << "data shorter than told";
  std::vector<uint8_t> wrongMagic = bytes;
  wrongMagic[0] ^= 1;
  EXPECT_FALSE(si::DecodeControlRequest(wrongMagic.data(), wrongMagic.size(), &decoded));

  rzd::LocalListener listener;
  ASSERT_EQ(rzd::LocalListener::Listen(rzd::SystemRoot() / "sockets" / "control", &listener), ERROR_SUCCESS);
  rzd::LocalStream near;
  rzd::LocalStream far;
  ASSERT_EQ(rzd::LocalStream::Connect(listener.Path(), &near), ERROR_SUCCESS);
  ASSERT_EQ(listener.Accept(&far), ERROR_SUCCESS);
  EXPECT_TRUE(near.PeerIsThisUser());
  EXPECT_TRUE(far.PeerIsThisUser());
  ASSERT_EQ(near.Send(bytes.data(), bytes.size()), ERROR_SUCCESS);
  si::ControlRequest read;
  ASSERT_EQ(si::ReadControlRequest(far, &read), ERROR_SUCCESS);
  EXPECT_EQ(read.data, request.data);

  si::ControlReply reply;
  reply.error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  reply.handlerResult = 0x01020304;
  reply.status = {1, 2, 3, 4, 5, 6, 7};
  ASSERT_EQ(si::WriteControlReply(far, reply), ERROR_SUCCESS);
  uint8_t answer[36] = {};
  ASSERT_EQ(near.Receive(answer, sizeof answer), ERROR_SUCCESS);
  const uint32_t words[9] = {ERROR_SERVICE_CANNOT_ACCEPT_CTRL, 0x01020304, 1, 2, 3, 4, 5, 6, 7};
  for (size_t i = 0; i < 9; ++i) {
    const uint8_t* at = answer + 4 * i;
    EXPECT_EQ(at[0] | at[1] << 8 | at[2] << 16 | static_cast<uint32_t>(at[3]) << 24, words[i]) << "word " << i;
  }
}

// The system log of the services this process starts: a datagram socket in the root that
// $RZD_SYSLOG_SOCKET names. Next() is the next entry ("" when none came within 30 s).
class SyslogListener {
 public:
  SyslogListener() : path_(rzd::SystemRoot() / "syslog"), fd_(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    bound_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    timeval limit{30, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    rzd::SetEnv("RZD_SYSLOG_SOCKET", path_.string());
  }
  ~SyslogListener() {
    if (fd_ >= 0) close(fd_);
  }
  SyslogListener(const SyslogListener&) = delete;
  SyslogListener& operator=(const SyslogListener&) = delete;
  bool Bound() const { return bound_; }
  std::string Next() {
    char datagram[512] = {};
    const ssize_t size = recv(fd_, datagram, sizeof datagram - 1, 0);
    return size > 0 ? std::string(datagram, static_cast<size_t>(size)) : std::string();
  }

 private:
  fs::path path_;
  int fd_;
  bool bound_ = false;
};

using rzd::test::DeviceRecord;

// A record is used only when its header and its name lie inside the bytes that arrived.
TEST(DeviceEventRecordTest, ARecordIsWholeOnlyWhenItsHeaderAndNameLieInsideWhatArrived) {
  namespace si = rzd::service_internal;
  using Fault = si::DeviceRecordFault;
  const std::u16string name = u"\\\\?\\usb#vid_2e5a&pid_0148#qm1#x";
  std::vector<uint8_t> oddName = DeviceRecord(name, false);
  oddName.push_back(0x41);  // half a character after the name
  reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE*>(oddName.data())->dbcc_size = static_cast<uint32_t>(oddName.size());
  std::vector<uint8_t> trailing = DeviceRecord(name);
  trailing.insert(trailing.end(), {1, 2, 3});  // bytes after the record are not part of it
  const struct {
    const char* label;
    std::vector<uint8_t> bytes;
    Fault fault;
  } cases[] = {
      {"whole", DeviceRecord(name), Fault::kNone},
      {"name without terminator, to the end", DeviceRecord(name, false), Fault::kNone},
      {"empty name", DeviceRecord(u""), Fault::kNone},
      {"bytes after the record", trailing, Fault::kNone},
      {"another device type, header only", DeviceRecord(u"", false, 12, 16, 3), Fault::kNone},
      {"empty", {}, Fault::kEmpty},
      {"cut inside the common header", DeviceRecord(name, true, std::nullopt, DeviceRecord(name).size() - 11),
       Fault::kCutHeader},
      {"size below the header", DeviceRecord(name, true, 8), Fault::kSizeBelowHeader},
      {"size 0", DeviceRecord(name, true, 0), Fault::kSizeBelowHeader},
      {"claims more than arrived", DeviceRecord(name, true, 4096), Fault::kSizeBeyondArrived},
      {"cut by two characters", DeviceRecord(name, true, std::nullopt, 4), Fault::kSizeBeyondArrived},
      {"cut inside the class", DeviceRecord(u"", false, 20, 8), Fault::kCutInterfaceHeader},
      {"name cut inside a character", oddName, Fault::kCutName},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::vector<uint8_t>& bytes = c.bytes;
    // Exactly the bytes that arrived, so a look past them would be caught under the sanitizers.
    std::unique_ptr<uint8_t[]> arrived(new uint8_t[bytes.size()]);
    if (!bytes.empty()) std::memcpy(arrived.get(), bytes.data(), bytes.size());
    EXPECT_EQ(si::CheckDeviceEventRecord(bytes.empty() ? nullptr : arrived.get(), bytes.size()), c.fault);
  }
  EXPECT_EQ(rzd::ToUtf8(si::DeviceRecordFaultText(Fault::kSizeBeyondArrived, DeviceRecord(name, true, 4096).data(), 90)),
            "the record claims 4096 bytes, 90 arrived");

  // The record the dispatcher makes for a device's arrival: as long as its size says, its name
  // terminated there.
  const std::vector<uint8_t> made = si::DeviceInterfaceRecord(GUID_DEVINTERFACE_IMAGE, u"usb#made");
  const auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE*>(made.data());
  ASSERT_EQ(made.size(), offsetof(DEV_BROADCAST_DEVICEINTERFACE, dbcc_name) + 9 * sizeof(char16_t));
  EXPECT_EQ(record->dbcc_size, made.size());
  EXPECT_EQ(record->dbcc_devicetype, DBT_DEVTYP_DEVICEINTERFACE);
  EXPECT_EQ(record->dbcc_classguid, GUID_DEVINTERFACE_IMAGE);
  EXPECT_EQ(std::u16string(record->dbcc_name), u"usb#made");
}

// Through the control socket of a running service: a record that is not whole is refused with
// ERROR_INVALID_PARAMETER and logged, the handler never sees it, and the service goes on; a name
// that runs to the end of its record reaches the handler terminated there, also when more bytes
// arrived after the record.
TEST_F(ServiceTest, ADeviceEventWhoseRecordIsNotWholeIsRefusedAndLogged) {
  namespace si = rzd::service_internal;
  SyslogListener syslog;
  ASSERT_TRUE(syslog.Bound());
  CreateService();
  ASSERT_EQ(rzd::StartServiceByName(kName), ERROR_SUCCESS);
  ASSERT_EQ(rzd::WaitForServiceState(kName, SERVICE_RUNNING, 30000), ERROR_SUCCESS);
  ASSERT_TRUE(syslog.Next().ends_with(": service started"));

  auto send = [](std::vector<uint8_t> record) {
    si::ControlRequest request;
    request.control = SERVICE_CONTROL_DEVICEEVENT;
    request.eventType = 0x8000;
    request.data = std::move(record);
    si::ControlReply reply;
    EXPECT_EQ(si::SendControl(kName, request, &reply, 10000), ERROR_SUCCESS);
    return reply.error;
  };
  EXPECT_EQ(send(DeviceRecord(u"usb#lying", true, 4096)), ERROR_INVALID_PARAMETER);
  const std::string entry = syslog.Next();
  EXPECT_EQ(entry.rfind("<28>", 0), 0u) << entry;  // daemon facility, warning severity
  EXPECT_TRUE(entry.ends_with(" RzdTestSvc[" + std::to_string(RunningPid()) +
                              "]: Device event 0x8000 refused: the record claims 4096 bytes, 48 arrived"))
      << entry;
  EXPECT_EQ(send({}), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(send(DeviceRecord(u"usb#cut", true, std::nullopt, 3)), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(send(DeviceRecord(u"usb#whole")), ERROR_SUCCESS);
  EXPECT_EQ(send(DeviceRecord(u"usb#open-ended", false)), ERROR_SUCCESS);
  // Characters after a record whose name lacks its terminator are not part of the name.
  std::vector<uint8_t> followed = DeviceRecord(u"usb#followed", false);
  for (char16_t c : std::u16string_view(u"+more")) followed.insert(followed.end(), {uint8_t(c & 0xFF), uint8_t(c >> 8)});
  EXPECT_EQ(send(followed), ERROR_SUCCESS);
  ASSERT_TRUE(WaitForLines(4));
  EXPECT_EQ(ServiceLog(), (std::vector<std::string>{"main 0", "device 32768 usb#whole", "device 32768 usb#open-ended",
                                                    "device 32768 usb#followed"}));
  EXPECT_EQ(RunSc({"stop", rzd::ToUtf8(kName)}), 0);
}

TEST_F(ServiceTest, TheEventLogGoesToSyslogUnderTheServiceName) {
  SyslogListener syslog;
  ASSERT_TRUE(syslog.Bound());
  CreateService();
  ASSERT_EQ(rzd::StartServiceByName(kName), ERROR_SUCCESS);
  const std::string entry = syslog.Next();
  ASSERT_FALSE(entry.empty());
  ASSERT_EQ(rzd::WaitForServiceState(kName, SERVICE_RUNNING, 30000), ERROR_SUCCESS);
  EXPECT_EQ(entry.rfind("<30>", 0), 0u) << entry;  // daemon facility, information severity
  EXPECT_TRUE(entry.ends_with(" RzdTestSvc[" + std::to_string(RunningPid()) + "]: service started")) << entry;
}

}  // namespace
