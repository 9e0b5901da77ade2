// The poll cycle against a scripted driver: what it asks the driver in which order, when it
// waits how long, what it discards, and what the thread's start does.
#include "scanhost/testing/application_objects.h"
#include "scanhost/buttons/button_thread.h"
#include "scanhost/lcd/lcd_profiles.h"
#include "scanhost/testing/desktop_profiles.h"
#include "testsupport/temp_root.h"

#include "lowdrv/core/driver_codes.h"
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>

namespace rzd::scanhost::buttons {
namespace {

using test::ApplicationObjects;
namespace cc = lowdrv::cc;

constexpr char16_t kFriendly[] = u"Quarx M48tz Scanner";
constexpr char16_t kClassKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000";

std::u16string Press(int id, const char16_t* kind, int function) {
  return FormatW(u"<Buttons><Button ID=\"%d\"><Event Function=\"%d\">%s</Event></Button></Buttons>", id, function, kind);
}

class ScriptedDriver : public ScannerDriver {
 public:
  struct Call {
    uint32_t code;
    std::vector<uint8_t> input;
  };
  bool handle = true;
  std::deque<bool> locks;                                // answers of the next locks (then: granted)
  std::deque<std::optional<std::u16string>> polls;       // next Buttons documents (nullopt: refused)
  std::optional<std::u16string> supported;
  std::vector<Call> calls;

  bool HasHandle() override { return handle; }
  bool Control(uint32_t code, const char16_t*, std::u16string* result, const void* in, uint32_t inSize, void*,
               uint32_t*) override {
    const auto* bytes = static_cast<const uint8_t*>(in);
    calls.push_back({code, std::vector<uint8_t>(bytes, bytes + (bytes ? inSize : 0))});
    switch (code) {
      case cc::kLock: {
        if (locks.empty()) return true;
        const bool granted = locks.front();
        locks.pop_front();
        return granted;
      }
      case cc::kPollButtons: {
        if (polls.empty()) {
          *result = u"<Buttons>\r\n</Buttons>";
          return true;
        }
        const std::optional<std::u16string> next = polls.front();
        polls.pop_front();
        if (!next) return false;
        *result = *next;
        return true;
      }
      case cc::kSupportedSettings:
        if (!supported) return false;
        *result = *supported;
        return true;
      default:
        return true;
    }
  }
  std::vector<uint32_t> TakeCodes() {
    std::vector<uint32_t> codes;
    for (const Call& c : calls) codes.push_back(c.code);
    calls.clear();
    return codes;
  }
};

class ScriptedHost : public ButtonThreadHost {
 public:
  ScriptedDriver driver;
  bool opened = true;
  bool polling = true;
  int reaps = 0;
  std::vector<uint32_t> pauses;  // the waits on the stop event inside a poll

  ScannerDriver& Driver() override { return driver; }
  bool UnitOpened() override { return opened; }
  bool PollingEnabled() override { return polling; }
  void ReapDeadClients() override { ++reaps; }
  void ClearRunning() override {}
  void SignalStarted() override {}
  void SignalEnded() override {}
  bool WaitForStop(uint32_t waitMs) override {
    pauses.push_back(waitMs);
    return true;
  }
  std::u16string FriendlyName() override { return kFriendly; }
  std::u16string DeviceClassKey() override { return kClassKey; }
};

class ButtonPollerTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override { lcd::ResetLcdStateForTests(); }
  void TearDown() override { lcd::ResetLcdStateForTests(); }
  uint32_t Poll() { return poller_.Poll(); }
  ScriptedHost host_;
  ButtonPoller poller_{host_};
};

TEST_F(ButtonPollerTest, ALockAPollAndAnUnlockEachTimeWithTheLockModeAfterTheFirst) {
  poller_.Start();
  ASSERT_EQ(Poll(), kPollWaitMs);
  ASSERT_EQ(Poll(), kPollWaitMs);
  const std::vector<ScriptedDriver::Call> calls = host_.driver.calls;
  ASSERT_EQ(calls.size(), 6u);
  const uint32_t codes[] = {cc::kLock, cc::kPollButtons, cc::kUnlock, cc::kLock, cc::kPollButtons, cc::kUnlock};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(calls[i].code, codes[i]) << i;
  // The lock's input: a 500 ms time-out, then the lock mode, 0 for the first lock.
  const auto input = [](uint32_t timeout, uint32_t mode) {
    std::vector<uint8_t> bytes(8);
    std::memcpy(bytes.data(), &timeout, 4);
    std::memcpy(bytes.data() + 4, &mode, 4);
    return bytes;
  };
  EXPECT_EQ(calls[0].input, input(500, 0));
  EXPECT_EQ(calls[3].input, input(500, 1));
  EXPECT_EQ(LockMode(), 1u);
}

TEST_F(ButtonPollerTest, WhereThePollStopsShort) {
  poller_.Start();
  Poll();
  host_.driver.TakeCodes();
  // No handle: a short pause, and the next lock is a first lock again.
  host_.driver.handle = false;
  EXPECT_EQ(Poll(), kPollWaitMs);
  EXPECT_EQ(host_.pauses, std::vector<uint32_t>{100});
  EXPECT_EQ(LockMode(), 0u);
  EXPECT_TRUE(host_.driver.TakeCodes().empty());
  host_.driver.handle = true;
  // Not opened: nothing asked.
  host_.opened = false;
  EXPECT_EQ(Poll(), kPollWaitMs);
  EXPECT_TRUE(host_.driver.TakeCodes().empty());
  host_.opened = true;
  // A refused lock reaps dead clients.
  const int reaps = host_.reaps;
  host_.driver.locks = {false};
  EXPECT_EQ(Poll(), kPollWaitMs);
  EXPECT_EQ(host_.driver.TakeCodes(), std::vector<uint32_t>{cc::kLock});
  EXPECT_EQ(host_.reaps, reaps + 1);
  // A refused poll or a document that says nothing counts as no press, and still unlocks.
  ApplicationObjects app(kFriendly);
  host_.driver.polls = {std::nullopt, u"<Buttons><Button ID='9'><Event>Short</Event></Button></Buttons>"};
  EXPECT_EQ(Poll(), kPollWaitMs);
  EXPECT_EQ(Poll(), kPollWaitMs);
  EXPECT_EQ(host_.driver.TakeCodes(), (std::vector<uint32_t>{cc::kLock, cc::kPollButtons, cc::kUnlock, cc::kLock,
                                                             cc::kPollButtons, cc::kUnlock}));
  EXPECT_EQ(app.Count(), 4);
}

TEST_F(ButtonPollerTest, APressAfterAPauseForAClientIsDiscarded) {
  ApplicationObjects app(kFriendly);
  poller_.Start();
  host_.polling = false;  // a client of the console session holds the unit
  EXPECT_EQ(Poll(), kPollWaitMs);
  EXPECT_TRUE(StalePress());
  EXPECT_TRUE(host_.driver.TakeCodes().empty());
  host_.polling = true;
  host_.driver.polls = {Press(2, u"Short", 3), Press(2, u"Short", 3)};
  EXPECT_EQ(Poll(), kPollWaitMs) << "the first press after the pause";
  EXPECT_FALSE(StalePress());
  EXPECT_FALSE(ApplicationObjects::Signalled(app.simplex));
  EXPECT_EQ(app.Count(), 4);
  EXPECT_EQ(Poll(), kWaitAfterPressMs);
  EXPECT_TRUE(ApplicationObjects::Signalled(app.simplex));
  EXPECT_EQ(app.Count(), 3);
}

TEST_F(ButtonPollerTest, DisableButtonsIsReadAtTheStart) {
  ApplicationObjects app(kFriendly);
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"Software\\Corvanite\\M48tz", &key), ERROR_SUCCESS);
  key.SetDword(u"DisableButtons", 0x10000);
  poller_.Start();
  EXPECT_EQ(poller_.DisableButtons(), 0x10000u);
  host_.driver.polls = {Press(2, u"Long", 2), Press(3, u"Long", 2), Press(2, u"Short", 2)};
  EXPECT_EQ(Poll(), kPollWaitMs) << "a long press of the simplex button is switched off";
  EXPECT_FALSE(ApplicationObjects::Signalled(app.longPress));
  EXPECT_EQ(Poll(), kWaitAfterPressMs);
  EXPECT_TRUE(ApplicationObjects::Signalled(app.duplex));
  EXPECT_TRUE(ApplicationObjects::Signalled(app.longPress));
  EXPECT_EQ(Poll(), kWaitAfterPressMs);
  EXPECT_TRUE(ApplicationObjects::Signalled(app.simplex));
  // Both buttons off: nothing at all.
  key.SetDword(u"DisableButtons", 0x3);
  poller_.Start();
  host_.driver.polls = {Press(2, u"Short", 1), Press(3, u"Long", 1)};
  EXPECT_EQ(Poll(), kPollWaitMs);
  EXPECT_EQ(Poll(), kPollWaitMs);
  EXPECT_FALSE(ApplicationObjects::Signalled(app.simplex));
  EXPECT_FALSE(ApplicationObjects::Signalled(app.duplex));
  EXPECT_FALSE(ApplicationObjects::Signalled(app.longPress));
  EXPECT_EQ(app.Count(), 2) << "as the last accepted press left it";
}

TEST_F(ButtonPollerTest, TheStartWritesDfdSkipMakesTheUserSettingsEventOnceAndReaps) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, kClassKey, &key), ERROR_SUCCESS);
  struct Case {
    std::optional<std::u16string> supported;
    std::optional<uint32_t> stored;
    std::optional<uint32_t> after;
  } cases[] = {
      {u"<Scanner><Buttons xmlns=''><List><Item ID=\"Button7\"/></List></Buttons></Scanner>", std::nullopt, 1},
      {u"<Scanner><Buttons><List><Item ID=\"Button2\"/></List></Buttons></Scanner>", 1, 0},
      {u"<Scanner><Buttons><List><Item ID=\"Button7\"/></List></Buttons></Scanner>", 1, 1},
      {std::nullopt, 5, 5},  // the driver does not answer: the value stays
      {std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    key.DeleteValue(kDfdSkipValue);
    if (c.stored) key.SetDword(kDfdSkipValue, *c.stored);
    host_.driver.supported = c.supported;
    poller_.Start();
    uint32_t value = 0;
    const bool present = key.GetDword(kDfdSkipValue, &value) == ERROR_SUCCESS;
    EXPECT_EQ(present ? std::optional<uint32_t>(value) : std::nullopt, c.after);
  }
  EXPECT_EQ(host_.reaps, 5);
  // One user-settings event for the object, whatever the number of starts; never signalled.
  const Event first = poller_.UserSettingsEvent();
  ASSERT_TRUE(first);
  poller_.Start();
  EXPECT_TRUE(poller_.UserSettingsEvent().SameObject(first));
  ObjectResult<Event> byName = Event::Open(UserSettingsEventName());
  ASSERT_TRUE(byName);
  EXPECT_EQ(byName.handle.Wait(0), static_cast<uint32_t>(WAIT_TIMEOUT));
}

TEST_F(ButtonPollerTest, EachLockedPollRefreshesTheScreensOnceTheLcdRefreshRan) {
  test::SetConsoleUser(test::kTestUserSid);
  test::WriteEventProfile(kFriendly, {u"F1", u"Invoices", 0x400, std::nullopt, std::nullopt});
  poller_.Start();
  Poll();
  EXPECT_EQ(host_.driver.TakeCodes(), (std::vector<uint32_t>{cc::kLock, cc::kPollButtons, cc::kUnlock}))
      << "before the LCD-refresh operation the polls draw nothing";
  lcd::RefreshLcdOperation(host_.driver, kFriendly);
  EXPECT_EQ(host_.driver.TakeCodes(), std::vector<uint32_t>{cc::kWriteLcdScreen});
  Poll();
  EXPECT_EQ(host_.driver.TakeCodes(), (std::vector<uint32_t>{cc::kLock, cc::kPollButtons, cc::kUnlock}))
      << "nothing changed, nothing drawn";
  ObjectResult<Event> update = Event::Create(lcd::ProfilesUpdateEventName(kFriendly), false, true);
  ASSERT_TRUE(update);
  Poll();
  EXPECT_EQ(host_.driver.TakeCodes(),
            (std::vector<uint32_t>{cc::kLock, cc::kWriteLcdScreen, cc::kPollButtons, cc::kUnlock}))
      << "the redraw runs under the poll's lock";
}

}  // namespace
}  // namespace rzd::scanhost::buttons
