#include "platform/devices.h"

#include "platform/process.h"
#include "platform/text.h"
#include "testsupport/eventually.h"
#include "testsupport/temp_root.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

namespace rzd {
namespace {

using ::testing::ElementsAre;

constexpr auto kEventWait = std::chrono::seconds(20);

UsbImageDevice Unit(uint32_t instance, std::u16string serial) {
  UsbImageDevice unit;
  unit.vendorId = 0x2E5A;
  unit.productId = 0x0148;
  unit.instance = instance;
  unit.serialNumber = std::move(serial);
  unit.friendlyName = u"Quarx M48tz Scanner";
  unit.address = "/nowhere/unit.usb";
  return unit;
}

std::u16string PathOf(uint32_t instance, const std::u16string& serial) {
  return MakeUsbImageDevice(Unit(instance, serial)).interfacePath;
}

// Collects notification events; Expect waits until `n` are in.
class EventLog {
 public:
  DeviceNotification::Callback Callback() {
    return [this](const DeviceInterfaceEvent& event) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back((event.eventType == DBT_DEVICEARRIVAL ? "arrival " : "removal ") + ToUtf8(event.interfacePath));
      changed_.notify_all();
    };
  }
  std::vector<std::string> WaitFor(size_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, kEventWait, [&] { return lines_.size() >= n; });
    return lines_;
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_.size();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
};

std::string Arrival(const std::u16string& path) { return "arrival " + ToUtf8(path); }
std::string Removal(const std::u16string& path) { return "removal " + ToUtf8(path); }

class DevicesTest : public test::TempRoot {
 protected:
  static std::filesystem::path Child() { return test::BinaryDir() / "devices_child"; }
  static int RunChild(const std::vector<std::string>& args) {
    auto child = ChildProcess::Start(Child(), args);
    if (!child) return -1;
    return child->Wait(60000).value_or(-2);
  }
};

TEST_F(DevicesTest, UsbImageUnitEntryHasThePlatformForms) {
  DeviceEntry entry = MakeUsbImageDevice(Unit(3, u"QM48TZ000001"));
  EXPECT_EQ(entry.interfacePath, u"\\\\?\\usb#vid_2e5a&pid_0148#qm48tz000001#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  EXPECT_EQ(entry.classGuid, GUID_DEVINTERFACE_IMAGE);
  EXPECT_THAT(entry.hardwareIds, ElementsAre(u"USB\\VID_2E5A&PID_0148&REV_0100", u"USB\\VID_2E5A&PID_0148"));
  EXPECT_EQ(entry.driverKey, u"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0003");
  EXPECT_EQ(entry.StatusFlags() & DN_STARTED, DN_STARTED);
  EXPECT_EQ(entry.serialNumber, u"QM48TZ000001");
  ASSERT_NE(entry.FindValue(u"symbolicname"), nullptr);
  EXPECT_EQ(std::get<std::u16string>(*entry.FindValue(u"SymbolicName")),
            u"\\??\\USB#VID_2E5A&PID_0148#QM48TZ000001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");

  DeviceEntry noSerial = MakeUsbImageDevice(Unit(7, u""));
  EXPECT_EQ(noSerial.interfacePath, u"\\\\?\\usb#vid_2e5a&pid_0148#7&0&1#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
}

TEST_F(DevicesTest, EntryKeepsEveryFieldThroughTheTable) {
  DeviceEntry entry = MakeUsbImageDevice(Unit(0, u"AB12"));
  entry.friendlyName = u"Tab\there, line\nbreak, 100% caf\u00e9";
  entry.address = "/tmp/a socket path";
  entry.SetValue(u"Path", u"C:\\Program Files\\x");
  entry.SetValue(u"Count", uint32_t{0xFFFFFFFF});
  entry.SetValue(u"Empty", u"");
  ASSERT_EQ(AddDevice(entry), ERROR_SUCCESS);

  // Paths compare without regard to case.
  std::optional<DeviceEntry> found = FindDevice(ToUpper(entry.interfacePath));
  ASSERT_TRUE(found);
  EXPECT_EQ(found->interfacePath, entry.interfacePath);
  EXPECT_EQ(found->classGuid, entry.classGuid);
  EXPECT_EQ(found->hardwareIds, entry.hardwareIds);
  EXPECT_EQ(found->driverKey, entry.driverKey);
  EXPECT_EQ(found->friendlyName, entry.friendlyName);
  EXPECT_EQ(found->serialNumber, entry.serialNumber);
  EXPECT_EQ(found->backend, "sim");
  EXPECT_EQ(found->address, entry.address);
  EXPECT_EQ(found->hardwareValues, entry.hardwareValues);

  ASSERT_EQ(UpdateDevice(entry.interfacePath,
                         [](DeviceEntry& e) {
                           e.started = false;
                           e.SetValue(u"count", uint32_t{7});
                           e.interfacePath = u"ignored";
                         }),
            ERROR_SUCCESS);
  found = FindDevice(entry.interfacePath);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->StatusFlags(), 0u);
  EXPECT_EQ(std::get<uint32_t>(*found->FindValue(u"COUNT")), 7u);
  EXPECT_EQ(found->interfacePath, entry.interfacePath);

  EXPECT_EQ(RemoveDevice(entry.interfacePath), ERROR_SUCCESS);
  EXPECT_FALSE(FindDevice(entry.interfacePath));
  EXPECT_EQ(RemoveDevice(entry.interfacePath), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(UpdateDevice(entry.interfacePath, [](DeviceEntry&) {}), ERROR_FILE_NOT_FOUND);
}

TEST_F(DevicesTest, RefusesPathsThatDoNotEndInTheirClass) {
  const std::u16string cases[] = {
      u"usb#vid_2e5a&pid_0148#1#{6bdd1fc6-810f-11d0-bec7-08002be2092f}",            // no \\?\ prefix
      u"\\\\?\\usb#vid_2e5a&pid_0148#1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",     // another class
      u"\\\\?\\usb#vid_2e5a&pid_0148#1",                                            // no class at all
      u"\\\\?\\" + std::u16string(300, u'x') + u"#{6bdd1fc6-810f-11d0-bec7-08002be2092f}",  // too long
  };
  for (const std::u16string& path : cases) {
    DeviceEntry entry = MakeUsbImageDevice(Unit(0, u"1"));
    entry.interfacePath = path;
    EXPECT_EQ(AddDevice(entry), ERROR_INVALID_PARAMETER) << ToUtf8(path);
  }
  EXPECT_TRUE(EnumerateDevices(GUID_DEVINTERFACE_IMAGE).empty());
}

TEST_F(DevicesTest, EnumeratesTheInterfacesOfAClassByDriverKey) {
  // Serials chosen so that the order of the paths is the reverse of the order of the keys.
  ASSERT_EQ(AddDevice(MakeUsbImageDevice(Unit(2, u"A"))), ERROR_SUCCESS);
  ASSERT_EQ(AddDevice(MakeUsbImageDevice(Unit(0, u"C"))), ERROR_SUCCESS);
  ASSERT_EQ(AddDevice(MakeUsbImageDevice(Unit(1, u"B"))), ERROR_SUCCESS);
  DeviceEntry other;
  other.classGuid = GUID_DEVINTERFACE_USB_DEVICE;
  other.interfacePath = u"\\\\?\\usb#vid_1111&pid_2222#x#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
  ASSERT_EQ(AddDevice(other), ERROR_SUCCESS);
  // Files that are not entries are no devices.
  std::ofstream(RootPath() / "devices" / "garbage.dev") << "not an entry\n";
  std::ofstream(RootPath() / "devices" / ".tmp-1-1") << "rzd-device 1\n";

  auto keys = [] {
    std::vector<std::u16string> result;
    for (const DeviceEntry& e : EnumerateDevices(GUID_DEVINTERFACE_IMAGE)) result.push_back(e.driverKey.substr(39));
    return result;
  };
  EXPECT_THAT(keys(), ElementsAre(u"0000", u"0001", u"0002"));
  ASSERT_EQ(EnumerateDevices(GUID_DEVINTERFACE_USB_DEVICE).size(), 1u);

  ASSERT_EQ(RemoveDevice(PathOf(1, u"B")), ERROR_SUCCESS);
  EXPECT_THAT(keys(), ElementsAre(u"0000", u"0002"));
}

TEST_F(DevicesTest, NotificationReportsArrivalsAndRemovalsButNeitherUpdatesNorOtherClasses) {
  const std::u16string before = PathOf(0, u"OLD");
  const std::u16string added = PathOf(1, u"NEW");
  const std::u16string sentinel = PathOf(9, u"LAST");
  ASSERT_EQ(AddDevice(MakeUsbImageDevice(Unit(0, u"OLD"))), ERROR_SUCCESS);

  EventLog log;
  uint32_t error = 1;
  auto notification = DeviceNotification::Register(GUID_DEVINTERFACE_IMAGE, log.Callback(), &error);
  ASSERT_TRUE(notification);
  EXPECT_EQ(error, ERROR_SUCCESS);

  ASSERT_EQ(AddDevice(MakeUsbImageDevice(Unit(1, u"NEW"))), ERROR_SUCCESS);
  ASSERT_EQ(UpdateDevice(added, [](DeviceEntry& e) { e.friendlyName = u"changed"; }), ERROR_SUCCESS);
  ASSERT_EQ(AddDevice(MakeUsbImageDevice(Unit(0, u"OLD"))), ERROR_SUCCESS);  // replaces: an update
  DeviceEntry other;
  other.classGuid = GUID_DEVINTERFACE_USB_DEVICE;
  other.interfacePath = u"\\\\?\\usb#vid_1111&pid_2222#x#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
  ASSERT_EQ(AddDevice(other), ERROR_SUCCESS);
  ASSERT_EQ(RemoveDevice(before), ERROR_SUCCESS);
  ASSERT_EQ(RemoveDevice(added), ERROR_SUCCESS);
  ASSERT_EQ(AddDevice(MakeUsbImageDevice(Unit(9, u"LAST"))), ERROR_SUCCESS);

  // Events come in order, so once the sentinel arrived nothing else is on its way.
  EXPECT_THAT(log.WaitFor(4), ElementsAre(Arrival(added), Removal(before), Removal(added), Arrival(sentinel)));
}

TEST_F(DevicesTest, ChangesMadeByAnotherProcessAreSeen) {
  EventLog log;
  auto notification = DeviceNotification::Register(GUID_DEVINTERFACE_IMAGE, log.Callback());
  ASSERT_TRUE(notification);
  const std::u16string path = PathOf(5, u"OTHERPROC");
  ASSERT_EQ(RunChild({"add", "5", "OTHERPROC"}), 0);
  ASSERT_TRUE(FindDevice(path));
  ASSERT_EQ(RunChild({"remove", ToUtf8(path)}), 0);
  EXPECT_THAT(log.WaitFor(2), ElementsAre(Arrival(path), Removal(path)));
}

TEST_F(DevicesTest, ANotificationInAnotherProcessSeesThisProcessChanges) {
  std::filesystem::path out = RootPath() / "events.txt";
  auto watcher = ChildProcess::Start(Child(), {"watch", out.string(), "2", "60000"});
  ASSERT_TRUE(watcher);
  std::filesystem::path ready = out.string() + ".ready";
  ASSERT_TRUE(rzd::test::Eventually([&] { return std::filesystem::exists(ready); }, kEventWait));
  const std::u16string path = PathOf(4, u"SEEN");
  ASSERT_EQ(AddDevice(MakeUsbImageDevice(Unit(4, u"SEEN"))), ERROR_SUCCESS);
  ASSERT_EQ(RemoveDevice(path), ERROR_SUCCESS);
  ASSERT_EQ(watcher->Wait(60000), 0);
  std::ifstream in(out);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  EXPECT_THAT(lines, ElementsAre(Arrival(path), Removal(path)));
}

TEST_F(DevicesTest, NoCallbackRunsAfterUnregisterEvenFromTheCallbackItself) {
  EventLog sentinelLog;
  auto sentinel = DeviceNotification::Register(GUID_DEVINTERFACE_IMAGE, sentinelLog.Callback());
  ASSERT_TRUE(sentinel);

  std::unique_ptr<DeviceNotification> selfStopping;
  EventLog selfLog;
  DeviceNotification::Callback record = selfLog.Callback();
  selfStopping = DeviceNotification::Register(GUID_DEVINTERFACE_IMAGE, [&](const DeviceInterfaceEvent& event) {
    record(event);
    selfStopping->Unregister();
  });
  EventLog stoppedLog;
  auto stopped = DeviceNotification::Register(GUID_DEVINTERFACE_IMAGE, stoppedLog.Callback());
  ASSERT_TRUE(selfStopping && stopped);

  ASSERT_EQ(AddDevice(MakeUsbImageDevice(Unit(0, u"FIRST"))), ERROR_SUCCESS);
  ASSERT_EQ(stoppedLog.WaitFor(1).size(), 1u);
  stopped->Unregister();
  ASSERT_EQ(AddDevice(MakeUsbImageDevice(Unit(1, u"SECOND"))), ERROR_SUCCESS);
  ASSERT_EQ(AddDevice(MakeUsbImageDevice(Unit(2, u"THIRD"))), ERROR_SUCCESS);
  ASSERT_EQ(sentinelLog.WaitFor(3).size(), 3u);
  ASSERT_EQ(selfLog.WaitFor(1).size(), 1u);

  // Each registration has its own thread: the one that stopped itself took only the first
  // event, and the one unregistered (and joined) here took nothing after.
  EXPECT_EQ(selfLog.Count(), 1u);
  EXPECT_EQ(stoppedLog.Count(), 1u);
  selfStopping.reset();  // a second unregister is harmless
}

TEST_F(DevicesTest, ConcurrentUpdatesLoseNoWrite) {
  const std::u16string path = PathOf(0, u"COUNTER");
  DeviceEntry entry = MakeUsbImageDevice(Unit(0, u"COUNTER"));
  entry.SetValue(u"Count", uint32_t{0});
  ASSERT_EQ(AddDevice(entry), ERROR_SUCCESS);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 25; ++i) {
        UpdateDevice(path, [](DeviceEntry& e) { e.SetValue(u"Count", std::get<uint32_t>(*e.FindValue(u"Count")) + 1); });
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(std::get<uint32_t>(*FindDevice(path)->FindValue(u"Count")), 100u);
}

}  // namespace
}  // namespace rzd
