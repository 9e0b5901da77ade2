// Looking for a peer's answer a short while before sleeping.
//
// An answer usually comes within microseconds, and waking a sleeping thread costs more than that
// on a machine whose idle processors halt. A waiter that expects one soon looks for it again and
// again, yielding the processor between looks, for a short while before it sleeps.
#pragma once

#include <chrono>
#include <thread>

namespace rzd::ipc {

// How long the platform's waits for an answer (or a next request) look before they sleep.
inline constexpr std::chrono::microseconds kLookBeforeSleep{50};

// The looks of one wait. Again() yields the processor and says whether another look is due: true
// until `limit` has passed since its first call, false from then on.
class LookBeforeSleep {
 public:
  explicit LookBeforeSleep(std::chrono::microseconds limit = kLookBeforeSleep) : limit_(limit) {}

  bool Again() {
    const auto now = std::chrono::steady_clock::now();
    if (!started_) {
      started_ = true;
      end_ = now + limit_;
    }
    if (now >= end_) return false;
    std::this_thread::yield();
    return true;
  }

 private:
  std::chrono::microseconds limit_;
  bool started_ = false;
  std::chrono::steady_clock::time_point end_;
};

}  // namespace rzd::ipc
