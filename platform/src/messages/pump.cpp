// Waits that keep servicing the calling thread's message queue.
#include "platform/messages.h"

#include "messages/queue_internal.h"

#include <chrono>

namespace rzd {

uint32_t MsgWaitForObjects(const std::vector<WaitHandle>& objects, uint32_t timeoutMs) {
  if (objects.size() + 1 > kMaximumWaitObjects) return WAIT_FAILED;
  std::vector<WaitHandle> all(objects.begin(), objects.end());
  all.push_back(messages_detail::QueueReadyEvent());  // last: objects win over messages
  return WaitAny(all, timeoutMs);
}

uint32_t WaitPumping(const std::vector<WaitHandle>& objects, uint32_t timeoutMs) {
  return WaitPumping(objects, timeoutMs, messages_detail::ThreadHandler());
}

uint32_t WaitPumping(const std::vector<WaitHandle>& objects, uint32_t timeoutMs, const MessageHandler& handler) {
  using Clock = std::chrono::steady_clock;
  const bool infinite = timeoutMs == INFINITE;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(infinite ? 0 : timeoutMs);
  const uint32_t messageArrived = WAIT_OBJECT_0 + static_cast<uint32_t>(objects.size());

  bool sawQuit = false;
  uint32_t quitCode = 0;
  auto finish = [&](uint32_t result) {
    if (sawQuit) PostQuitMessage(quitCode);
    return result;
  };
  auto passed = [&] { return !infinite && Clock::now() >= deadline; };
  auto leftMs = [&]() -> uint32_t {
    if (infinite) return INFINITE;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<uint32_t>(left);
  };

  for (;;) {
    uint32_t result = MsgWaitForObjects(objects, leftMs());
    if (result != messageArrived) return finish(result);
    // Service what is queued, but never past the deadline, however fast messages come.
    while (!passed()) {
      auto message = PeekThreadMessage(true);
      if (!message) break;
      if (message->id == WM_QUIT) {
        if (!sawQuit) quitCode = static_cast<uint32_t>(message->wparam);
        sawQuit = true;
        continue;
      }
      if (handler) handler(*message);
    }
    if (passed()) {
      // One last look at the objects, then the time-out.
      uint32_t last = objects.empty() ? WAIT_TIMEOUT : WaitAny(objects, 0);
      return finish(last);
    }
  }
}

}  // namespace rzd
