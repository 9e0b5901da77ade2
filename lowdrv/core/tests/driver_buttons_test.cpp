// The unit's buttons thread: one per unit across processes, run by the process that opened the
// unit while the button-thread event was free, ended by that process's last close and then taken
// over by the next opener.
#include "driver_unit_fixture.h"

#include "lowdrv/core/driver_process.h"

#include <atomic>
#include <thread>

namespace rzd::lowdrv::test {
namespace {

const std::u16string kOldDriverName =
    u"RORuz2006OZIDODusbvid2e5apid0148qm48tz0000016bdd1fc6810f11d0bec708002be2092f";
const std::u16string kButtonEventName =
    u"Global\\usbvid2e5apid0148qm48tz0000016bdd1fc6810f11d0bec708002be2092f_ButtonThreadEvent";

using DriverButtonsTest = DriverUnitTest;

TEST_F(DriverButtonsTest, TheProcessRunsTheThreadUntilItsLastCloseWhicheverObjectStartedIt) {
  StartUnit();
  auto starter = std::make_unique<CScannerLLD>(path_);
  ASSERT_EQ(starter->OpenScanner(), 0u);
  EXPECT_TRUE(ButtonsThreadRunsHere());
  auto other = std::make_unique<CScannerLLD>(path_);
  ASSERT_EQ(other->OpenScanner(), 0u);
  EXPECT_TRUE(ButtonsThreadRunsHere());

  ObjectResult<Event> buttonEvent = Event::Open(kButtonEventName);
  ASSERT_TRUE(buttonEvent);
  // The object that started the thread goes; the thread stays with the process.
  starter.reset();
  EXPECT_TRUE(ButtonsThreadRunsHere());
  EXPECT_EQ(buttonEvent.handle.Wait(0), WAIT_TIMEOUT);

  // The last close ends it and gives the unit's event back for another process.
  ASSERT_EQ(other->CloseScanner(), 0u);
  EXPECT_FALSE(ButtonsThreadRunsHere());
  EXPECT_EQ(buttonEvent.handle.Wait(0), WAIT_OBJECT_0);
  buttonEvent.handle.Set();

  // The next open of the process starts it again.
  ASSERT_EQ(other->OpenScanner(), 0u);
  EXPECT_TRUE(ButtonsThreadRunsHere());
  EXPECT_EQ(DriverOpenCount(), 1u);
}

TEST_F(DriverButtonsTest, OneThreadPerUnitAcrossProcessesHandedOverWhenItsProcessCloses) {
  StartUnit();
  Event opened = NamedEvent("a_opened");
  NamedEvent("a_close");
  Event closed = NamedEvent("a_closed");
  NamedEvent("a_end");
  const auto outA = StartProbe(
      {"open", "buttons", "signal", "a_opened", "wait", "a_close", "close", "buttons", "signal", "a_closed", "wait", "a_end"});
  ASSERT_TRUE(WaitFor(opened));

  // Process A runs it: this process and a third one do not.
  CScannerLLD first(path_);
  ASSERT_EQ(first.OpenScanner(), 0u);
  EXPECT_FALSE(ButtonsThreadRunsHere());
  const auto outB = StartProbe({"open", "buttons", "close"});
  ASSERT_EQ(WaitProbe(1), 0);
  EXPECT_EQ(ReadLines(outB), (std::vector<std::string>{"open 0", "buttons 0", "close 0"}));

  // A closes: the thread ends there and the next opener here takes it over.
  Event(events_[1]).Set();
  ASSERT_TRUE(WaitFor(closed));
  EXPECT_FALSE(ButtonsThreadRunsHere());
  CScannerLLD second(path_);
  ASSERT_EQ(second.OpenScanner(), 0u);
  EXPECT_TRUE(ButtonsThreadRunsHere());

  Event(events_[3]).Set();
  ASSERT_EQ(WaitProbe(0), 0);
  EXPECT_EQ(ReadLines(outA), (std::vector<std::string>{"open 0", "buttons 1", "close 0", "buttons 0"}));
}

TEST_F(DriverButtonsTest, OpensAndClosesOnManyThreadsKeepTheCountAndTheThreadTogether) {
  StartUnit();
  // Held by the test so that they outlive the driver objects.
  ObjectResult<Event> buttonEvent = Event::Create(kButtonEventName, false, true);
  ASSERT_TRUE(buttonEvent);
  ObjectResult<Event> oldDriver = Event::Create(kOldDriverName, false, true);
  ASSERT_TRUE(oldDriver);
  ObjectResult<Semaphore> semaphore = Semaphore::Create(u"Global\\M48tzLLD_qm48tz000001", 1, 1);
  ASSERT_TRUE(semaphore);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 3; ++i) {
        CScannerLLD driver(path_);
        if (driver.OpenScanner() != 0) ++failures;
        // While any object of the process is open, the process runs the thread.
        if (!ButtonsThreadRunsHere() || DriverOpenCount() == 0) ++failures;
        if (driver.CloseScanner() != 0) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(DriverOpenCount(), 0u);
  EXPECT_FALSE(ButtonsThreadRunsHere());
  // Everything the opens took was given back.
  EXPECT_EQ(buttonEvent.handle.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(oldDriver.handle.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(semaphore.handle.Wait(0), WAIT_OBJECT_0);
}

}  // namespace
}  // namespace rzd::lowdrv::test
