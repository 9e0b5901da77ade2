#include "ipc/receive_wait.h"

#include "ipc/look_before_sleep.h"

#include <cerrno>
#include <ctime>

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace rzd::ipc {

int ReceiveWait::Sleep() {
  if (!started_) {
    started_ = true;
    timeval limit{};
    socklen_t length = sizeof limit;
    if (getsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, &length) == 0 && (limit.tv_sec > 0 || limit.tv_usec > 0)) {
      deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(limit.tv_sec) +
                  std::chrono::microseconds(limit.tv_usec);
    }
  }
  timespec left{};
  timespec* wait = nullptr;  // no time-out: as long as it takes
  if (deadline_) {
    const auto remaining = *deadline_ - std::chrono::steady_clock::now();
    if (remaining <= std::chrono::steady_clock::duration::zero()) {
      errno = EAGAIN;
      return -1;
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(remaining).count();
    left.tv_sec = static_cast<time_t>(ns / 1000000000);
    left.tv_nsec = static_cast<long>(ns % 1000000000);
    wait = &left;
  }
  pollfd ready{fd_, POLLIN, 0};
  return ppoll(&ready, 1, wait, nullptr) < 0 ? -1 : 0;
}

ssize_t ReceiveAll(int fd, void* data, size_t size) {
  auto* at = static_cast<char*>(data);
  size_t copied = 0;
  ReceiveWait wait(fd);
  LookBeforeSleep look;
  for (;;) {
    const ssize_t got = recv(fd, at + copied, size - copied, MSG_DONTWAIT);
    if (got > 0) {
      copied += static_cast<size_t>(got);
      if (copied == size) return static_cast<ssize_t>(copied);
      continue;
    }
    if (got == 0) return static_cast<ssize_t>(copied);
    // Bytes already taken are answered first, as recv answers them before its error.
    if (errno != EAGAIN && errno != EWOULDBLOCK) return copied > 0 ? static_cast<ssize_t>(copied) : -1;
    if (look.Again()) continue;
    if (wait.Sleep() != 0) return copied > 0 ? static_cast<ssize_t>(copied) : -1;
  }
}

}  // namespace rzd::ipc
