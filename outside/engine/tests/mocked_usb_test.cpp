// The unit on a mocked USB port: discovery through udev (entries, driver keys, arrival and
// removal, side by side with simulated units), and the libusb transport's answers to the unit's
// pipes (stall and pipe reset, time-out, cancel, unplug, device events, several handles). Its
// usbfs requests are answered by the simulated unit's own code; the tests run under umockdev's
// preload.
#include "engine/mocked_usb.h"
#include "engine/sim_unit.h"
#include "engine/unit_server.h"
#include "host_link.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/usb.h"
#include "unit_bench.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace rzd::engine {
namespace {

using test::HostLink;
using test::Ok;
using test::MockedUsbBench;
using test::Reply;

constexpr uint32_t kAnswerMs = 20000;

std::vector<uint8_t> InquiryCdb(uint8_t allocation) {
  std::vector<uint8_t> c = HostLink::Cdb(0xE2);
  c[10] = allocation;
  return c;
}

UsbVendorRequest CommandBlock(const std::vector<uint8_t>& cdb) {
  UsbVendorRequest request;
  request.requestType = 0x40;
  request.request = 4;
  request.data = cdb;
  return request;
}

// Device-interface events of the image class, as a registration hears them.
class EventLog {
 public:
  EventLog() {
    registration_ = DeviceNotification::Register(GUID_DEVINTERFACE_IMAGE, [this](const DeviceInterfaceEvent& event) {
      std::lock_guard<std::mutex> lock(mutex_);
      events_.push_back(event);
      changed_.notify_all();
    });
  }
  bool Registered() const { return registration_ != nullptr; }
  // Waits until `count` events came; the events so far.
  std::vector<DeviceInterfaceEvent> WaitFor(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(kAnswerMs), [&] { return events_.size() >= count; });
    return events_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<DeviceInterfaceEvent> events_;
  std::unique_ptr<DeviceNotification> registration_;
};

class MockedUsbTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    if (!MockedUsbUnit::PreloadActive()) GTEST_FAIL() << "run under umockdev's preload (ctest, or scripts/under-umockdev)";
  }
};

// ---- Discovery

TEST_F(MockedUsbTest, DiscoveryListsTheUnitWithItsPathHardwareIdsAndSerialNumber) {
  SimUnit unit;
  MockedUsbUnit port(unit, {.serial = "QM48TZ000042", .revision = 0x0123});
  const std::optional<DeviceEntry> entry = test::ListedEntryOf(port);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->interfacePath, u"\\\\?\\usb#vid_2e5a&pid_0148#qm48tz000042#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  EXPECT_EQ(entry->classGuid, GUID_DEVINTERFACE_IMAGE);
  EXPECT_EQ(entry->hardwareIds,
            (std::vector<std::u16string>{u"USB\\VID_2E5A&PID_0148&REV_0123", u"USB\\VID_2E5A&PID_0148"}));
  EXPECT_EQ(entry->driverKey, u"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000");
  EXPECT_EQ(entry->serialNumber, u"QM48TZ000042");
  EXPECT_EQ(entry->friendlyName, lowdrv::kModelFriendlyNameW);
  EXPECT_EQ(entry->StatusFlags(), DN_DRIVER_LOADED | DN_STARTED);
  const DeviceValue* symbolic = entry->FindValue(u"SymbolicName");
  ASSERT_NE(symbolic, nullptr);
  EXPECT_EQ(std::get<std::u16string>(*symbolic),
            u"\\??\\USB#VID_2E5A&PID_0148#QM48TZ000042#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
  EXPECT_EQ(entry->backend, "libusb");
  // The simulated unit's entry of the same serial number has the same form.
  const DeviceEntry simulated = ModelUnitOptions(0, "QM48TZ000042", lowdrv::kModelFriendlyNameW).entry;
  EXPECT_EQ(entry->interfacePath, simulated.interfacePath);
  EXPECT_EQ(entry->driverKey, simulated.driverKey);
  EXPECT_EQ(entry->hardwareIds[1], simulated.hardwareIds[1]);
  // Found by its path, as the driver opens it.
  const std::optional<DeviceEntry> found = FindDevice(ToUpper(entry->interfacePath));
  ASSERT_TRUE(found);
  EXPECT_EQ(found->address, port.SysPath());
}

TEST_F(MockedUsbTest, AUnitWithoutAUsableSerialNumberIsNamedByItsDriverKey) {
  struct Case {
    const char* serial;
    std::u16string instancePart;
    std::u16string serialNumber;
  };
  const Case cases[] = {{"", u"0&0&1", u""}, {"AB#12", u"0&0&1", u"AB#12"}, {"with space", u"0&0&1", u"with space"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serial);
    rzd::test::ScopedRoot root;  // every case its own numbering
    SimUnit unit;
    MockedUsbUnit port(unit, {.serial = c.serial});
    const std::optional<DeviceEntry> entry = test::ListedEntryOf(port);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->interfacePath,
              u"\\\\?\\usb#vid_2e5a&pid_0148#" + c.instancePart + u"#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
    EXPECT_EQ(entry->serialNumber, c.serialNumber);
  }
}

TEST_F(MockedUsbTest, AUnitKeepsItsDriverKeyAndNewUnitsTakeTheNextFreeOne) {
  // A simulated unit holds number 0.
  SimUnit simulated;
  UnitServer server(simulated, ModelUnitOptions(0, "SIMULATED1", u"sim"));
  ASSERT_EQ(server.Start(), ERROR_SUCCESS);

  SimUnit unit;
  MockedUsbUnit port(unit, {.serial = "REAL0001"});
  std::optional<DeviceEntry> first = test::ListedEntryOf(port);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->driverKey, u"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0001");
  RegKey recorded;
  ASSERT_EQ(RegKey::Open(Hive::LocalMachine, u"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_2E5A&PID_0148\\REAL0001", &recorded),
            ERROR_SUCCESS);
  std::u16string driver;
  ASSERT_EQ(recorded.GetString(u"Driver", &driver), ERROR_SUCCESS);
  EXPECT_EQ(driver, first->driverKey);

  // Plugged in again (another device address) and listed again: the same key.
  port.Unplug();
  EXPECT_FALSE(test::ListedEntryOf(port));
  port.Replug();
  std::optional<DeviceEntry> again = test::ListedEntryOf(port);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->driverKey, first->driverKey);

  // Simulated and real units side by side, in driver-key order.
  const std::vector<DeviceEntry> all = EnumerateDevices(GUID_DEVINTERFACE_IMAGE);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].backend, "sim");
  EXPECT_EQ(all[1].backend, "libusb");
}

TEST_F(MockedUsbTest, RemovingTheDeviceDeliversARemovalAndAddingItAnArrival) {
  SimUnit unit;
  MockedUsbUnit port(unit);
  const std::optional<DeviceEntry> entry = test::ListedEntryOf(port);
  ASSERT_TRUE(entry);
  EventLog log;
  ASSERT_TRUE(log.Registered());
  port.Unplug();
  std::vector<DeviceInterfaceEvent> events = log.WaitFor(1);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].eventType, DBT_DEVICEREMOVECOMPLETE);
  EXPECT_EQ(events[0].classGuid, GUID_DEVINTERFACE_IMAGE);
  EXPECT_EQ(events[0].interfacePath, entry->interfacePath);
  EXPECT_TRUE(EnumerateDevices(GUID_DEVINTERFACE_IMAGE).empty());

  port.Replug();
  events = log.WaitFor(2);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].eventType, DBT_DEVICEARRIVAL);
  EXPECT_EQ(events[1].interfacePath, entry->interfacePath);

  // A simulated unit's arrival comes through the same registration.
  SimUnit simulated;
  UnitServer server(simulated, ModelUnitOptions(7, "SIMULATED7", u"sim"));
  ASSERT_EQ(server.Start(), ERROR_SUCCESS);
  events = log.WaitFor(3);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[2].eventType, DBT_DEVICEARRIVAL);
  EXPECT_EQ(events[2].interfacePath, server.Entry().interfacePath);
}

TEST(UdevRule, TheShippedRuleGivesTheGroupTheModelsDeviceNodes) {
  std::ifstream in(RZD_UDEV_RULE);
  ASSERT_TRUE(in) << RZD_UDEV_RULE;
  char ids[64];
  std::snprintf(ids, sizeof ids, "ATTR{idVendor}==\"%04x\", ATTR{idProduct}==\"%04x\"", lowdrv::kModelUsbVendorId,
                lowdrv::kModelUsbProductId);
  std::string line;
  int rules = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    ++rules;
    EXPECT_NE(line.find("SUBSYSTEM==\"usb\""), std::string::npos) << line;
    EXPECT_NE(line.find(ids), std::string::npos) << line;
    EXPECT_NE(line.find("GROUP=\"scanner\""), std::string::npos) << line;
    EXPECT_NE(line.find("MODE=\"0660\""), std::string::npos) << line;
  }
  EXPECT_EQ(rules, 1);
}

// ---- Transfers over libusb

TEST_F(MockedUsbTest, AStallAnswersGenFailureAndTheNextCommandSucceedsAfterThePipeReset) {
  MockedUsbBench bench;
  UsbDevice& device = bench.Usb().Device();
  ASSERT_TRUE(Ok(bench.Control("halt")));
  EXPECT_EQ(device.VendorRequest(CommandBlock(InquiryCdb(5)), kAnswerMs), ERROR_GEN_FAILURE);
  uint8_t buffer[8];
  EXPECT_EQ(device.Read(buffer, sizeof buffer, kAnswerMs), ERROR_GEN_FAILURE);
  EXPECT_EQ(device.ResetPipe(READ_DATA_PIPE, kAnswerMs), ERROR_SUCCESS);
  EXPECT_EQ(device.ResetPipe(WRITE_DATA_PIPE, kAnswerMs), ERROR_SUCCESS);
  HostLink host(bench.Host());
  const Reply r = host.New(InquiryCdb(5), {}, 5);
  EXPECT_TRUE(r.Good());
  EXPECT_EQ(r.data.size(), 5u);
}

TEST_F(MockedUsbTest, ASilentUnitTimesOutOnTimeAndTheTransferIsWaitedFor) {
  MockedUsbBench bench;
  UsbDevice& device = bench.Usb().Device();
  ASSERT_TRUE(Ok(bench.Control("stall")));
  std::vector<uint8_t> buffer(64, 0xAA);
  size_t got = 99;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(device.Read(buffer.data(), buffer.size(), 300, &got), WAIT_TIMEOUT);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_LT(waited, std::chrono::seconds(10));
  EXPECT_EQ(got, 0u);
  // The host took the transfer back before the call returned.
  EXPECT_EQ(bench.Port().TransfersInFlight(), 0u);
  EXPECT_EQ(device.VendorRequest(CommandBlock(InquiryCdb(5)), 300), WAIT_TIMEOUT);
  EXPECT_EQ(bench.Port().TransfersInFlight(), 0u);
  // The unit talks again.
  ASSERT_TRUE(Ok(bench.Control("resume")));
  HostLink host(bench.Host());
  EXPECT_TRUE(host.New(InquiryCdb(5), {}, 5).Good());
}

TEST_F(MockedUsbTest, ACancelAnswersAbortedAndPipeCancelEndsOnlyThatPipe) {
  MockedUsbBench bench;
  UsbDevice& device = bench.Usb().Device();
  ASSERT_TRUE(Ok(bench.Control("stall")));
  uint8_t first[16];
  uint8_t second[16];
  UsbRequest read = device.StartRead(first, sizeof first);
  UsbRequest event = device.StartWaitDeviceEvent(second, sizeof second);
  EXPECT_EQ(read.Wait(50), WAIT_TIMEOUT);
  read.Cancel();
  EXPECT_TRUE(read.IsComplete());
  EXPECT_EQ(read.Error(), ERROR_OPERATION_ABORTED);

  UsbRequest again = device.StartRead(first, sizeof first);
  EXPECT_EQ(device.CancelPipe(READ_DATA_PIPE), ERROR_SUCCESS);
  EXPECT_EQ(again.Error(), ERROR_OPERATION_ABORTED);
  EXPECT_FALSE(event.IsComplete());  // an event wait belongs to no pipe
  event.Cancel();
  EXPECT_EQ(event.Error(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(bench.Port().TransfersInFlight(), 0u);
}

TEST_F(MockedUsbTest, RemovingTheDeviceMidTransferAnswersDeviceNotConnectedAtOnce) {
  MockedUsbBench bench;
  UsbDevice& device = bench.Usb().Device();
  ASSERT_TRUE(Ok(bench.Control("stall")));
  uint8_t buffer[64];
  uint8_t report[16];
  UsbRequest read = device.StartRead(buffer, sizeof buffer);
  UsbRequest event = device.StartWaitDeviceEvent(report, sizeof report);
  EXPECT_EQ(read.Wait(50), WAIT_TIMEOUT);
  ASSERT_TRUE(Ok(bench.Control("unplug")));
  // Nothing else could end them: no time-out was asked for and the unit keeps quiet.
  ASSERT_EQ(read.Wait(kAnswerMs), WAIT_OBJECT_0);
  EXPECT_EQ(read.Error(), ERROR_DEVICE_NOT_CONNECTED);
  ASSERT_EQ(event.Wait(kAnswerMs), WAIT_OBJECT_0);
  EXPECT_EQ(event.Error(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(device.Write(buffer, 4, kAnswerMs), ERROR_DEVICE_NOT_CONNECTED);
  uint32_t error = 0;
  EXPECT_EQ(UsbDevice::Open(bench.Entry().interfacePath, &error), nullptr);
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);

  // Plugged in again, the path opens afresh and carries commands.
  ASSERT_TRUE(Ok(bench.Control("replug")));
  ASSERT_TRUE(Ok(bench.Control("resume")));
  std::shared_ptr<UsbDevice> reopened = UsbDevice::Open(bench.Entry().interfacePath, &error);
  ASSERT_NE(reopened, nullptr) << error;
  test::UsbLink link(reopened);
  HostLink host(link);
  EXPECT_TRUE(host.New(InquiryCdb(5), {}, 5).Good());
}

TEST_F(MockedUsbTest, DeviceEventsArriveOnTheEventPipeAndWaitForAWaiter) {
  MockedUsbBench bench;
  UsbDevice& device = bench.Usb().Device();
  uint8_t report[16] = {};
  UsbRequest waiting = device.StartWaitDeviceEvent(report, sizeof report);
  ASSERT_TRUE(Ok(bench.Control("event 11 22 33")));
  ASSERT_EQ(waiting.Wait(kAnswerMs), WAIT_OBJECT_0);
  EXPECT_EQ(waiting.Error(), ERROR_SUCCESS);
  ASSERT_EQ(waiting.Transferred(), 3u);
  EXPECT_EQ(report[0], 0x11);
  EXPECT_EQ(report[2], 0x33);
  // A report that comes while nobody waits is kept; a short buffer takes its head.
  ASSERT_TRUE(Ok(bench.Control("event 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10")));
  uint8_t head[4] = {};
  size_t got = 0;
  EXPECT_EQ(device.WaitDeviceEvent(head, sizeof head, kAnswerMs, &got), ERROR_SUCCESS);
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(head[3], 0x04);
}

TEST_F(MockedUsbTest, HandlesOfOneProcessShareTheUnitAndCloseOnlyTheirOwnTransfers) {
  MockedUsbBench bench;
  uint32_t error = 0;
  std::shared_ptr<UsbDevice> second = UsbDevice::Open(bench.Entry().interfacePath, &error);
  ASSERT_NE(second, nullptr) << error;
  uint8_t report[16];
  UsbRequest event = second->StartWaitDeviceEvent(report, sizeof report);
  // Closing the first handle from another thread ends its transfer, not the second's.
  ASSERT_TRUE(Ok(bench.Control("stall")));
  uint8_t buffer[16];
  UsbRequest read = bench.Usb().Device().StartRead(buffer, sizeof buffer);
  std::thread closer([&] { bench.Usb().Device().Close(); });
  closer.join();
  ASSERT_EQ(read.Wait(kAnswerMs), WAIT_OBJECT_0);
  EXPECT_EQ(read.Error(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(bench.Usb().Device().Read(buffer, sizeof buffer, 100), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(event.IsComplete());
  ASSERT_TRUE(Ok(bench.Control("press 1")));
  ASSERT_EQ(event.Wait(kAnswerMs), WAIT_OBJECT_0);
  EXPECT_EQ(event.Error(), ERROR_SUCCESS);
  ASSERT_TRUE(Ok(bench.Control("resume")));
  test::UsbLink link(second);
  HostLink host(link);
  EXPECT_TRUE(host.New(InquiryCdb(5), {}, 5).Good());
}

}  // namespace
}  // namespace rzd::engine
