#include "road_fixture.h"

#include "engine/unit_server.h"
#include "platform/devices.h"
#include "platform/service.h"
#include "platform/text.h"
#include "testsupport/file_bytes.h"

#include <gtest/gtest.h>

namespace rzd::test {

namespace fs = std::filesystem;

std::string Outcome::LastError() const {
  std::string text = err;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  const size_t at = text.rfind('\n');
  return at == std::string::npos ? text : text.substr(at + 1);
}

Outcome RunningScan::Finish(uint32_t timeoutMs) {
  Outcome run;
  run.exit = process ? process->Wait(timeoutMs).value_or(-1000) : -1;
  run.out = ReadBytes(outFile);
  run.err = ReadBytes(errFile);
  return run;
}

void RoadTest::SetUp() {
  // Ends every service of this root should the test process die.
  watcher_ = ChildProcess::Start(BinaryDir() / "scanhost_test_client", {"--watch", std::to_string(CurrentProcessId())});
  ASSERT_TRUE(watcher_);
}

bool RoadTest::StopService() {
  ServiceRunStatus status;
  if (QueryServiceRunStatus(kServiceName, &status) != ERROR_SUCCESS || status.state == SERVICE_STOPPED ||
      status.processId == 0) {
    return true;
  }
  if (ControlServiceByName(kServiceName, SERVICE_CONTROL_STOP) == ERROR_SUCCESS &&
      WaitForServiceState(kServiceName, SERVICE_STOPPED, 60000) == ERROR_SUCCESS) {
    return true;
  }
  KillProcess(status.processId);
  return false;
}

void RoadTest::TearDown() {
  if (!StopService()) ADD_FAILURE() << "the service did not stop";
  if (unit_) {
    unit_->Terminate();
    unit_->Wait(30000);
  }
}

void RoadTest::StartUnit(const std::string& paper) {
  unit_ = ChildProcess::Start(BinaryDir() / "rzd-engine",
                              {"--instance", "0", "--paper", paper, "--parent-pid", std::to_string(CurrentProcessId())});
  ASSERT_TRUE(unit_);
  ASSERT_TRUE(Eventually([] { return !EnumerateDevices(GUID_DEVINTERFACE_IMAGE).empty(); }))
      << "the unit did not come";
}

std::string RoadTest::UnitControl(const std::string& line) {
  return engine::SendControlLine(engine::ControlSocketPath(0), line).value_or("");
}

int RoadTest::Install() {
  std::optional<ChildProcess> child = ChildProcess::Start(BinaryDir() / "rzd-install", {});
  if (!child) return -1;
  return child->Wait(120000).value_or(-1);
}

void RoadTest::StartAndInstall(const std::string& paper) {
  StartUnit(paper);
  ASSERT_EQ(Install(), 0);
}

RunningScan RoadTest::StartScan(const std::string& arguments) {
  const int n = ++scans_;
  RunningScan scan{std::nullopt, RootPath() / ("scan-" + std::to_string(n) + ".out"),
                   RootPath() / ("scan-" + std::to_string(n) + ".err")};
  const std::string line = "exec \"" + (BinaryDir() / "rzd-scan").string() + "\" " + arguments + " >\"" +
                           scan.outFile.string() + "\" 2>\"" + scan.errFile.string() + "\"";
  scan.process = ChildProcess::Start("/bin/sh", {"-c", line});
  return scan;
}

Outcome RoadTest::Scan(const std::string& arguments) { return StartScan(arguments).Finish(); }

std::string RoadTest::ScanInto(const fs::path& folder, const std::string& options) const {
  return "scan --out \"" + folder.string() + "\" " + options;
}

std::optional<RunningScan> RoadTest::StartLongBatch(const fs::path& out) {
  RunningScan scan = StartScan(ScanInto(out, kBatchOptions));
  if (!Eventually([&] { return fs::exists(out / "page-001-front.xml"); })) {
    ADD_FAILURE() << "the batch did not start: " << ReadBytes(scan.errFile);
    if (scan.process) scan.process->Kill();
    return std::nullopt;
  }
  return scan;
}

Outcome RoadTest::ScanOnePage(const fs::path& out) {
  EXPECT_EQ(UnitControl("load 1 duplex").rfind("ok", 0), 0u);
  return Scan(ScanInto(out, std::string(kBatchOptions) + " --pages 1"));
}

uint32_t RoadTest::ServiceProcessId() {
  ServiceRunStatus status;
  if (QueryServiceRunStatus(kServiceName, &status) != ERROR_SUCCESS || status.state == SERVICE_STOPPED) return 0;
  return status.processId;
}

}  // namespace rzd::test
