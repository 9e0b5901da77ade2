// Waits and wakes on a word in shared memory: a futex keyed by the memory, not the address.
#include "platform/kernel.h"

#include "kernel/futex.h"

namespace rzd {

void WaitOnSharedAddress(std::atomic<uint32_t>* word, uint32_t expected, uint32_t timeoutMs) {
  std::optional<std::chrono::nanoseconds> timeout;
  if (timeoutMs != INFINITE) timeout = std::chrono::milliseconds(timeoutMs);
  kernel_detail::FutexWait(word, expected, true, timeout);
}

void WakeBySharedAddress(std::atomic<uint32_t>* word) { kernel_detail::FutexWakeAll(word, true); }

}  // namespace rzd
