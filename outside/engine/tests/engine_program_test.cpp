// rzd-engine in a process of its own, reached only through platform/devices and platform/usb,
// for what exists only across the process boundary: the program's command line, device-event
// waits, time-outs, unplugging and pipe resets as host handles see them. The command tables of
// the unit's other tests run across the boundary as well (their CrossProcess instances).
#include "engine/unit_server.h"
#include "host_link.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/devices.h"
#include "platform/errors.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/usb.h"
#include "program_run.h"
#include "testsupport/eventually.h"
#include "testsupport/temp_root.h"
#include "unit_bench.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace rzd::engine {
namespace {

using ::testing::HasSubstr;
using test::EngineProcess;
using test::EngineStart;
using test::HostLink;
using test::ProgramRun;
using test::RunProgram;

constexpr uint32_t kLong = 20000;      // a time-out only a fault reaches
constexpr uint32_t kDeadlineMs = 60000;  // for things another process must do
constexpr uint32_t kShort = 200;        // for what must not happen

std::vector<uint8_t> InquiryCdb(uint8_t allocation) {
  std::vector<uint8_t> c = HostLink::Cdb(0xE2);
  c[10] = allocation;
  return c;
}

bool Listed(const std::u16string& interfacePath) {
  for (const DeviceEntry& entry : EnumerateDevices(GUID_DEVINTERFACE_IMAGE)) {
    if (entry.interfacePath == interfacePath) return true;
  }
  return false;
}

class EngineProgramTest : public rzd::test::TempRoot {
 protected:
  static std::string Engine() { return test::EnginePath().string(); }
};

TEST_F(EngineProgramTest, HelpDocumentsTheCommandLineAndEveryControlLine) {
  ProgramRun help = RunProgram(Engine() + " --help");
  EXPECT_EQ(help.exitCode, 0);
  for (const char* text : {"--serial", "--instance", "--paper", "--friendly-name", "--control", "--help",
                           "SIGTERM", "unplug", "replug", "load <n>", "press <n>", "stall"}) {
    EXPECT_THAT(help.output, HasSubstr(text));
  }
  ProgramRun unknown = RunProgram(Engine() + " --bogus");
  EXPECT_EQ(unknown.exitCode, 2);
}

TEST_F(EngineProgramTest, CommandLineNamesTheUnitAndLoadsItsPaper) {
  EngineStart start;
  start.instance = 1;
  start.serial = "QM48TZ000777";
  start.moreArgs = {"--paper", "2"};
  EngineProcess unit(start);
  const DeviceEntry& entry = unit.Entry();
  EXPECT_EQ(entry.driverKey, u"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0001");
  EXPECT_EQ(entry.serialNumber, u"QM48TZ000777");
  EXPECT_EQ(entry.friendlyName, std::u16string(lowdrv::kModelFriendlyNameW));
  EXPECT_EQ(entry.backend, "sim");
  EXPECT_EQ(unit.SheetsInFeeder(), 2u);
  const std::array<uint8_t, kNvramSize> nvram = unit.Nvram();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&nvram[46]), 12), "QM48TZ000777");

  // The program's control client reaches the unit of its instance.
  ProgramRun state = RunProgram(Engine() + " --instance 1 --control state");
  EXPECT_EQ(state.exitCode, 0);
  EXPECT_THAT(state.output, HasSubstr("ok feeder=2 "));

  // Paper the unit does not take stops the start.
  std::optional<ChildProcess> refused =
      ChildProcess::Start(test::EnginePath(), {"--instance", "2", "--paper", "none"});
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->Wait(kDeadlineMs), 1);
}

TEST_F(EngineProgramTest, ButtonPressCompletesAPendingDeviceEventWait) {
  EngineProcess unit;
  UsbDevice& device = unit.Usb().Device();
  std::array<uint8_t, 16> report{};
  UsbRequest wait = device.StartWaitDeviceEvent(report.data(), report.size());
  EXPECT_EQ(wait.Wait(kShort), WAIT_TIMEOUT);
  ASSERT_THAT(unit.Control("press 3,5 short"), HasSubstr("ok"));
  ASSERT_EQ(wait.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(wait.Error(), ERROR_SUCCESS);
  EXPECT_EQ(wait.Transferred(), 16u);
  EXPECT_EQ(report[0], 0x82);  // buttons reported, short, two of them
  EXPECT_EQ(report[1], 3);
  EXPECT_EQ(report[2], 5);

  // A long press with its function number, taken by a synchronous wait.
  ASSERT_EQ(unit.Control("press 2 long function=7"), "ok");
  size_t count = 0;
  ASSERT_EQ(device.WaitDeviceEvent(report.data(), report.size(), kLong, &count), ERROR_SUCCESS);
  EXPECT_EQ(count, 16u);
  EXPECT_EQ(report[0], 0xC1);
  EXPECT_EQ(report[1], 2);
  EXPECT_EQ(report[6], 7);
}

TEST_F(EngineProgramTest, CancelledDeviceEventWaitTakesNoReport) {
  EngineProcess unit;
  UsbDevice& device = unit.Usb().Device();
  std::array<uint8_t, 16> stale;
  stale.fill(0xEE);
  UsbRequest cancelled = device.StartWaitDeviceEvent(stale.data(), stale.size());
  EXPECT_EQ(cancelled.Wait(kShort), WAIT_TIMEOUT);
  cancelled.Cancel();
  EXPECT_TRUE(cancelled.IsComplete());
  EXPECT_EQ(cancelled.Error(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(cancelled.Transferred(), 0u);
  // Frames of one handle are served in order: once this answer is in, the cancel was served.
  ASSERT_EQ(device.ResetPipe(WRITE_DATA_PIPE, kLong), ERROR_SUCCESS);

  ASSERT_EQ(unit.Control("press 4"), "ok");
  // The report waits for the next wait instead of going to the cancelled one.
  std::array<uint8_t, 16> report{};
  size_t count = 0;
  ASSERT_EQ(device.WaitDeviceEvent(report.data(), report.size(), kLong, &count), ERROR_SUCCESS);
  EXPECT_EQ(count, 16u);
  EXPECT_EQ(report[0], 0x81);
  EXPECT_EQ(report[1], 4);
  std::array<uint8_t, 16> untouched;
  untouched.fill(0xEE);
  EXPECT_EQ(stale, untouched);
}

TEST_F(EngineProgramTest, StalledUnitTimesOutAndEveryRequestIsWaitedFor) {
  EngineProcess unit;
  UsbDevice& device = unit.Usb().Device();
  ASSERT_THAT(unit.Control("stall"), HasSubstr("ok"));
  const std::vector<uint8_t> cdb = InquiryCdb(5);
  UsbVendorRequest vendor;
  vendor.data = cdb;
  EXPECT_EQ(device.VendorRequest(vendor, kShort), WAIT_TIMEOUT);

  // Synchronous form: 258 once the request is over, nothing transferred.
  std::array<uint8_t, 64> syncBuffer;
  syncBuffer.fill(0xAA);
  size_t count = 99;
  EXPECT_EQ(device.Read(syncBuffer.data(), syncBuffer.size(), kShort, &count), WAIT_TIMEOUT);
  EXPECT_EQ(count, 0u);
  // Asynchronous form: pending until cancelled; the cancel returns once it is complete.
  std::array<uint8_t, 64> asyncBuffer;
  asyncBuffer.fill(0xAA);
  UsbRequest read = device.StartRead(asyncBuffer.data(), asyncBuffer.size());
  EXPECT_EQ(read.Wait(kShort), WAIT_TIMEOUT);
  read.Cancel();
  EXPECT_TRUE(read.IsComplete());
  EXPECT_EQ(read.Error(), ERROR_OPERATION_ABORTED);
  // A pipe reset is answered also by a stalled unit, and frames of one handle are served in
  // order: once this answer is in, the unit has seen every request above and its cancel.
  ASSERT_EQ(device.ResetPipe(WRITE_DATA_PIPE, kLong), ERROR_SUCCESS);

  // The unit heard none of the stalled requests, and after the resume their buffers stay
  // untouched while new commands are answered.
  ASSERT_EQ(unit.Control("resume"), "ok");
  EXPECT_EQ(unit.Control("log"), "ok 0");
  HostLink host(unit.Host());
  const test::Reply reply = host.New(InquiryCdb(5), {}, 5);
  EXPECT_TRUE(reply.Good());
  EXPECT_EQ(reply.data.size(), 5u);
  std::array<uint8_t, 64> untouched;
  untouched.fill(0xAA);
  EXPECT_EQ(syncBuffer, untouched);
  EXPECT_EQ(asyncBuffer, untouched);
  EXPECT_EQ(unit.Control("log").rfind("ok 1\n", 0), 0u);
}

TEST_F(EngineProgramTest, UnplugDuringATransferEndsItAndAnotherProcessSeesTheRemoval) {
  EngineProcess unit;
  const std::u16string path = unit.Entry().interfacePath;
  const std::filesystem::path ready = RootPath() / "watch.ready";
  std::optional<ChildProcess> watcher =
      ChildProcess::Start(rzd::test::BinaryDir() / "rzd-engine-device-watch",
                          {ToUtf8(path), ready.string(), std::to_string(kDeadlineMs)});
  ASSERT_TRUE(watcher);
  ASSERT_TRUE(rzd::test::Eventually([&] { return std::filesystem::exists(ready); }));

  // Transfers in progress: a read the unit has nothing for, and a device-event wait.
  UsbDevice& device = unit.Usb().Device();
  std::array<uint8_t, 64> buffer{};
  UsbRequest read = device.StartRead(buffer.data(), buffer.size());
  std::array<uint8_t, 16> report{};
  UsbRequest wait = device.StartWaitDeviceEvent(report.data(), report.size());
  EXPECT_EQ(read.Wait(kShort), WAIT_TIMEOUT);

  // Unplugged through the program's own control client.
  ProgramRun unplug = RunProgram(Engine() + " --instance 0 --control unplug");
  EXPECT_EQ(unplug.exitCode, 0);
  EXPECT_EQ(unplug.output, "ok\n");
  ASSERT_EQ(read.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(read.Error(), ERROR_DEVICE_NOT_CONNECTED);
  ASSERT_EQ(wait.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(wait.Error(), ERROR_DEVICE_NOT_CONNECTED);
  const uint8_t byte = 0;
  EXPECT_EQ(device.Write(&byte, 1, kLong), ERROR_DEVICE_NOT_CONNECTED);

  EXPECT_EQ(watcher->Wait(kDeadlineMs), 0);  // the watcher heard of the removal
  EXPECT_FALSE(Listed(path));
  uint32_t error = 0;
  EXPECT_FALSE(UsbDevice::Open(path, &error));
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);

  // Plugged in again, a new handle works.
  ASSERT_EQ(unit.Control("replug"), "ok");
  ASSERT_TRUE(rzd::test::Eventually([&] { return Listed(path); }));
  std::shared_ptr<UsbDevice> again = UsbDevice::Open(path, &error);
  ASSERT_TRUE(again) << error;
  test::UsbLink link(again);
  HostLink host(link);
  EXPECT_TRUE(host.New(InquiryCdb(5), {}, 5).Good());
}

TEST_F(EngineProgramTest, PipeResetDiscardsQueuedDataAndEndsAWaitingRead) {
  EngineProcess unit;
  UsbDevice& device = unit.Usb().Device();
  // A read waiting on the read pipe ends with 995 when the pipe is reset.
  std::array<uint8_t, 8> buffer{};
  UsbRequest read = device.StartRead(buffer.data(), buffer.size());
  EXPECT_EQ(read.Wait(kShort), WAIT_TIMEOUT);
  ASSERT_EQ(device.ResetPipe(READ_DATA_PIPE, kLong), ERROR_SUCCESS);
  ASSERT_EQ(read.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(read.Error(), ERROR_OPERATION_ABORTED);

  // The pipes are the unit's: a reset through another handle discards the data queued for a
  // command sent through this one.
  uint32_t error = 0;
  std::shared_ptr<UsbDevice> other = UsbDevice::Open(unit.Entry().interfacePath, &error);
  ASSERT_TRUE(other) << error;
  const std::vector<uint8_t> cdb = InquiryCdb(5);
  UsbVendorRequest vendor;
  vendor.data = cdb;
  ASSERT_EQ(device.VendorRequest(vendor, kLong), ERROR_SUCCESS);
  ASSERT_EQ(other->ResetPipe(READ_DATA_PIPE, kLong), ERROR_SUCCESS);
  size_t count = 99;
  EXPECT_EQ(device.Read(buffer.data(), 5, test::UsbLink::kSilenceMs, &count), WAIT_TIMEOUT);
  EXPECT_EQ(count, 0u);

  // The next command runs normally.
  HostLink host(unit.Host());
  const test::Reply reply = host.New(InquiryCdb(5), {}, 5);
  EXPECT_TRUE(reply.Good());
  EXPECT_EQ(reply.data.size(), 5u);
}

}  // namespace
}  // namespace rzd::engine
