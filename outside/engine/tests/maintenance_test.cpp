// The unit's maintenance conditions: the scanner lock, counters set from the control line,
// commands made to fail, a calibration without steps, and a unit started over the entry that a
// killed one left behind.
#include "engine/unit_server.h"
#include "host_link.h"
#include "platform/devices.h"
#include "platform/process.h"
#include "platform/text.h"
#include "testsupport/temp_root.h"
#include "unit_bench.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rzd::engine {
namespace {

using test::Get16;
using test::Get32;
using test::HostLink;
using test::Ok;
using test::Put16;

class UnitMaintenance : public test::EitherLink {};
INSTANTIATE_TEST_SUITE_P(Links, UnitMaintenance, test::AllLinks(), test::LinkName());

TEST_P(UnitMaintenance, TheLockIsAStandingConditionOfBothSets) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  ASSERT_EQ(unit.Control("lock on"), "ok lock on");
  for (int i = 0; i < 2; ++i) {
    const test::SenseView s = host.RequestSense(true);
    EXPECT_EQ(s.key, 2);
    EXPECT_EQ(s.asc, 0x15);
    EXPECT_EQ(s.ascq, 0x04);
  }
  EXPECT_TRUE(host.Classic({0x00}).CheckCondition());
  EXPECT_EQ(host.RequestSense(false).asc, 0x15);  // the TEST UNIT READY's own sense
  // An open cover is reported first.
  unit.Control("cover open");
  EXPECT_EQ(host.RequestSense(true).asc, 0x80);
  unit.Control("cover close");
  ASSERT_EQ(unit.Control("lock off"), "ok lock off");
  EXPECT_EQ(host.RequestSense(true).key, 0);
  EXPECT_TRUE(host.Classic({0x00}).Good());
  EXPECT_FALSE(Ok(unit.Control("lock")));
}

TEST_P(UnitMaintenance, CountersAreSetAndListedWithThePowerTimes) {
  test::UnitBench& unit = NewUnit();
  EXPECT_EQ(unit.Control("counters"),
            "ok pad=0 adfsimplex=0 adfduplex=0 flatbed=0 roller=0 multifeed=0 jam=0 reverse=0 pickup=0 friction=0 "
            "clean=0 sleep=15 off=240 erp=240");
  ASSERT_TRUE(Ok(unit.Control("counters pad=11 clean=4294967295 friction=7")));
  const std::array<uint8_t, kNvramSize> nvram = unit.Nvram();
  EXPECT_EQ(Get32(&nvram[0]), 11u);
  EXPECT_EQ(Get32(&nvram[163]), 4294967295u);
  EXPECT_EQ(Get32(&nvram[154]), 7u);
  EXPECT_EQ(Get32(&nvram[4]), 0u);
  // The power times are 16-bit minutes.
  EXPECT_EQ(unit.Control("counters erp=5000 sleep=3 off=0"),
            "ok pad=11 adfsimplex=0 adfduplex=0 flatbed=0 roller=0 multifeed=0 jam=0 reverse=0 pickup=0 friction=7 "
            "clean=4294967295 sleep=3 off=0 erp=5000");
  EXPECT_EQ(Get16(&unit.Nvram()[148]), 5000u);
  EXPECT_EQ(Get16(&unit.Nvram()[70]), 3u);
  EXPECT_EQ(Get16(&unit.Nvram()[122]), 0u);
  for (const char* bad : {"counters pad", "counters pad=x", "counters nothing=1", "counters pad=4294967296",
                          "counters pa=1", "counters erp=65536", "counters erp=-1", "counters er=1"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(Ok(unit.Control(bad)));
  }
  EXPECT_EQ(Get32(&unit.Nvram()[0]), 11u);
  EXPECT_EQ(Get16(&unit.Nvram()[148]), 5000u);
}

TEST_P(UnitMaintenance, RefusedCommandsFailWithAHardwareErrorUntilAllowed) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  std::vector<uint8_t> sleep(6, 0);
  sleep[3] = 6;
  Put16(&sleep[4], 30);
  ASSERT_TRUE(Ok(unit.Control("refuse send 105 once")));
  EXPECT_TRUE(host.Read(0x69, 5).Good());  // a READ of another kind goes on
  EXPECT_TRUE(host.Send(0x105, sleep).CheckCondition());
  const test::SenseView s = host.RequestSense();
  EXPECT_EQ(s.key, 4);
  EXPECT_EQ(s.asc, 0x44);
  EXPECT_EQ(s.ascq, 0x03);
  EXPECT_EQ(Get16(&unit.Nvram()[70]), 15u);  // the refused record was not taken
  EXPECT_TRUE(host.Send(0x105, sleep).Good());
  EXPECT_EQ(Get16(&unit.Nvram()[70]), 30u);

  ASSERT_TRUE(Ok(unit.Control("refuse read 69")));
  EXPECT_TRUE(host.Read(0x69, 5).CheckCondition());
  EXPECT_TRUE(host.Read(0x69, 5).CheckCondition());
  ASSERT_TRUE(Ok(unit.Control("refuse off")));
  EXPECT_TRUE(host.Read(0x69, 5).Good());
  for (const char* bad : {"refuse", "refuse send", "refuse write 105", "refuse send xyz", "refuse send 105 twice",
                          "refuse read 10000"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(Ok(unit.Control(bad)));
  }
}

// A release the control line asks to abort does its work and answers an aborted command
// (0x0B/0x00/0x00), once or until "abort off"; other control bytes are not touched.
TEST_P(UnitMaintenance, AbortedReleasesDoTheirWorkAndAnswerAnAbortedCommand) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  ASSERT_TRUE(Ok(unit.Control("abort release 1 once")));
  ASSERT_TRUE(host.Reserve(2).Good());
  EXPECT_TRUE(host.Release(2).Good());  // another control byte
  ASSERT_TRUE(host.Reserve(2).Good());
  EXPECT_TRUE(host.Release(1).CheckCondition());
  const test::SenseView s = host.RequestSense();
  EXPECT_EQ(s.key, 0x0B);
  EXPECT_EQ(s.asc, 0x00);
  EXPECT_EQ(s.ascq, 0x00);
  EXPECT_TRUE(host.Release(1).Good());  // once
  EXPECT_TRUE(host.Release(2).Good());
  ASSERT_TRUE(Ok(unit.Control("abort release 2")));
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(host.Reserve(2).Good());
    EXPECT_TRUE(host.Release(2).CheckCondition());
    EXPECT_EQ(host.RequestSense().key, 0x0B);
    EXPECT_NE(unit.Control("state").find("reserved=-,"), std::string::npos) << "the release was done";
  }
  ASSERT_TRUE(Ok(unit.Control("abort off")));
  EXPECT_TRUE(host.Release(2).Good());
  for (const char* bad : {"abort", "abort release", "abort release 3", "abort reserve 1", "abort release 1 twice"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(Ok(unit.Control(bad)));
  }
}

TEST_P(UnitMaintenance, ACalibrationMayHaveNoSteps) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  ASSERT_TRUE(Ok(unit.Control("calib steps 0")));
  const test::Reply r = host.Read(0x6F, 8);
  ASSERT_TRUE(r.Good());
  EXPECT_EQ(r.data[4] | r.data[5] | r.data[6] | r.data[7], 0);
  EXPECT_FALSE(Ok(unit.Control("calib steps 65536")));
}

class UnitRestart : public rzd::test::TempRoot {};

TEST_F(UnitRestart, AUnitStartedOverTheEntryOfAKilledOneAnnouncesTheRemovalThenItsArrival) {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<uint32_t> events;
  std::u16string path;
  auto notification = DeviceNotification::Register(GUID_DEVINTERFACE_IMAGE, [&](const DeviceInterfaceEvent& e) {
    std::lock_guard guard(lock);
    if (e.interfacePath != path) return;
    events.push_back(e.eventType);
    changed.notify_all();
  });
  ASSERT_TRUE(notification);
  auto waitFor = [&](size_t count) {
    std::unique_lock guard(lock);
    return changed.wait_for(guard, std::chrono::seconds(60), [&] { return events.size() >= count; });
  };
  auto start = [] {
    return ChildProcess::Start(test::EnginePath(), {"--parent-pid", std::to_string(CurrentProcessId())});
  };
  {
    std::lock_guard guard(lock);
    path = ToLower(u"\\\\?\\usb#vid_2e5a&pid_0148#qm48tz000001#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  }
  std::optional<ChildProcess> first = start();
  ASSERT_TRUE(first);
  ASSERT_TRUE(waitFor(1));
  first->Kill();  // no chance to remove its entry
  ASSERT_TRUE(FindDevice(path));

  std::optional<ChildProcess> second = start();
  ASSERT_TRUE(second);
  ASSERT_TRUE(waitFor(3));
  {
    std::lock_guard guard(lock);
    EXPECT_EQ(events, (std::vector<uint32_t>{DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEARRIVAL}));
  }
  second->Terminate();
  EXPECT_EQ(second->Wait(60000), 0);
  notification->Unregister();
}

}  // namespace
}  // namespace rzd::engine
