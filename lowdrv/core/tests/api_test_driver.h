// A driver object for the entry-point tests: it records what the entry points ask of it and lets
// a test decide its answers, hold a call inside it, and see whether it was used after it was
// destroyed. Placed in the open-device list through the real open code (api::SetDriverFactory).
#pragma once

#include "lowdrv/core/driver_base.h"
#include "lowdrv/core/driver_object.h"
#include "platform/kernel.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace rzd::lowdrv::test {

// Holds a call until the test releases it.
class Gate {
 public:
  // Inside the held call: tells the test it arrived and waits for the release.
  void Hold() {
    entered_.Set();
    released_.Wait(kWaitMs);
  }
  bool WaitEntered() const { return entered_.Wait(kWaitMs) == WAIT_OBJECT_0; }
  void Release() const { released_.Set(); }

  static constexpr uint32_t kWaitMs = 60000;

 private:
  Event entered_ = Event::Unnamed(true, false);
  Event released_ = Event::Unnamed(true, false);
};

// What every test driver object of one test shares.
struct TestDriverState {
  std::atomic<int> made{0};
  std::atomic<int> destroyed{0};
  std::atomic<int> opens{0};
  std::atomic<int> closes{0};
  std::atomic<int> controls{0};
  std::atomic<int> reads{0};
  std::atomic<int> inside{0};     // calls running in the objects now
  std::atomic<int> maxInside{0};  // most calls ever running at once
  std::atomic<bool> usedAfterDestroy{false};

  // Set before the objects are used.
  LLDError openResult = 0;
  std::u16string otherText = u"Unknown Error Code";
  // The answer of DoControlCode (default 0); may hold the call.
  std::function<LLDError(uint32_t code, void* in, uint32_t inSize)> onControl;
  // The answer of Read (default: one byte 0x5A, boundary 6, 0).
  std::function<LLDError(uint8_t* buffer, uint32_t* size, BSTR* meta, uint32_t* boundary)> onRead;

  std::mutex lock;
  std::vector<std::u16string> paths;  // of the objects made, in order
  std::vector<uint32_t> codes;        // of DoControlCode, in order

  std::vector<uint32_t> Codes() {
    std::lock_guard guard(lock);
    return codes;
  }
};

class TestDriver final : public IDriverObject {
 public:
  TestDriver(std::shared_ptr<TestDriverState> state, const std::u16string& path) : state_(std::move(state)) {
    ++state_->made;
    std::lock_guard guard(state_->lock);
    state_->paths.push_back(path);
  }
  ~TestDriver() override {
    Check();
    magic_ = 0;
    ++state_->destroyed;
  }

  LLDError DoControlCode(uint32_t code, const char16_t*, BSTR*, void* in, uint32_t inSize, void*,
                         uint32_t*) override {
    Inside inside(*this);
    ++state_->controls;
    {
      std::lock_guard guard(state_->lock);
      state_->codes.push_back(code);
    }
    const LLDError result = state_->onControl ? state_->onControl(code, in, inSize) : 0;
    Check();
    return result;
  }

  LLDError Read(uint8_t* buffer, uint32_t* size, BSTR* meta, uint32_t* boundary) override {
    Inside inside(*this);
    ++state_->reads;
    if (state_->onRead) return state_->onRead(buffer, size, meta, boundary);
    buffer[0] = 0x5A;
    *size = 1;
    *boundary = 6;
    return 0;
  }

  BSTR GetLastError(LLDError error) override {
    Check();
    const char16_t* own = DriverResultText(error);
    const std::u16string document = ResultDocument(error, own ? std::u16string(own) : GetLastErrorString(error));
    return AllocBstr(document);
  }
  std::u16string GetLastErrorString(LLDError) override { return state_->otherText; }

  LLDError OpenScanner() override {
    Check();
    ++state_->opens;
    return state_->openResult;
  }
  LLDError CloseScanner() override {
    Check();
    ++state_->closes;
    return 0;
  }

 private:
  // Counts the calls running at once, and notices a call into a destroyed object.
  struct Inside {
    explicit Inside(TestDriver& d) : driver(d) {
      driver.Check();
      const int now = ++driver.state_->inside;
      int seen = driver.state_->maxInside.load();
      while (now > seen && !driver.state_->maxInside.compare_exchange_weak(seen, now)) {
      }
    }
    ~Inside() {
      driver.Check();
      --driver.state_->inside;
    }
    TestDriver& driver;
  };
  void Check() const {
    if (magic_ != kMagic) state_->usedAfterDestroy = true;
  }

  static constexpr uint32_t kMagic = 0x600DD00D;
  volatile uint32_t magic_ = kMagic;
  std::shared_ptr<TestDriverState> state_;
};

}  // namespace rzd::lowdrv::test
