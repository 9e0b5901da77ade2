#include "transport/server_parts.h"

#include <sys/socket.h>
#include <unistd.h>

namespace rzd::engine::transport {

Connection::~Connection() { ::close(fd_); }

bool Connection::Send(const usbsim::FrameHeader& header, std::span<const uint8_t> payload) {
  std::lock_guard<std::mutex> lock(sendMutex_);
  return usbsim::SendFrame(fd_, header, payload);
}

void Connection::Shutdown() { ::shutdown(fd_, SHUT_RDWR); }

}  // namespace rzd::engine::transport
