#include "platform/usb_sim_protocol.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace rzd::usbsim {

namespace {

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

bool ReadAll(int fd, uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::recv(fd, data + done, size - done, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The two ends answer each other within microseconds while a command runs: a reader looks for
// the next frame for a moment before it sleeps, so a quick answer costs no sleep and wake-up.
void AwaitFrame(int fd) {
  using Clock = std::chrono::steady_clock;
  constexpr auto kLook = std::chrono::microseconds(50);
  const Clock::time_point until = Clock::now() + kLook;
  do {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) != 0) return;  // data, the end of the stream, or an error: recv tells
  } while (Clock::now() < until);
}

bool FillAddress(const char* path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  size_t length = std::strlen(path);
  if (length == 0 || length >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(address.sun_path, path, length + 1);
  return true;
}

}  // namespace

void EncodeHeader(const FrameHeader& header, uint8_t out[kHeaderSize]) {
  Put32(out, kMagic);
  Put32(out + 4, header.id);
  out[8] = static_cast<uint8_t>(header.op);
  out[9] = header.pipe;
  Put16(out + 10, header.flags);
  Put32(out + 12, header.status);
  Put32(out + 16, header.arg);
  Put32(out + 20, header.length);
}

std::optional<FrameHeader> DecodeHeader(const uint8_t in[kHeaderSize]) {
  if (Get32(in) != kMagic) return std::nullopt;
  if (in[8] < static_cast<uint8_t>(Op::Hello) || in[8] > static_cast<uint8_t>(Op::Cancel)) return std::nullopt;
  FrameHeader header;
  header.id = Get32(in + 4);
  header.op = static_cast<Op>(in[8]);
  header.pipe = in[9];
  header.flags = Get16(in + 10);
  header.status = Get32(in + 12);
  header.arg = Get32(in + 16);
  header.length = Get32(in + 20);
  if (header.length > kMaxPayload) return std::nullopt;
  return header;
}

void EncodeSetup(const SetupPacket& setup, uint8_t out[kSetupSize]) {
  out[0] = setup.requestType;
  out[1] = setup.request;
  Put16(out + 2, setup.value);
  Put16(out + 4, setup.index);
  Put16(out + 6, setup.length);
}

SetupPacket DecodeSetup(const uint8_t in[kSetupSize]) {
  SetupPacket setup;
  setup.requestType = in[0];
  setup.request = in[1];
  setup.value = Get16(in + 2);
  setup.index = Get16(in + 4);
  setup.length = Get16(in + 6);
  return setup;
}

bool SendFrame(int fd, FrameHeader header, std::span<const uint8_t> part1, std::span<const uint8_t> part2) {
  if (part1.size() + part2.size() > kMaxPayload) return false;
  header.length = static_cast<uint32_t>(part1.size() + part2.size());
  uint8_t head[kHeaderSize];
  EncodeHeader(header, head);
  iovec parts[3] = {{head, kHeaderSize},
                    {const_cast<uint8_t*>(part1.data()), part1.size()},
                    {const_cast<uint8_t*>(part2.data()), part2.size()}};
  iovec* next = parts;
  int count = 3;
  while (count > 0) {
    if (next->iov_len == 0) {
      ++next;
      --count;
      continue;
    }
    msghdr message{};
    message.msg_iov = next;
    message.msg_iovlen = static_cast<size_t>(count);
    ssize_t sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    auto left = static_cast<size_t>(sent);
    while (count > 0 && left >= next->iov_len) {
      left -= next->iov_len;
      ++next;
      --count;
    }
    if (count > 0) {
      next->iov_base = static_cast<uint8_t*>(next->iov_base) + left;
      next->iov_len -= left;
    }
  }
  return true;
}

std::vector<uint8_t> EncodeFrame(FrameHeader header, std::span<const uint8_t> part1, std::span<const uint8_t> part2) {
  header.length = static_cast<uint32_t>(part1.size() + part2.size());
  std::vector<uint8_t> frame(kHeaderSize + part1.size() + part2.size());
  EncodeHeader(header, frame.data());
  if (!part1.empty()) std::memcpy(frame.data() + kHeaderSize, part1.data(), part1.size());
  if (!part2.empty()) std::memcpy(frame.data() + kHeaderSize + part1.size(), part2.data(), part2.size());
  return frame;
}

bool SendAll(int fd, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    done += static_cast<size_t>(sent);
  }
  return true;
}

std::optional<size_t> SendSome(int fd, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (sent <= 0) return std::nullopt;
    done += static_cast<size_t>(sent);
  }
  return done;
}

bool ReceiveHeader(int fd, FrameHeader& header) {
  AwaitFrame(fd);
  uint8_t head[kHeaderSize];
  if (!ReadAll(fd, head, kHeaderSize)) return false;
  std::optional<FrameHeader> decoded = DecodeHeader(head);
  if (!decoded) return false;
  header = *decoded;
  return true;
}

bool ReceiveBytes(int fd, uint8_t* data, size_t size) { return ReadAll(fd, data, size); }

bool ReceiveFrame(int fd, FrameHeader& header, std::vector<uint8_t>& payload) {
  if (!ReceiveHeader(fd, header)) return false;
  payload.resize(header.length);
  return header.length == 0 || ReadAll(fd, payload.data(), header.length);
}

void SizeForFrames(int fd) {
  // The system caps the sizes at its own maximum; a smaller buffer only costs speed.
  constexpr int kFrameBuffer = 4 * 1024 * 1024;
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kFrameBuffer, sizeof kFrameBuffer);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kFrameBuffer, sizeof kFrameBuffer);
}

int ConnectSocket(const char* path) {
  sockaddr_un address;
  if (!FillAddress(path, address)) return -1;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    int err = errno;
    ::close(fd);
    errno = err;
    return -1;
  }
  SizeForFrames(fd);
  return fd;
}

int ListenSocket(const char* path) {
  sockaddr_un address;
  if (!FillAddress(path, address)) return -1;
  // A socket file that still accepts connections belongs to a live server: leave it alone.
  int probe = ConnectSocket(path);
  if (probe >= 0) {
    ::close(probe);
    errno = EADDRINUSE;
    return -1;
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  ::unlink(path);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0) {
    int err = errno;
    ::close(fd);
    errno = err;
    return -1;
  }
  return fd;
}

}  // namespace rzd::usbsim
