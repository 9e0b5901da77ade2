// The scanner HAL object against the fake driver library, in this process: lock and unlock,
// open and close, the worker thread, events, and the object's end.
#include "scanner_fixture.h"

#include "hal/process_state.h"

#include "lowdrv/core/api.h"
#include "platform/modules.h"

#include <array>
#include <fstream>

namespace rzd::scanhost::test {
namespace {

constexpr LONG kConnect = 14;
constexpr LONG kDisconnect = 15;
constexpr LONG kSetProcessId = 35;

// True when the process has the library at `path` mapped.
bool IsMapped(const std::string& fileName) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find(fileName) != std::string::npos) return true;
  }
  return false;
}

// The fake driver library and the real one, both loaded, for tests that compare their answers.
struct BothDrivers {
  std::unique_ptr<Module> fake = Module::Load(RZD_FAKE_DRIVER);
  std::unique_ptr<Module> real = Module::Load(RZD_REAL_DRIVER);
  // Export `name` of each, the fake's first; nulls when a library did not load.
  template <typename Function>
  std::array<Function, 2> Bind(const char* name) const {
    if (!fake || !real) return {};
    return {fake->Bind<Function>(name), real->Bind<Function>(name)};
  }
};

TEST_F(ScannerTest, LockAnswersBusyUntilTheClientNamedItselfAndASecondLockMakesNoDriverCall) {
  auto scanner = MakeScanner();
  ASSERT_TRUE(scanner->Driver().Bound());
  ASSERT_EQ(Code(*scanner, kConnect), S_OK);
  // The console has a session, and the object's owner session is still unknown.
  ASSERT_NE(ActiveConsoleSessionId(), kNoConsoleSession);
  LONG status = -1;
  EXPECT_EQ(Lock(*scanner, 4242, &status), kHalBusy);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(FakeCalls(kLockCode).empty());

  ASSERT_EQ(Code(*scanner, kSetProcessId, 4242), S_OK);
  EXPECT_EQ(scanner->OwnerSessionId(), CurrentSessionId());
  EXPECT_EQ(Lock(*scanner, 4242, &status), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(FakeCalls(kLockCode).size(), 1u);
  // A second lock only changes the owner.
  EXPECT_EQ(Lock(*scanner, 777), S_OK);
  EXPECT_EQ(scanner->OwnerProcessId(), 777u);
  EXPECT_EQ(FakeCalls(kLockCode).size(), 1u);

  LONG unlockStatus = -1;
  EXPECT_EQ(scanner->raw_UnlockScanner(&unlockStatus), S_OK);
  EXPECT_EQ(unlockStatus, 0);
  EXPECT_EQ(scanner->raw_UnlockScanner(&unlockStatus), S_OK);  // not locked: nothing to do
  EXPECT_EQ(FakeCalls(kUnlockCode).size(), 1u);
  EXPECT_EQ(scanner->raw_LockScanner(0, &status, 0), E_INVALIDARG);
  EXPECT_EQ(scanner->raw_LockScanner(1, nullptr, 0), E_INVALIDARG);
  EXPECT_EQ(scanner->raw_UnlockScanner(nullptr), E_INVALIDARG);
  EXPECT_EQ(Code(*scanner, kSetProcessId, 1, VT_I4), E_FAIL) << "only VT_UI4 names a process";
}

TEST_F(ScannerTest, LockAnswersBusyForACallerOutsideTheConsoleSessionAndWhileTheUnitIsInUse) {
  auto scanner = MakeScanner();
  ASSERT_EQ(Code(*scanner, kConnect), S_OK);
  ASSERT_EQ(Code(*scanner, kSetProcessId, 10), S_OK);
  // The console went to another session: this caller is no longer at the console.
  SetActiveConsoleSession(CurrentSessionId() + 1);
  EXPECT_EQ(Lock(*scanner, 10), kHalBusy);
  EXPECT_TRUE(FakeCalls(kLockCode).empty());
  SetActiveConsoleSession(CurrentSessionId());

  FakeFail(kLockCode, 0x8008, 1);  // another program holds the unit
  EXPECT_EQ(Lock(*scanner, 10), kHalBusy);
  FakeFail(kLockCode, 0x8001, 1);  // any other refusal
  EXPECT_EQ(Lock(*scanner, 10), E_FAIL);
  EXPECT_FALSE(scanner->IsLocked());
  EXPECT_EQ(Lock(*scanner, 10), S_OK);

  // With no session at the console at all, the unknown owner session matches it.
  auto other = MakeScanner();
  SetActiveConsoleSession(kNoConsoleSession);
  ASSERT_EQ(Code(*other, kConnect), S_OK);
  FakeFail(kLockCode, 0x8008, 1);
  EXPECT_EQ(Lock(*other, 11), kHalBusy) << "it reached the driver";
  EXPECT_EQ(FakeCalls(kLockCode).size(), 4u);
}

TEST_F(ScannerTest, EveryDriverCallGetsAnEmptyErrorSlot) {
  auto scanner = MakeScanner();
  ASSERT_EQ(Code(*scanner, kConnect), S_OK);
  ASSERT_EQ(Code(*scanner, kSetProcessId, 5), S_OK);
  FakeFail(kLockCode, 0x8008, 1);
  EXPECT_EQ(Lock(*scanner, 5), kHalBusy);
  EXPECT_EQ(Lock(*scanner, 5), S_OK);
  EXPECT_EQ(scanner->SessionStateChanged(0x4004), 0u);
  EXPECT_EQ(Code(*scanner, kDisconnect), S_OK);
  const std::vector<std::string> journal = FakeJournal();
  size_t calls = 0;
  for (const std::string& line : journal) {
    if (line.rfind("Control", 0) != 0) continue;
    ++calls;
    EXPECT_NE(line.find(" clean"), std::string::npos) << line;
  }
  EXPECT_EQ(calls, 6u);  // open, two locks, the event, unlock, close
}

// The fake driver answers a call that breaks its code's argument contract as the driver library
// does (both run the driver's own check): the same answer, and no error document without a unit.
TEST_F(ScannerTest, TheFakeDriverRefusesMissingArgumentsAsTheDriverLibraryDoes) {
  const BothDrivers drivers;
  const std::array<ControlFunction, 2> controls = drivers.Bind<ControlFunction>("Control");
  ASSERT_TRUE(controls[0] && controls[1]);
  int unknownHandle = 0;
  const struct {
    uint32_t code;
    void* handle;
    const char16_t* text;
    bool bstr;
    uint32_t outSize;  // 0: no output buffer
    BOOL answer;
  } kCases[] = {
      {0x20000003, nullptr, nullptr, true, 0, TRUE},                  // the device list
      {0x20000003, nullptr, nullptr, false, 0, FALSE},                // ... without its BSTR result
      {0x60000007, nullptr, nullptr, true, 0, FALSE},                 // a schema without its namespace
      {0x48000004, nullptr, u"\\?\\usb#none", false, 0, FALSE},   // an open without its output buffer
      {0x48000004, nullptr, nullptr, false, 8, FALSE},                // ... without its path
      {0xA000001D, &unknownHandle, nullptr, true, 0, FALSE},         // a unit code on an unknown handle
      {0xA000001D, nullptr, nullptr, true, 0, FALSE},                 // ... on none
      {0x8000000F, nullptr, nullptr, false, 0, FALSE},                // the hardware reset, always
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.code);
    for (ControlFunction control : controls) {
      BSTR result = nullptr;
      BSTR error = nullptr;
      void* output = nullptr;
      uint32_t size = c.outSize;
      const BOOL answer = control(c.handle, c.code, c.text, c.bstr ? &result : nullptr, nullptr, 0,
                                  c.outSize != 0 ? &output : nullptr, c.outSize != 0 ? &size : nullptr, &error);
      EXPECT_EQ(answer, c.answer) << (control == controls[0] ? "fake" : "real");
      EXPECT_EQ(error, nullptr) << "no unit took part";
      SysFreeString(result);
      SysFreeString(error);
    }
  }
}

// Read too: a call missing an argument writes nothing and fails in both libraries, the fake's
// even on a handle it opened.
TEST_F(ScannerTest, TheFakeDriverRefusesAReadMissingAnArgumentAsTheDriverLibraryDoes) {
  auto scanner = MakeScanner();
  ASSERT_EQ(Code(*scanner, kConnect), S_OK);
  void* const fakeHandle = scanner->DriverHandle();
  ASSERT_NE(fakeHandle, nullptr);
  const BothDrivers drivers;
  const std::array<ReadFunction, 2> reads = drivers.Bind<ReadFunction>("Read");
  ASSERT_TRUE(reads[0] && reads[1]);
  int unknownHandle = 0;

  enum Missing { kHandle, kBuffer, kSize, kZeroSize, kMeta, kBoundary, kOpenHandle };
  const struct {
    const char* name;
    Missing missing;
  } kCases[] = {
      {"no handle", kHandle},        {"no buffer", kBuffer},           {"no size", kSize},
      {"a size of 0", kZeroSize},     {"no metadata slot", kMeta},      {"no boundary", kBoundary},
      {"a handle no open gave", kOpenHandle},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    for (ReadFunction read : reads) {
      const bool isFake = read == reads[0];
      SCOPED_TRACE(isFake ? "fake" : "real");
      uint8_t buffer[16] = {};
      uint32_t size = c.missing == kZeroSize ? 0 : sizeof buffer;
      BSTR meta = nullptr;
      uint32_t boundary = 99;
      // The real library's handle is never one of its own: its argument check comes first.
      void* handle = c.missing == kHandle ? nullptr : (isFake && c.missing != kOpenHandle ? fakeHandle : &unknownHandle);
      const BOOL answer = read(handle, c.missing == kBuffer ? nullptr : buffer, c.missing == kSize ? nullptr : &size,
                               c.missing == kMeta ? nullptr : &meta, c.missing == kBoundary ? nullptr : &boundary);
      EXPECT_EQ(answer, FALSE);
      EXPECT_EQ(boundary, 99u);
      EXPECT_EQ(meta, nullptr);
      EXPECT_EQ(size, c.missing == kZeroSize ? 0u : sizeof buffer);
    }
  }
  // With every argument, the fake's open handle reads.
  uint8_t buffer[16] = {};
  uint32_t size = sizeof buffer;
  BSTR meta = nullptr;
  uint32_t boundary = 99;
  EXPECT_EQ(reads[0](fakeHandle, buffer, &size, &meta, &boundary), TRUE);
  EXPECT_EQ(boundary, 6u);
  SysFreeString(meta);
  EXPECT_EQ(Code(*scanner, kDisconnect), S_OK);
}

TEST_F(ScannerTest, ACloseTheDriverRefusesKeepsTheHandleForTheNextClose) {
  auto scanner = MakeScanner();
  ASSERT_EQ(Code(*scanner, kConnect), S_OK);
  void* handle = scanner->DriverHandle();
  ASSERT_NE(handle, nullptr);
  FakeFail(kCloseCode, 0x8008, 1);  // a read still runs on the handle
  EXPECT_EQ(Code(*scanner, kDisconnect), E_FAIL);
  EXPECT_TRUE(scanner->IsOpened());
  EXPECT_EQ(scanner->DriverHandle(), handle);
  EXPECT_EQ(Code(*scanner, kDisconnect), S_OK);
  EXPECT_FALSE(scanner->IsOpened());
  EXPECT_EQ(scanner->DriverHandle(), nullptr);
  const std::vector<std::string> closes = FakeCalls(kCloseCode);
  ASSERT_EQ(closes.size(), 2u);
  EXPECT_EQ(closes[0], closes[1]) << "the same handle both times";
  // A second connect of an open object keeps its one handle.
  ASSERT_EQ(Code(*scanner, kConnect), S_OK);
  ASSERT_EQ(Code(*scanner, kConnect), S_OK);
  EXPECT_EQ(FakeCalls(kOpenCode).size(), 2u);
}

TEST_F(ScannerTest, TheEndUnlocksAndClosesOnceAndMayBeAskedTwice) {
  auto scanner = MakeScanner();
  ASSERT_EQ(Code(*scanner, kConnect), S_OK);
  ASSERT_NO_FATAL_FAILURE(LockAs(*scanner, 9));
  hal_process::BeginScan(scanner.get(), 9);
  scanner->Destroy();
  EXPECT_FALSE(hal_process::ScanInProgress()) << "the record named this owner";
  scanner->Destroy();
  EXPECT_FALSE(scanner->Driver().Bound());
  EXPECT_EQ(Lock(*scanner, 9), E_FAIL);
  scanner.reset();
  EXPECT_EQ(FakeCalls(kUnlockCode).size(), 1u);
  EXPECT_EQ(FakeCalls(kCloseCode).size(), 1u);
}

// A connect while another object's read is in progress: busy at once while that object's owner
// lives; once its owner is gone (reaped), the connect waits for the ending object to unlock and
// close, then opens. An object that read clears the record when it ends, whatever owner it
// named last.
TEST_F(ScannerTest, AConnectWaitsForTheReadOfAGoneClientToEndAndIsBusyForALiveOne) {
  auto reading = MakeScanner();
  ASSERT_EQ(Code(*reading, kConnect), S_OK);
  ASSERT_NO_FATAL_FAILURE(LockAs(*reading, 9));
  hal_process::BeginScan(reading.get(), 9);
  auto next = MakeScanner();
  EXPECT_EQ(Code(*next, kConnect), kHalBusy) << "its owner lives";
  EXPECT_EQ(FakeCalls(kOpenCode).size(), 1u);

  hal_process::ScanOwnerGone(reading.get());
  std::thread ending([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the read notices its reader gone
    reading->Destroy();
  });
  EXPECT_EQ(Code(*next, kConnect), S_OK);
  ending.join();
  const std::vector<std::string> calls = FakeCallSequence();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[2].substr(0, 10), "0x80000002") << "the gone client's unlock first";
  EXPECT_EQ(calls[3].substr(0, 10), "0x80000005") << "then its close";
  EXPECT_EQ(calls[4].substr(0, 10), "0x48000004") << "then the new open";

  // The owner named last differs from the one the read recorded: the object's end clears it.
  ASSERT_NO_FATAL_FAILURE(LockAs(*next, 21));
  hal_process::BeginScan(next.get(), 21);
  ASSERT_EQ(Lock(*next, 22), S_OK);  // the owner id changes on a second lock
  next->Destroy();
  EXPECT_FALSE(hal_process::ScanInProgress());
}

// A connect waits for the object of a gone client only while a read is in progress in it: with
// its read over (the object still alive, say a call still running in it) the connect answers at
// once.
TEST_F(ScannerTest, AConnectAnswersAtOnceWhenTheGoneClientsReadIsOver) {
  auto reading = MakeScanner();
  ASSERT_EQ(Code(*reading, kConnect), S_OK);
  ASSERT_NO_FATAL_FAILURE(LockAs(*reading, 9));
  hal_process::BeginScan(reading.get(), 9);
  LONG status = 0;
  ASSERT_EQ(reading->raw_UnlockScanner(&status), S_OK);  // the read is over
  hal_process::ScanOwnerGone(reading.get());
  auto next = MakeScanner();
  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(Code(*next, kConnect), S_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(2)) << "no read was in progress";
}

TEST_F(ScannerTest, ALibraryWithoutReadLeavesAnObjectWhoseDriverMethodsFail) {
  ASSERT_FALSE(IsMapped("libscanhost_fake_lowdrv_noread"));
  auto scanner = MakeScanner(false, RZD_FAKE_DRIVER_WITHOUT_READ);
  EXPECT_FALSE(scanner->Driver().Bound());
  EXPECT_FALSE(IsMapped("libscanhost_fake_lowdrv_noread")) << "the library is not left loaded";
  EXPECT_EQ(Lock(*scanner, 1), E_FAIL);
  LONG status = 0;
  EXPECT_EQ(scanner->raw_UnlockScanner(&status), E_FAIL);
  EXPECT_EQ(Code(*scanner, kConnect), E_FAIL);
  EXPECT_FALSE(scanner->OpenScanner());
  // A library that is not there at all.
  auto missing = MakeScanner(false, "libno_such_driver.so");
  EXPECT_FALSE(missing->Driver().Bound());
  EXPECT_TRUE(FakeJournal().empty());
}

TEST_F(ScannerTest, OpenAgainstAnAbsentUnitTriesTenTimes) {
  auto scanner = MakeScanner(true);
  FakeFail(kOpenCode, 0x8000);
  EXPECT_FALSE(scanner->OpenScanner());
  EXPECT_EQ(FakeCalls(kOpenCode).size(), 10u);
}

// A service-owned object whose thread ends at once instead of running.
class ShortLivedThreadScanner final : public CRZDHALScanner {
 public:
  using CRZDHALScanner::CRZDHALScanner;
  ~ShortLivedThreadScanner() override { Destroy(); }
  uint32_t ThreadBody() override {
    ClearRunning();
    SignalEnded();
    return 0;
  }
};

TEST_F(ScannerTest, AThreadThatDoesNotStayClosesTheUnitAndUnloadsTheDriverWithItsEntryPoints) {
  auto scanner = std::make_shared<ShortLivedThreadScanner>(&parent_, UnitPath(), FromUtf8(RZD_FAKE_DRIVER), u"", true);
  scanner->StartThread();
  EXPECT_FALSE(scanner->IsThreadRunning());
  EXPECT_FALSE(scanner->IsOpened());
  EXPECT_FALSE(scanner->Driver().Bound()) << "Control and Read went with the library";
  std::vector<std::string> expected = {"0x48000004 -"};
  const std::vector<std::string> lcd = NineLcdUploads();  // the open's LCD refresh
  expected.insert(expected.end(), lcd.begin(), lcd.end());
  expected.insert(expected.end(), {"0x94000018 0x8024", "0x80000005 -"});
  EXPECT_EQ(FakeCallSequence(), expected);
  // The next arrival finds no driver: nothing is called, nothing breaks.
  EXPECT_EQ(scanner->SessionStateChanged(0x8000), 0u);
  EXPECT_EQ(Lock(*scanner, 3), E_FAIL);
  EXPECT_EQ(FakeCallSequence().size(), expected.size());
}

TEST_F(ScannerTest, TheServiceObjectOpensOnArrivalAndResumeAndClosesOnRemovalAndSuspend) {
  auto scanner = MakeScanner(true);
  EXPECT_EQ(scanner->SessionStateChanged(0x8000), 0u);
  EXPECT_TRUE(scanner->IsThreadRunning());
  EXPECT_TRUE(scanner->IsOpened());
  EXPECT_EQ(parent_.Calls(), std::vector<std::string>{"reap"}) << "the thread reaps once at its start";
  EXPECT_EQ(scanner->SessionStateChanged(0x8000), 0u);  // already running: nothing more
  EXPECT_EQ(scanner->SessionStateChanged(0x4004), 0u);
  EXPECT_FALSE(scanner->IsThreadRunning());
  EXPECT_FALSE(scanner->IsOpened());
  EXPECT_EQ(scanner->SessionStateChanged(0x4006), 0u);
  EXPECT_TRUE(scanner->IsThreadRunning());
  EXPECT_EQ(scanner->SessionStateChanged(0x8002), 0u);  // a failed query-remove changes nothing
  EXPECT_TRUE(scanner->IsThreadRunning());
  EXPECT_EQ(scanner->SessionStateChanged(0x8004), 0u);
  EXPECT_EQ(scanner->SessionStateChanged(0x4012), 0u);
  EXPECT_EQ(scanner->SessionStateChanged(0), 0u);
  EXPECT_FALSE(scanner->IsThreadRunning());
  // Each open redraws the LCD screens (no user here: the nine default screens) before anything else.
  std::vector<std::string> expected;
  auto add = [&](std::vector<std::string> calls) { expected.insert(expected.end(), calls.begin(), calls.end()); };
  add({"0x48000004 -"});
  add(NineLcdUploads());
  add({"0x94000018 0x8024", "0x80000005 -"});  // arrival, suspend
  add({"0x48000004 -"});
  add(NineLcdUploads());
  add({"0x94000018 0x4112"});                  // resume
  add({"0x94000018 0x8024", "0x80000005 -"});  // removal
  add({"0x48000004 -"});
  add(NineLcdUploads());
  add({"0x94000018 0x4112"});                  // automatic resume
  add({"0x94000018 0x8024", "0x80000005 -"});  // service stop
  EXPECT_EQ(FakeCallSequenceWithoutPolls(), expected);
}

TEST_F(ScannerTest, AClientObjectPassesEventsToItsHandle) {
  auto scanner = MakeScanner();
  EXPECT_EQ(scanner->SessionStateChanged(0x8004), 0u) << "no handle: nothing to tell";
  ASSERT_EQ(Code(*scanner, kConnect), S_OK);
  EXPECT_EQ(scanner->SessionStateChanged(0x8004), 0u);
  FakeFail(kNotifyCode, 0x8002, 1);
  EXPECT_EQ(scanner->SessionStateChanged(5), 12u);
  EXPECT_EQ(FakeCallSequence(), (std::vector<std::string>{"0x48000004 -", "0x94000018 0x8004", "0x94000018 0x5"}));
  EXPECT_FALSE(scanner->IsThreadRunning()) << "a client object runs no thread";
}

}  // namespace
}  // namespace rzd::scanhost::test
