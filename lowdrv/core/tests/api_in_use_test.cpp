// The in-use mark of the open-device list: one call at a time per unit, the forced driver
// notification beside a running call, and a close that never frees an object a call still uses.
#include "api_fixture.h"

#include <thread>
#include <utility>
#include <vector>

namespace rzd::lowdrv::test {
namespace {

class InUseTest : public ApiTest {
 protected:
  // Runs a Control call on another thread; its BOOL and error document are kept.
  struct Background {
    std::thread thread;
    BOOL ok = FALSE;
    std::u16string document;
    void Join() {
      if (thread.joinable()) thread.join();
    }
    ~Background() { Join(); }
  };
  void Start(Background& call, void* handle, uint32_t code) {
    call.thread = std::thread([&call, handle, code] {
      uint32_t word = 1;
      uint32_t value = 0;
      uint32_t size = sizeof value;
      BSTR error = nullptr;
      call.ok = Control(handle, code, u"", nullptr, &word, sizeof word, &value, &size, &error);
      call.document = std::u16string(BstrView(error));
      SysFreeString(error);
    });
  }

  // The test driver's Control holds each call whose code is listed at that code's gate.
  void HoldCalls(std::vector<std::pair<uint32_t, Gate*>> gates) {
    state_->onControl = [gates = std::move(gates)](uint32_t code, void*, uint32_t) {
      for (const auto& [held, gate] : gates) {
        if (code == held) gate->Hold();
      }
      return LLDError{0};
    };
  }
  // Starts a Control call and tells whether it arrived at its gate.
  bool StartHeld(Background& call, void* handle, uint32_t code, const Gate& gate) {
    Start(call, handle, code);
    return gate.WaitEntered();
  }

  LLDError Status(void* handle, BSTR* error) {
    uint32_t value = 0;
    uint32_t size = sizeof value;
    return api::ControlCall(handle, cc::kStatus, nullptr, nullptr, nullptr, 0, &value, &size, error);
  }
  LLDError Notify(void* handle, BSTR* error) {
    uint32_t event = 0x8000;
    return api::ControlCall(handle, cc::kSessionStateChanged, nullptr, nullptr, &event, sizeof event, nullptr, nullptr,
                            error);
  }
};

TEST_F(InUseTest, SecondCallAndReadOnABusyHandleAreRefusedWithoutDocument) {
  void* handle = Open();
  Gate gate;
  HoldCalls({{cc::kStatus, &gate}});
  Background running;
  ASSERT_TRUE(StartHeld(running, handle, cc::kStatus, gate));
  EXPECT_TRUE(api::DeviceTable::Instance().IsMarkedInUse(handle));

  BSTR settings = nullptr;
  BSTR error = nullptr;
  EXPECT_EQ(api::ControlCall(handle, cc::kCurrentSettings, nullptr, &settings, nullptr, 0, nullptr, nullptr, &error),
            lld::kInUse);
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(settings, nullptr);

  uint8_t buffer[8] = {};
  uint32_t size = sizeof buffer;
  uint32_t boundary = 0;
  BSTR meta = nullptr;
  EXPECT_FALSE(Read(handle, buffer, &size, &meta, &boundary));
  EXPECT_EQ(api::ReadCall(handle, buffer, &size, &meta, &boundary), lld::kInUse);
  EXPECT_EQ(meta, nullptr);  // no driver object was locked, so no document
  EXPECT_EQ(state_->reads.load(), 0);

  gate.Release();
  running.Join();
  EXPECT_TRUE(running.ok);
  EXPECT_EQ(ErrorCodeOf(running.document), 0);
  // Idle again: the next call passes.
  EXPECT_TRUE(Read(handle, buffer, &size, &meta, &boundary));
  EXPECT_EQ(state_->maxInside.load(), 1);
}

TEST_F(InUseTest, ForcedNotificationRunsBesideARunningCallAndKeepsItsMark) {
  void* handle = Open();
  Gate statusGate;
  Gate notifyGate;
  HoldCalls({{cc::kStatus, &statusGate}, {cc::kSessionStateChanged, &notifyGate}});
  Background status;
  ASSERT_TRUE(StartHeld(status, handle, cc::kStatus, statusGate));
  Background notify;
  ASSERT_TRUE(StartHeld(notify, handle, cc::kSessionStateChanged, notifyGate));
  EXPECT_EQ(state_->maxInside.load(), 2);
  EXPECT_EQ(api::DeviceTable::Instance().CallsInFlight(handle), 2u);

  // The notification ends first: the mark the running call set stays, so the unit is still busy.
  notifyGate.Release();
  notify.Join();
  EXPECT_TRUE(notify.ok);
  EXPECT_EQ(ErrorCodeOf(notify.document), 0);
  EXPECT_TRUE(api::DeviceTable::Instance().IsMarkedInUse(handle));
  BSTR error = nullptr;
  EXPECT_EQ(Status(handle, &error), lld::kInUse);
  EXPECT_EQ(error, nullptr);

  statusGate.Release();
  status.Join();
  EXPECT_TRUE(status.ok);
  EXPECT_FALSE(api::DeviceTable::Instance().IsMarkedInUse(handle));
  EXPECT_EQ(Status(handle, &error), 0u);
  SysFreeString(error);
}

TEST_F(InUseTest, ForcedNotificationOnAnIdleUnitMarksItForItsLength) {
  void* handle = Open();
  Gate gate;
  HoldCalls({{cc::kSessionStateChanged, &gate}});
  Background notify;
  ASSERT_TRUE(StartHeld(notify, handle, cc::kSessionStateChanged, gate));
  BSTR error = nullptr;
  EXPECT_EQ(Status(handle, &error), lld::kInUse);
  // A close is a call like others: refused while the unit is marked, and nothing is destroyed.
  EXPECT_EQ(Close(handle), lld::kInUse);
  EXPECT_EQ(state_->destroyed.load(), 0);
  gate.Release();
  notify.Join();
  EXPECT_FALSE(api::DeviceTable::Instance().IsMarkedInUse(handle));
  EXPECT_EQ(Close(handle), 0u);
  EXPECT_EQ(state_->destroyed.load(), 1);
}

// The forced call outlives the call whose mark it passed: the mark is clear, but a close must
// still not destroy the object the notification is using.
TEST_F(InUseTest, CloseIsRefusedWhileAForcedCallStillRuns) {
  void* handle = Open();
  Gate statusGate;
  Gate notifyGate;
  HoldCalls({{cc::kStatus, &statusGate}, {cc::kSessionStateChanged, &notifyGate}});
  Background status;
  ASSERT_TRUE(StartHeld(status, handle, cc::kStatus, statusGate));
  Background notify;
  ASSERT_TRUE(StartHeld(notify, handle, cc::kSessionStateChanged, notifyGate));
  statusGate.Release();
  status.Join();
  ASSERT_FALSE(api::DeviceTable::Instance().IsMarkedInUse(handle));
  ASSERT_EQ(api::DeviceTable::Instance().CallsInFlight(handle), 1u);

  BSTR error = nullptr;
  EXPECT_EQ(api::ControlCall(handle, cc::kClose, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &error), lld::kInUse);
  // The object was at hand, so the refusal carries its document.
  EXPECT_EQ(ErrorCodeOf(BstrView(error)), 0x8008);
  SysFreeString(error);
  EXPECT_EQ(state_->closes.load(), 0);
  EXPECT_EQ(state_->destroyed.load(), 0);
  EXPECT_EQ(api::DeviceTable::Instance().Count(), 1u);

  notifyGate.Release();  // the notification goes on using the object
  notify.Join();
  EXPECT_TRUE(notify.ok);
  EXPECT_EQ(Close(handle), 0u);
  EXPECT_EQ(state_->closes.load(), 1);
  EXPECT_EQ(state_->destroyed.load(), 1);
}

TEST_F(InUseTest, ClosedHandleIsUnknownAndCloseWritesNoDocument) {
  void* handle = Open();
  BSTR error = nullptr;
  EXPECT_TRUE(Control(handle, cc::kClose, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(state_->closes.load(), 1);
  EXPECT_EQ(state_->destroyed.load(), 1);
  EXPECT_EQ(Status(handle, &error), lld::kInvalidDeviceHandle);
  EXPECT_EQ(Close(handle), lld::kInvalidDeviceHandle);
  EXPECT_EQ(error, nullptr);
}

TEST_F(InUseTest, UnitsDoNotWaitForEachOther) {
  void* first = Open(UnitPath(u"qm48tz000001"));
  void* second = Open(UnitPath(u"qm48tz000002"));
  ASSERT_NE(first, second);
  Gate gate;
  HoldCalls({{cc::kStatus, &gate}});
  Background held;
  ASSERT_TRUE(StartHeld(held, first, cc::kStatus, gate));
  // The other unit answers, and closes, while the first one's call is held.
  BSTR settings = nullptr;
  BSTR error = nullptr;
  EXPECT_EQ(api::ControlCall(second, cc::kCurrentSettings, nullptr, &settings, nullptr, 0, nullptr, nullptr, &error),
            0u);
  EXPECT_EQ(ErrorCodeOf(BstrView(error)), 0);
  SysFreeString(error);
  EXPECT_EQ(Close(second), 0u);
  gate.Release();
  held.Join();
  EXPECT_TRUE(held.ok);
}

// Many threads on one handle: calls, notifications and closes race; every call either runs on a
// live object or is refused, and the object is destroyed exactly once, after its last call.
TEST_F(InUseTest, RacingCallsNotificationsAndCloseNeverUseAFreedObject) {
  void* handle = Open();
  constexpr int kRounds = 300;
  std::atomic<bool> closed{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds && !closed; ++i) {
        BSTR error = nullptr;
        const LLDError r = (t == 0) ? Status(handle, &error) : Notify(handle, &error);
        EXPECT_TRUE(r == 0 || r == lld::kInUse || r == lld::kInvalidDeviceHandle) << r;
        SysFreeString(error);
      }
    });
  }
  threads.emplace_back([&] {
    for (int i = 0; i < kRounds * 10; ++i) {
      if (Close(handle) == 0) {
        closed = true;
        break;
      }
      std::this_thread::yield();
    }
  });
  for (std::thread& thread : threads) thread.join();
  if (!closed) {
    EXPECT_EQ(Close(handle), 0u);
  }
  EXPECT_EQ(state_->destroyed.load(), 1);
  EXPECT_EQ(state_->closes.load(), 1);
  EXPECT_EQ(state_->inside.load(), 0);
  EXPECT_FALSE(state_->usedAfterDestroy);
}

}  // namespace
}  // namespace rzd::lowdrv::test
