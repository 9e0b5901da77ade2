// rzd-lldctl against rzd-engine, each in its own process, and against the simulated unit on a
// mocked USB port (found by udev, driven by libusb): list, open, status and close of the unit
// through the driver library's exports.
#include "engine/mocked_usb.h"
#include "engine/sim_unit.h"
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/process.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

class LldctlTest : public rzd::test::TempRoot {
 protected:
  std::string RunLldctl(int* exitCode, const std::string& arguments = "") {
    std::filesystem::path out = RootPath() / "lldctl.out";
    auto child = rzd::ChildProcess::Start(
        "/bin/sh", {"-c", "\"" + (rzd::test::BinaryDir() / "rzd-lldctl").string() + "\" " + arguments + " > \"" +
                              out.string() + "\" 2>&1"});
    EXPECT_TRUE(child);
    auto code = child ? child->Wait(120000) : std::nullopt;
    *exitCode = code.value_or(-1);
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

TEST_F(LldctlTest, OpensReadsStatusAndClosesTheUnit) {
  auto engine = rzd::ChildProcess::Start(rzd::test::BinaryDir() / "rzd-engine", {"--paper", "2"});
  ASSERT_TRUE(engine);
  for (int i = 0; i < 600 && rzd::EnumerateDevices(GUID_DEVINTERFACE_IMAGE).empty(); ++i) {
    rzd::WaitOne(rzd::Event::Unnamed(true, false), 100);
  }
  ASSERT_FALSE(rzd::EnumerateDevices(GUID_DEVINTERFACE_IMAGE).empty());
  int exitCode = -1;
  std::string output = RunLldctl(&exitCode);
  EXPECT_EQ(exitCode, 0) << output;
  EXPECT_NE(output.find("<DeviceID ID=\"0\">"), std::string::npos) << output;
  EXPECT_NE(output.find("<ErrorCode>0</ErrorCode>"), std::string::npos) << output;
  EXPECT_NE(output.find("Status: 1"), std::string::npos) << output;
  engine->Terminate();
  EXPECT_EQ(engine->Wait(60000), 0);
}

TEST_F(LldctlTest, ListsOpensReadsStatusAndClosesTheUnitOnAUsbPort) {
  ASSERT_TRUE(rzd::engine::MockedUsbUnit::PreloadActive()) << "run under umockdev's preload (ctest, or scripts/under-umockdev)";
  rzd::engine::SimUnit unit;
  ASSERT_EQ(unit.Control("load 2").rfind("ok", 0), 0u);
  // The child inherits the testbed: its udev and libusb see the unit, and this process answers
  // the unit's usbfs requests.
  rzd::engine::MockedUsbUnit port(unit, {.serial = "QM48TZ000077"});
  int exitCode = -1;
  std::string output = RunLldctl(&exitCode);
  EXPECT_EQ(exitCode, 0) << output;
  EXPECT_NE(output.find("<DeviceID ID=\"0\">"), std::string::npos) << output;
  EXPECT_NE(output.find("qm48tz000077"), std::string::npos) << output;
  EXPECT_NE(output.find("<ErrorCode>0</ErrorCode>"), std::string::npos) << output;
  EXPECT_NE(output.find("Status: 1"), std::string::npos) << output;
  // The driver spoke to the unit: its inquiry reached it over the port.
  EXPECT_NE(unit.Control("log").find(" new 12: E2"), std::string::npos);
  // Every transfer the driver started has ended.
  EXPECT_EQ(port.TransfersInFlight(), 0u);
}

// The path of a unit that is not there: the open fails, and the process ends with the library
// still loaded (its unload stops the diagnostics thread the open started) and exit code 1.
TEST_F(LldctlTest, AnOpenThatFailsEndsCleanly) {
  int exitCode = -1;
  std::string output = RunLldctl(&exitCode, "--path 'usb#vid_2e5a&pid_0148#QM48TZ000009#{6bdd1fc6-810f-11d0-bec7-08002be2092f}'");
  EXPECT_EQ(exitCode, 1) << output;
  EXPECT_NE(output.find("Open:\n(no document)"), std::string::npos) << output;
}

TEST_F(LldctlTest, NoUnitIsAnError) {
  int exitCode = -1;
  std::string output = RunLldctl(&exitCode);
  EXPECT_EQ(exitCode, 1);
  EXPECT_NE(output.find("no unit present"), std::string::npos) << output;
}

}  // namespace
