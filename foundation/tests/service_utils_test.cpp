#include "foundation/install_log.h"
#include "foundation/process_utils.h"
#include "foundation/service_utils.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/service.h"
#include "platform/text.h"
#include "testsupport/eventually.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <thread>

namespace rzd {
namespace {

std::string ReadLog() { return test::ReadBytes(CoInstallerLogPath()); }

// The texts of the install log's lines, without time and ids.
std::vector<std::string> LogTexts() {
  std::vector<std::string> texts;
  std::string text = ReadLog();
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string line = text.substr(start, end - start);
    size_t tid = line.find(" TID:");
    texts.push_back(tid == std::string::npos ? line : line.substr(tid + 14));
  }
  return texts;
}

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
  return std::find(lines.begin(), lines.end(), text) != lines.end();
}

TEST(ServiceNames, StateAndStartTypeTables) {
  struct Case {
    uint32_t value;
    const char16_t* state;
    const char16_t* startType;
  };
  const Case cases[] = {
      {0, u"Undefine 00000000", u"SERVICE_BOOT_START 00000000"},
      {1, u"SERVICE_STOPPED 00000001", u"SERVICE_SYSTEM_START 00000001"},
      {2, u"SERVICE_START_PENDING 00000002", u"SERVICE_AUTO_START 00000002"},
      {3, u"SERVICE_STOP_PENDING 00000003", u"SERVICE_DEMAND_START 00000003"},
      {4, u"SERVICE_RUNNING 00000004", u"SERVICE_DISABLED 00000004"},
      {5, u"SERVICE_CONTINUE_PENDING 00000005", u"Undefine 00000005"},
      {6, u"SERVICE_PAUSE_PENDING 00000006", u"Undefine 00000006"},
      {7, u"SERVICE_PAUSED 00000007", u"Undefine 00000007"},
      {0xABCDEF12, u"Undefine ABCDEF12", u"Undefine ABCDEF12"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ServiceStateName(c.value), c.state) << c.value;
    EXPECT_EQ(ServiceStartTypeName(c.value), c.startType) << c.value;
  }
}

class Services : public test::TempRoot {
 protected:
  void Install(const std::u16string& name, uint32_t startType = SERVICE_AUTO_START) {
    RegKey key;
    ASSERT_EQ(RegKey::Create(Hive::LocalMachine, ServiceKeyPath(name), &key), ERROR_SUCCESS);
    key.SetExpandString(u"ImagePath", u"/opt/scanhost_0001_0");
    key.SetDword(u"Start", startType);
    key.SetDword(u"Type", SERVICE_WIN32_OWN_PROCESS);
  }
  // Starts the stand-in service and waits until it has recorded itself as running.
  ChildProcess StartService(const std::string& name, bool ignoreStop) {
    std::vector<std::string> args{name};
    if (ignoreStop) args.push_back("ignore-stop");
    auto child = ChildProcess::Start(test::BinaryDir() / "foundation_service_helper", args);
    EXPECT_TRUE(child.has_value());
    ServiceRunStatus status;
    test::Eventually([&] {
      return QueryServiceRunStatus(FromUtf8(name), &status) == ERROR_SUCCESS && status.state == SERVICE_RUNNING;
    }, std::chrono::seconds(30));
    EXPECT_EQ(status.state, SERVICE_RUNNING);
    EXPECT_EQ(status.processId, child->Pid());
    return std::move(*child);
  }
};

TEST_F(Services, InstalledMeansTheServiceKeyExists) {
  EXPECT_FALSE(IsServiceInstalled(u"missing_svc"));
  EXPECT_TRUE(Contains(LogTexts(), "The service missing_svc is not installed"));
  Install(u"present_svc");
  // The key name is compared without case, as the registry does.
  EXPECT_TRUE(IsServiceInstalled(u"Present_Svc"));
  EXPECT_FALSE(IsServiceInstalled(u""));
}

TEST_F(Services, StoppingAServiceThatIsNotInstalledFails) {
  EXPECT_FALSE(StopService(u"missing_svc"));
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"Attempt to stop service missing_svc",
                                                  "The service missing_svc is not installed"}));
}

TEST_F(Services, AStoppedServiceStopsAtOnce) {
  Install(u"idle_svc", SERVICE_DEMAND_START);
  EXPECT_TRUE(StopService(u"idle_svc"));
  auto lines = LogTexts();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Attempt to stop service idle_svc");
  EXPECT_EQ(lines[1], "StopService QueryServiceConfig idle_svc ServiceType: SERVICE_DEMAND_START 00000003");
  // The elapsed time is whatever the first status query took.
  const std::string polled = "StopService-QueryServiceStatusEx: idle_svc state: SERVICE_STOPPED 00000001 (dwCurrent-dwStart):";
  EXPECT_EQ(lines[2].substr(0, polled.size()), polled);
  EXPECT_TRUE(lines[2].ends_with(" dwTimeOut:15000")) << lines[2];
  EXPECT_EQ(lines[3], "StopService-QueryServiceStatusEx: idle_svc state: SERVICE_STOPPED 00000001");
}

TEST_F(Services, ARunningServiceIsAskedToStopAndStops) {
  Install(u"run_svc");
  ChildProcess service = StartService("run_svc", false);
  EXPECT_TRUE(StopService(u"run_svc"));
  EXPECT_EQ(service.Wait(30000), -SIGTERM);
  auto lines = LogTexts();
  EXPECT_EQ(lines.back(), "StopService-QueryServiceStatusEx: run_svc state: SERVICE_STOPPED 00000001");
  EXPECT_FALSE(Contains(lines, "StopService run_svc  TimeOut"));
}

TEST_F(Services, AServiceThatIgnoresTheStopIsEndedAfterTheTimeOut) {
  Install(u"stuck_svc");
  ChildProcess service = StartService("stuck_svc", true);
  // The last state read before the process was ended was "stop pending": no success.
  EXPECT_FALSE(StopServiceWithin(u"stuck_svc", 1500));
  EXPECT_EQ(service.Wait(30000), -SIGKILL);
  auto lines = LogTexts();
  EXPECT_TRUE(Contains(lines, "StopService stuck_svc  TimeOut"));
  EXPECT_TRUE(Contains(lines, "KillTheProcess Terminate Process successful."));
  EXPECT_EQ(lines.back(), "StopService-QueryServiceStatusEx: stuck_svc state: SERVICE_STOP_PENDING 00000003");
  ServiceRunStatus status;
  ASSERT_EQ(QueryServiceRunStatus(u"stuck_svc", &status), ERROR_SUCCESS);
  EXPECT_EQ(status.state, SERVICE_STOPPED);
}

TEST_F(Services, ARecordedProcessThatEndedReadsAsStopped) {
  Install(u"crashed_svc");
  ChildProcess service = StartService("crashed_svc", true);
  service.Kill();
  ServiceRunStatus status;
  ASSERT_EQ(QueryServiceRunStatus(u"crashed_svc", &status), ERROR_SUCCESS);
  EXPECT_EQ(status.state, SERVICE_STOPPED);
  EXPECT_EQ(status.processId, 0u);
  EXPECT_EQ(RequestServiceStop(u"crashed_svc"), ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_EQ(RequestServiceStop(u"missing_svc"), ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST_F(Services, KillTheProcessEndsAProcessAndLogsEachStep) {
  Install(u"victim_svc");
  ChildProcess victim = StartService("victim_svc", true);
  KillTheProcess(victim.Pid());
  EXPECT_EQ(victim.Wait(30000), -SIGKILL);
  KillTheProcess(0);
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"KillTheProcess Terminate Process successful.",
                                                  "KillTheProcess Open Process failed with 0x00000057"}));
}

TEST_F(Services, PrivilegesByName) {
  EXPECT_TRUE(SetThePrivilege(nullptr, true, u"SeDebugPrivilege"));
  EXPECT_TRUE(SetThePrivilege(nullptr, false, u"SeDebugPrivilege"));
  EXPECT_FALSE(SetThePrivilege(nullptr, true, u"SeNoSuchPrivilege"));
  EXPECT_EQ(LogTexts(), std::vector<std::string>{"SetThePrivilege: LookupPrivilegeValue failed because 0x00000521"});
}

}  // namespace
}  // namespace rzd
