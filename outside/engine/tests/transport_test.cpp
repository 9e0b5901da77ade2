// The simulated unit's transport, driven as the host drives a unit: through platform/usb and
// platform/devices only, with the unit in a process of its own (rzd-engine-fake serves the
// transport tests' unit with the real program's command line and life cycle). A few tests run
// the server in-process. The simulated scanner as rzd-engine is tested with the unit's tests.
#include "engine/engine_main.h"
#include "engine/unit_server.h"
#include "platform/devices.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/usb.h"
#include "program_run.h"
#include "testsupport/eventually.h"
#include "testsupport/temp_root.h"
#include "transport_fake_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace rzd::engine {
namespace {

using ::testing::HasSubstr;

constexpr uint32_t kLong = 20000;  // a time-out only a fault reaches
constexpr auto kEventWait = std::chrono::seconds(30);

class EventLog {
 public:
  DeviceNotification::Callback Callback() {
    return [this](const DeviceInterfaceEvent& event) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back((event.eventType == DBT_DEVICEARRIVAL ? "arrival " : "removal ") + ToUtf8(event.interfacePath));
      changed_.notify_all();
    };
  }
  // Waits until `line` was seen `times` times.
  bool WaitFor(const std::string& line, size_t times = 1) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kEventWait,
                             [&] { return static_cast<size_t>(std::count(lines_.begin(), lines_.end(), line)) >= times; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
};

std::string Arrival(const std::u16string& path) { return "arrival " + ToUtf8(path); }
std::string Removal(const std::u16string& path) { return "removal " + ToUtf8(path); }

using test::ProgramRun;
using test::RunProgram;

class TransportTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    notification_ = DeviceNotification::Register(GUID_DEVINTERFACE_IMAGE, events_.Callback());
    ASSERT_TRUE(notification_);
  }

  static std::filesystem::path FakeEngine() { return rzd::test::BinaryDir() / "rzd-engine-fake"; }
  static std::u16string PathOf(uint32_t instance, const std::string& serial) {
    return ModelUnitOptions(instance, serial, u"unit").entry.interfacePath;
  }
  static std::string Control(uint32_t instance, const std::string& line) {
    return SendControlLine(ControlSocketPath(instance), line).value_or("no reply");
  }

  // Starts a unit program and waits for its arrival.
  std::optional<ChildProcess> StartUnit(const std::filesystem::path& program, uint32_t instance,
                                        const std::string& serial, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"--instance", std::to_string(instance), "--serial", serial};
    args.insert(args.end(), more.begin(), more.end());
    std::optional<ChildProcess> child = ChildProcess::Start(program, args);
    if (!child || !events_.WaitFor(Arrival(PathOf(instance, serial)))) return std::nullopt;
    return child;
  }

  std::shared_ptr<UsbDevice> Open(const std::u16string& path) {
    uint32_t error = 1;
    std::shared_ptr<UsbDevice> device = UsbDevice::Open(path, &error);
    EXPECT_EQ(error, ERROR_SUCCESS);
    return device;
  }

  EventLog events_;
  std::unique_ptr<DeviceNotification> notification_;
};

TEST_F(TransportTest, UnitAnnouncesItselfServesTransfersAndLeavesOnSigterm) {
  const std::u16string path = PathOf(3, "LOOP01");
  auto unit = StartUnit(FakeEngine(), 3, "LOOP01");
  ASSERT_TRUE(unit);

  std::vector<DeviceEntry> present = EnumerateDevices(GUID_DEVINTERFACE_IMAGE);
  ASSERT_EQ(present.size(), 1u);
  EXPECT_EQ(present[0].interfacePath, path);
  EXPECT_EQ(present[0].driverKey, u"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0003");
  EXPECT_EQ(present[0].hardwareIds.back(), u"USB\\VID_2E5A&PID_0148");
  EXPECT_EQ(present[0].serialNumber, u"LOOP01");
  EXPECT_EQ(present[0].backend, "sim");

  auto device = Open(path);
  ASSERT_TRUE(device);
  const uint8_t data[4] = {0xDE, 0xAD, 0xBE, 0xEF};
  size_t count = 0;
  EXPECT_EQ(device->Write(data, sizeof data, kLong, &count), ERROR_SUCCESS);
  EXPECT_EQ(count, 4u);
  const uint8_t cdb[12] = {0xE2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0};
  UsbVendorRequest vendor;
  vendor.data = cdb;
  EXPECT_EQ(device->VendorRequest(vendor, kLong), ERROR_SUCCESS);
  EXPECT_EQ(Control(3, "last-vendor"), "ok 40 04 0000 0000 e20000000000000000000500");
  std::array<uint8_t, 64> back{};
  EXPECT_EQ(device->Read(back.data(), back.size(), kLong, &count), ERROR_SUCCESS);
  ASSERT_EQ(count, 16u);  // what was written comes back
  EXPECT_EQ(back[0], 0xDE);
  EXPECT_EQ(back[4], 0xE2);

  unit->Terminate();
  EXPECT_EQ(unit->Wait(60000), 0);
  EXPECT_TRUE(events_.WaitFor(Removal(path)));
  EXPECT_FALSE(FindDevice(path));
  EXPECT_FALSE(std::filesystem::exists(UnitSocketPath(3)));
  EXPECT_FALSE(std::filesystem::exists(ControlSocketPath(3)));
  EXPECT_EQ(device->Read(back.data(), back.size(), kLong), ERROR_DEVICE_NOT_CONNECTED);
}

TEST_F(TransportTest, UnansweredTransfersTimeOutAndLeaveThePipesClean) {
  auto unit = StartUnit(FakeEngine(), 0, "MUTE01");
  ASSERT_TRUE(unit);
  auto device = Open(PathOf(0, "MUTE01"));
  ASSERT_TRUE(device);
  ASSERT_EQ(Control(0, "mute on"), "ok");
  uint8_t buffer[8] = {};
  size_t count = 99;
  EXPECT_EQ(device->Read(buffer, sizeof buffer, 200, &count), WAIT_TIMEOUT);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(device->Write(buffer, 3, 200), WAIT_TIMEOUT);

  // The timed-out requests were cancelled: the next exchange sees only its own data.
  ASSERT_EQ(Control(0, "mute off"), "ok");
  const uint8_t data[2] = {0x61, 0x62};
  EXPECT_EQ(device->Write(data, sizeof data, kLong), ERROR_SUCCESS);
  EXPECT_EQ(device->Read(buffer, sizeof buffer, kLong, &count), ERROR_SUCCESS);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(buffer[1], 0x62);
}

TEST_F(TransportTest, StalledPipeAnswersGenFailureUntilReset) {
  auto unit = StartUnit(FakeEngine(), 0, "HALT01");
  ASSERT_TRUE(unit);
  auto device = Open(PathOf(0, "HALT01"));
  ASSERT_TRUE(device);
  ASSERT_EQ(Control(0, "stall on"), "ok");
  uint8_t buffer[4] = {1, 2, 3, 4};
  EXPECT_EQ(device->Write(buffer, sizeof buffer, kLong), ERROR_GEN_FAILURE);
  EXPECT_EQ(device->Read(buffer, sizeof buffer, kLong), ERROR_GEN_FAILURE);
  EXPECT_EQ(device->ResetPipe(WRITE_DATA_PIPE, kLong), ERROR_SUCCESS);
  EXPECT_EQ(device->Write(buffer, sizeof buffer, kLong), ERROR_SUCCESS);
}

TEST_F(TransportTest, UnplugDuringATransferAnswersDeviceNotConnectedAndReplugComesBack) {
  const std::u16string path = PathOf(2, "PLUG01");
  auto unit = StartUnit(FakeEngine(), 2, "PLUG01");
  ASSERT_TRUE(unit);
  auto device = Open(path);
  ASSERT_TRUE(device);
  uint8_t buffer[8];
  UsbRequest read = device->StartRead(buffer, sizeof buffer);  // nothing queued: it waits
  EXPECT_EQ(read.Wait(100), WAIT_TIMEOUT);

  ASSERT_EQ(Control(2, "unplug"), "ok");
  ASSERT_EQ(read.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(read.Error(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_TRUE(events_.WaitFor(Removal(path)));
  EXPECT_EQ(device->Write(buffer, 1, kLong), ERROR_DEVICE_NOT_CONNECTED);
  uint32_t error = 0;
  EXPECT_FALSE(UsbDevice::Open(path, &error));
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
  EXPECT_THAT(Control(2, "unplug"), HasSubstr("error"));

  ASSERT_EQ(Control(2, "replug"), "ok");
  EXPECT_TRUE(events_.WaitFor(Arrival(path), 2));
  auto again = Open(path);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->Write(buffer, 1, kLong), ERROR_SUCCESS);
}

TEST_F(TransportTest, PipeResetDropsQueuedDataAndEndsWaitingReads) {
  auto unit = StartUnit(FakeEngine(), 0, "RESET1");
  ASSERT_TRUE(unit);
  auto device = Open(PathOf(0, "RESET1"));
  ASSERT_TRUE(device);
  ASSERT_EQ(Control(0, "queue 010203"), "ok");
  ASSERT_EQ(Control(0, "queued"), "ok 3");
  EXPECT_EQ(device->ResetPipe(READ_DATA_PIPE, kLong), ERROR_SUCCESS);
  EXPECT_EQ(Control(0, "queued"), "ok 0");
  uint8_t buffer[8];
  EXPECT_EQ(device->Read(buffer, sizeof buffer, 200), WAIT_TIMEOUT);

  UsbRequest read = device->StartRead(buffer, sizeof buffer);
  EXPECT_EQ(read.Wait(100), WAIT_TIMEOUT);
  EXPECT_EQ(device->ResetPipe(READ_DATA_PIPE, kLong), ERROR_SUCCESS);
  ASSERT_EQ(read.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(read.Error(), ERROR_OPERATION_ABORTED);
}

TEST_F(TransportTest, DeviceEventCompletesAWaitAndACancelledWaitTakesNoReport) {
  auto unit = StartUnit(FakeEngine(), 0, "EVENT1");
  ASSERT_TRUE(unit);
  auto device = Open(PathOf(0, "EVENT1"));
  ASSERT_TRUE(device);
  std::array<uint8_t, 16> report{};
  UsbRequest cancelled = device->StartWaitDeviceEvent(report.data(), report.size());
  EXPECT_EQ(cancelled.Wait(100), WAIT_TIMEOUT);
  cancelled.Cancel();
  EXPECT_EQ(cancelled.Error(), ERROR_OPERATION_ABORTED);
  // Frames of one handle are served in order: once this answer is in, the cancel was served.
  EXPECT_EQ(device->ResetPipe(WRITE_DATA_PIPE, kLong), ERROR_SUCCESS);

  UsbRequest wait = device->StartWaitDeviceEvent(report.data(), report.size());
  ASSERT_EQ(Control(0, "event 8203050000000700"), "ok");
  ASSERT_EQ(wait.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(wait.Error(), ERROR_SUCCESS);
  EXPECT_EQ(wait.Transferred(), 16u);
  EXPECT_EQ(report[0], 0x82);
  EXPECT_EQ(report[2], 0x05);
  EXPECT_EQ(report[6], 0x07);

  // A report that comes while nobody waits is kept for the next wait.
  ASSERT_EQ(Control(0, "event c1ff"), "ok");
  size_t count = 0;
  EXPECT_EQ(device->WaitDeviceEvent(report.data(), report.size(), kLong, &count), ERROR_SUCCESS);
  EXPECT_EQ(count, 16u);
  EXPECT_EQ(report[0], 0xC1);
  EXPECT_EQ(report[1], 0xFF);
}

TEST_F(TransportTest, CloseOnAnotherThreadEndsATransferInProgress) {
  auto unit = StartUnit(FakeEngine(), 0, "CLOSE1");
  ASSERT_TRUE(unit);
  auto device = Open(PathOf(0, "CLOSE1"));
  ASSERT_TRUE(device);
  std::atomic<uint32_t> result{0};
  std::thread reader([device, &result] {
    std::array<uint8_t, 32> buffer{};
    result = device->Read(buffer.data(), buffer.size(), INFINITE);
  });
  // Close once the unit has the read.
  ASSERT_TRUE(rzd::test::Eventually([&] { return Control(0, "reads") == "ok 1"; }, kEventWait));
  device->Close();
  device.reset();
  reader.join();
  EXPECT_EQ(result.load(), ERROR_OPERATION_ABORTED);
  // The unit is unharmed: another handle works.
  auto other = Open(PathOf(0, "CLOSE1"));
  ASSERT_TRUE(other);
  const uint8_t byte = 1;
  EXPECT_EQ(other->Write(&byte, 1, kLong), ERROR_SUCCESS);
}

TEST_F(TransportTest, ControlClientReportsRepliesAndMissingUnits) {
  const std::string fake = FakeEngine().string();
  ProgramRun none = RunProgram(fake + " --instance 7 --control queued");
  EXPECT_EQ(none.exitCode, 3);
  EXPECT_THAT(none.output, HasSubstr("no unit of instance 7"));

  auto unit = StartUnit(FakeEngine(), 7, "CTRL01");
  ASSERT_TRUE(unit);
  ProgramRun ok = RunProgram(fake + " --instance 7 --control 'queue 0a0b'");
  EXPECT_EQ(ok.exitCode, 0);
  EXPECT_EQ(ok.output, "ok\n");
  ProgramRun refused = RunProgram(fake + " --instance=7 --control=nonsense");
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_THAT(refused.output, HasSubstr("error unknown command"));

  ProgramRun bad = RunProgram(fake + " --instance 10000");
  EXPECT_EQ(bad.exitCode, 2);
  ProgramRun badSerial = RunProgram(fake + " --serial 'has#hash'");
  EXPECT_EQ(badSerial.exitCode, 2);
}

TEST_F(TransportTest, SecondUnitOfTheSameInstanceCannotStart) {
  auto unit = StartUnit(FakeEngine(), 4, "FIRST1");
  ASSERT_TRUE(unit);
  ProgramRun second = RunProgram(FakeEngine().string() + " --instance 4 --serial SECOND");
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_THAT(second.output, HasSubstr("cannot start"));
  EXPECT_EQ(Control(4, "queued"), "ok 0");  // the first one still serves
}

TEST_F(TransportTest, InProcessServerStopsCleanlyWithHandlesOpen) {
  fake::FakeUnit port;
  UnitServerOptions options = ModelUnitOptions(6, "INPROC", u"unit");
  const std::u16string path = options.entry.interfacePath;
  auto server = std::make_unique<UnitServer>(port, options);
  ASSERT_EQ(server->Start(), ERROR_SUCCESS);
  EXPECT_TRUE(events_.WaitFor(Arrival(path)));
  EXPECT_TRUE(server->IsPlugged());
  auto device = Open(path);
  ASSERT_TRUE(device);
  std::array<uint8_t, 16> report{};
  UsbRequest wait = device->StartWaitDeviceEvent(report.data(), report.size());
  EXPECT_EQ(server->Control("event 01"), "ok");
  ASSERT_EQ(wait.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(report[0], 0x01);

  uint8_t buffer[4];
  UsbRequest read = device->StartRead(buffer, sizeof buffer);
  server->Stop();
  ASSERT_EQ(read.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(read.Error(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_TRUE(events_.WaitFor(Removal(path)));
  server->Stop();  // idempotent

  // The same sockets serve again after a stop.
  server = std::make_unique<UnitServer>(port, options);
  ASSERT_EQ(server->Start(), ERROR_SUCCESS);
  EXPECT_TRUE(events_.WaitFor(Arrival(path), 2));
  UnitServer rival(port, options);
  EXPECT_EQ(rival.Start(), ERROR_ALREADY_EXISTS);
}

TEST_F(TransportTest, HelpOfTheProgramListsOptionsAndTheUnitsControlLines) {
  ProgramRun help = RunProgram(FakeEngine().string() + " --help");
  EXPECT_EQ(help.exitCode, 0);
  for (const char* text : {"Usage: rzd-engine", "--serial", "--instance", "--paper", "--control", "unplug",
                           "replug", "mute on|off"}) {
    EXPECT_THAT(help.output, HasSubstr(text));
  }
}

}  // namespace
}  // namespace rzd::engine
