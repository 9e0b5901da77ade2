#include "kernel/futex.h"

#include <climits>
#include <ctime>

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace rzd::kernel_detail {

void FutexWait(std::atomic<uint32_t>* word, uint32_t expected, bool shared,
               std::optional<std::chrono::nanoseconds> timeout) {
  timespec ts{};
  timespec* tsp = nullptr;
  if (timeout) {
    auto ns = timeout->count() < 0 ? 0 : timeout->count();
    ts.tv_sec = static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    tsp = &ts;
  }
  int op = shared ? FUTEX_WAIT : FUTEX_WAIT_PRIVATE;
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), op, expected, tsp, nullptr, 0);
}

void FutexWakeAll(std::atomic<uint32_t>* word, bool shared) {
  int op = shared ? FUTEX_WAKE : FUTEX_WAKE_PRIVATE;
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), op, INT_MAX, nullptr, nullptr, 0);
}

}  // namespace rzd::kernel_detail
