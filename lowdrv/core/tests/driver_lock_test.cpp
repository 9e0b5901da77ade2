// Locking a unit across processes: the unit semaphore and the old-driver event, a holder in
// another process (the probe program), and what a failed open gives back.
#include "driver_unit_fixture.h"

#include "lowdrv/core/driver_process.h"

namespace rzd::lowdrv::test {
namespace {

const std::u16string kSemaphoreName = u"Global\\M48tzLLD_qm48tz000001";
const std::u16string kOldDriverName =
    u"RORuz2006OZIDODusbvid2e5apid0148qm48tz0000016bdd1fc6810f11d0bec708002be2092f";

LLDError Lock(CRZDREduzidLLD& driver, uint32_t timeoutMs) { return driver.LockScanner(&timeoutMs, sizeof timeoutMs); }

// True when the named object is free now (and leaves it free).
bool SemaphoreFree(const Semaphore& semaphore) {
  if (semaphore.Wait(0) != WAIT_OBJECT_0) return false;
  semaphore.Release();
  return true;
}
bool EventFree(const Event& event) {
  if (event.Wait(0) != WAIT_OBJECT_0) return false;
  event.Set();
  return true;
}

// A model driver whose configuration read fails after the engine was read (the unit is held).
class FailingConfigDriver : public CScannerLLD {
 public:
  using CScannerLLD::CScannerLLD;
  LLDError GetScannerCfg(bool read) override {
    CScannerLLD::GetScannerCfg(read);
    return lld::kInternal;
  }
};

using DriverLockTest = DriverUnitTest;

TEST_F(DriverLockTest, LockAndUnlockFollowTheState) {
  StartUnit();
  CScannerLLD driver(path_);
  EXPECT_EQ(Lock(driver, 100), lld::kWrongSequence);  // closed
  ASSERT_EQ(driver.OpenScanner(), 0u);
  EXPECT_EQ(driver.UnlockScanner(), 0u);  // not locked: not a failure
  EXPECT_EQ(driver.m_ulStatus, state::kOpen);

  ObjectResult<Semaphore> semaphore = Semaphore::Open(kSemaphoreName);
  ASSERT_TRUE(semaphore);
  // A time-out of fewer than 4 bytes takes nothing.
  const uint32_t timeout = 1000;
  EXPECT_EQ(driver.LockScanner(&timeout, 3), lld::kInvalidParameter);
  EXPECT_EQ(driver.LockScanner(nullptr, 4), lld::kInvalidParameter);
  EXPECT_EQ(driver.m_ulStatus, state::kOpen);
  EXPECT_TRUE(SemaphoreFree(semaphore.handle));

  ASSERT_EQ(Lock(driver, 1000), 0u);
  EXPECT_EQ(driver.m_ulStatus, state::kLocked);
  EXPECT_TRUE(driver.HoldsOldDriverEvent());
  // Locked already: at once, without waiting for itself.
  EXPECT_EQ(Lock(driver, 60000), 0u);
  EXPECT_FALSE(SemaphoreFree(semaphore.handle));
  EXPECT_EQ(driver.UnlockScanner(), 0u);
  EXPECT_EQ(driver.m_ulStatus, state::kOpen);
  EXPECT_FALSE(driver.HoldsOldDriverEvent());
  EXPECT_TRUE(SemaphoreFree(semaphore.handle));
}

TEST_F(DriverLockTest, AFirstOpenWhileAnotherProcessHoldsTheUnitIsRefused) {
  StartUnit();
  Event held = NamedEvent("held");
  NamedEvent("release");
  const auto out = StartProbe({"open", "lock", "2000", "signal", "held", "wait", "release", "unlock", "close"});
  ASSERT_TRUE(WaitFor(held));
  TakeUnitLog();

  CScannerLLD driver(path_);
  driver.m_ulCmdTimeout = 300;
  EXPECT_EQ(driver.OpenScanner(), lld::kInUse);
  EXPECT_EQ(driver.m_ulStatus, state::kClosed);
  EXPECT_TRUE(TakeUnitLog().empty());
  EXPECT_EQ(DriverOpenCount(), 0u);

  Event(events_[1]).Set();
  ASSERT_EQ(WaitProbe(0), 0);
  EXPECT_EQ(ReadLines(out), (std::vector<std::string>{"open 0", "lock 0", "unlock 0", "close 0"}));
  // The holder is gone: the open goes through.
  EXPECT_EQ(driver.OpenScanner(), 0u);
}

TEST_F(DriverLockTest, ALockWhileAnotherProcessHoldsTheUnitIsRefusedAndChangesNothing) {
  StartUnit();
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);

  Event held = NamedEvent("held");
  NamedEvent("release");
  const auto out = StartProbe({"open", "lock", "2000", "signal", "held", "wait", "release", "unlock", "close"});
  ASSERT_TRUE(WaitFor(held));
  EXPECT_EQ(Lock(driver, 300), lld::kInUse);
  EXPECT_EQ(driver.m_ulStatus, state::kOpen);
  EXPECT_FALSE(driver.HoldsSemaphore());
  EXPECT_FALSE(driver.HoldsOldDriverEvent());

  Event(events_[1]).Set();
  ASSERT_EQ(WaitProbe(0), 0);
  EXPECT_EQ(ReadLines(out), (std::vector<std::string>{"open 0", "lock 0", "unlock 0", "close 0"}));
  EXPECT_EQ(Lock(driver, 5000), 0u);
  EXPECT_EQ(driver.m_ulStatus, state::kLocked);
}

TEST_F(DriverLockTest, AfterOneOpenTheProcessOpensWhileAnotherHoldsTheUnitWithoutTheEngine) {
  StartUnit();
  {
    CScannerLLD first(path_);
    ASSERT_EQ(first.OpenScanner(), 0u);
    ASSERT_EQ(first.CloseScanner(), 0u);
  }
  Event held = NamedEvent("held");
  NamedEvent("release");
  StartProbe({"open", "lock", "2000", "signal", "held", "wait", "release", "unlock", "close"});
  ASSERT_TRUE(WaitFor(held));
  TakeUnitLog();

  CScannerLLD second(path_);
  second.m_ulCmdTimeout = 300;
  ASSERT_EQ(second.OpenScanner(), 0u);
  EXPECT_TRUE(TakeUnitLog().empty());
  EXPECT_EQ(second.m_ulStatus, state::kOpen);
  // Its lock waits for the holder like any other.
  EXPECT_EQ(Lock(second, 300), lld::kInUse);
  Event(events_[1]).Set();
  ASSERT_EQ(WaitProbe(0), 0);
  EXPECT_EQ(Lock(second, 5000), 0u);
}

TEST_F(DriverLockTest, AFailedOpenGivesTheUnitBackToEveryOtherProcess) {
  StartUnit();
  // Another holder of the named objects keeps them alive, as the service's own driver does.
  ObjectResult<Semaphore> semaphore = Semaphore::Create(kSemaphoreName, 1, 1);
  ASSERT_TRUE(semaphore);
  ObjectResult<Event> oldDriver = Event::Create(kOldDriverName, false, true);
  ASSERT_TRUE(oldDriver);

  FailingConfigDriver failing(path_);
  EXPECT_EQ(failing.OpenScanner(), lld::kInternal);
  EXPECT_EQ(failing.m_ulStatus, state::kClosed);
  EXPECT_FALSE(failing.HoldsSemaphore());
  EXPECT_FALSE(failing.HoldsOldDriverEvent());
  EXPECT_EQ(DriverOpenCount(), 0u);
  EXPECT_TRUE(SemaphoreFree(semaphore.handle));
  EXPECT_TRUE(EventFree(oldDriver.handle));

  const auto out = StartProbe({"open", "lock", "5000", "status", "unlock", "close"});
  ASSERT_EQ(WaitProbe(0), 0);
  EXPECT_EQ(ReadLines(out), (std::vector<std::string>{"open 0", "lock 0", "status 2", "unlock 0", "close 0"}));
}

TEST_F(DriverLockTest, AnOpenOfAMissingUnitGivesEverythingBack) {
  // No unit serves the path: the device cannot be opened.
  path_ = ModelUnitPath("QM48TZ000404");
  ObjectResult<Semaphore> semaphore = Semaphore::Create(u"Global\\M48tzLLD_qm48tz000404", 1, 1);
  ASSERT_TRUE(semaphore);
  CScannerLLD driver(path_);
  EXPECT_EQ(driver.OpenScanner(), lld::kUnreachable);
  EXPECT_EQ(driver.m_ulStatus, state::kClosed);
  EXPECT_TRUE(SemaphoreFree(semaphore.handle));
  EXPECT_FALSE(driver.HoldsOldDriverEvent());
}

TEST_F(DriverLockTest, ALockHolderKilledWhileAnotherProcessKeepsTheUnitOpenDoesNotLockTheUnitOut) {
  StartUnit();
  // This process keeps the unit open all along, as the service's own driver object does.
  CScannerLLD keeper(path_);
  ASSERT_EQ(keeper.OpenScanner(), 0u);

  Event held = NamedEvent("held");
  NamedEvent("release");
  StartProbe({"open", "lock", "2000", "signal", "held", "wait", "release"});
  ASSERT_TRUE(WaitFor(held));
  EXPECT_EQ(Lock(keeper, 300), lld::kInUse);
  probes_[0].Kill();  // killed holding the unit semaphore and the old-driver event

  // The holder's takes come back: a lock here, and then one in another process, go through.
  EXPECT_EQ(Lock(keeper, 5000), 0u);
  EXPECT_EQ(keeper.m_ulStatus, state::kLocked);
  EXPECT_TRUE(keeper.HoldsOldDriverEvent());
  EXPECT_EQ(keeper.UnlockScanner(), 0u);
  const auto out = StartProbe({"open", "lock", "5000", "unlock", "close"});
  ASSERT_EQ(WaitProbe(1), 0);
  EXPECT_EQ(ReadLines(out), (std::vector<std::string>{"open 0", "lock 0", "unlock 0", "close 0"}));
  EXPECT_EQ(keeper.CloseScanner(), 0u);
}

TEST_F(DriverLockTest, AnotherObjectsOpenDoesNotReleaseTheOldDriverEventALockHolds) {
  StartUnit();
  CScannerLLD holder(path_);
  ASSERT_EQ(holder.OpenScanner(), 0u);
  ASSERT_EQ(Lock(holder, 1000), 0u);
  ASSERT_TRUE(holder.HoldsOldDriverEvent());
  ObjectResult<Event> oldDriver = Event::Open(kOldDriverName);
  ASSERT_TRUE(oldDriver);

  CScannerLLD other(path_);
  other.m_ulCmdTimeout = 300;
  ASSERT_EQ(other.OpenScanner(), 0u);
  EXPECT_TRUE(holder.HoldsOldDriverEvent());
  EXPECT_EQ(oldDriver.handle.Wait(0), WAIT_TIMEOUT);
  // Nor does its lock attempt, nor its close.
  EXPECT_EQ(Lock(other, 300), lld::kInUse);
  EXPECT_EQ(other.CloseScanner(), 0u);
  EXPECT_EQ(oldDriver.handle.Wait(0), WAIT_TIMEOUT);
  EXPECT_TRUE(holder.HoldsOldDriverEvent());

  EXPECT_EQ(holder.UnlockScanner(), 0u);
  EXPECT_TRUE(EventFree(oldDriver.handle));
}

}  // namespace
}  // namespace rzd::lowdrv::test
