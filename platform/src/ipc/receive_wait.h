// Waiting for bytes on a stream socket asleep in poll rather than in recv.
//
// A thread asleep in recv sits on the socket's one wait queue, and the kernel wakes every sleeper
// there also when the peer takes bytes this end sent (to say there is room to write again). A
// thread that sends a request and then waits for the answer on the same socket is thus woken, for
// nothing, while the peer reads the request, and the peer pays that wake-up inside its read. A
// thread asleep in poll for POLLIN is woken only for bytes, the end of the stream or an error.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>

#include <sys/types.h>

namespace rzd::ipc {

// One wait for bytes, as long as a blocking receive on the socket would wait: the socket's
// receive time-out (SO_RCVTIMEO, read when a wait first has to sleep) is the budget of all the
// sleeps of one receive, as it is for one recv call.
class ReceiveWait {
 public:
  explicit ReceiveWait(int fd) : fd_(fd) {}

  // Sleeps until the socket has bytes, its end or an error (or the rest of the budget is used
  // up: the next receive without waiting then says which). 0; -1 with errno EAGAIN when the
  // budget was used up before this call, EINTR when a signal came, or another error of poll.
  int Sleep();

 private:
  int fd_;
  bool started_ = false;
  std::optional<std::chrono::steady_clock::time_point> deadline_;
};

// recv(fd, data, size, MSG_WAITALL) on a blocking socket, with its answers and its receive
// time-out, but looking for bytes for kLookBeforeSleep first and then sleeping in poll: the count
// (less than `size` at the end of the stream, after the time-out or a signal when some bytes
// came), 0 at the end of the stream, -1 with errno.
ssize_t ReceiveAll(int fd, void* data, size_t size);

}  // namespace rzd::ipc
