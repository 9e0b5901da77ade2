#include "platform/usb_sim_protocol.h"

#include "ipc/listen_owner_only.h"
#include "ipc/look_before_sleep.h"
#include "ipc/receive_wait.h"
#include "platform/errors.h"
#include "platform/root.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace rzd::usbsim {

namespace {

constexpr size_t kPayloadStep = 1024 * 1024;  // growth of a large payload as its bytes come

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

bool SendFrame(int fd, FrameHeader header, std::span<const uint8_t> part1, std::span<const uint8_t> part2,
               int passFd) {
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
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    if (passFd >= 0) {  // with the first bytes only
      std::memset(control, 0, sizeof control);
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      cmsghdr* c = CMSG_FIRSTHDR(&message);
      c->cmsg_level = SOL_SOCKET;
      c->cmsg_type = SCM_RIGHTS;
      c->cmsg_len = CMSG_LEN(sizeof(int));
      std::memcpy(CMSG_DATA(c), &passFd, sizeof(int));
    }
    ssize_t sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    passFd = -1;
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

bool ReceiveFrame(int fd, FrameHeader& header, std::vector<uint8_t>& payload) {
  uint8_t head[kHeaderSize];
  if (!ReadAll(fd, head, kHeaderSize)) return false;
  std::optional<FrameHeader> decoded = DecodeHeader(head);
  if (!decoded) return false;
  header = *decoded;
  // Grown as its bytes come: a peer that announces more than it sends never makes us take it all.
  payload.clear();
  while (payload.size() < header.length) {
    const size_t have = payload.size();
    const size_t step = std::min<size_t>(header.length - have, kPayloadStep);
    payload.resize(have + step);
    if (!ReadAll(fd, payload.data() + have, step)) return false;
  }
  return true;
}

// ---- FrameReader

namespace {
constexpr size_t kReadAhead = 64 * 1024;  // what one read takes in for small frames
}  // namespace

FrameReader::FrameReader(int fd) : fd_(fd), buffer_(kReadAhead) {}

FrameReader::~FrameReader() {
  if (receivedFd_ >= 0) ::close(receivedFd_);
}

int FrameReader::TakeReceivedFd() {
  int taken = receivedFd_;
  receivedFd_ = -1;
  return taken;
}

void FrameReader::SetSpin(std::chrono::microseconds limit, std::function<bool()> worthIt) {
  spin_ = limit;
  spinWorthIt_ = std::move(worthIt);
}

long FrameReader::Read(uint8_t* to, size_t size) {
  const bool worthIt = spin_.count() > 0 && (!spinWorthIt_ || spinWorthIt_());
  ipc::LookBeforeSleep look(worthIt ? spin_ : std::chrono::microseconds(0));
  // The socket is read without blocking; this thread sleeps in poll, where the peer taking what
  // this end sent does not wake it. The wait keeps the socket's receive time-out.
  ipc::ReceiveWait wait(fd_);
  for (;;) {
    iovec part{to, size};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))];
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n = ::recvmsg(fd_, &message, MSG_CMSG_CLOEXEC | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (look.Again()) continue;
      if (wait.Sleep() == 0) continue;
      if (errno != EINTR) return -1;  // the receive time-out, or a failed wait
      wait = ipc::ReceiveWait(fd_);  // a signal: the receive starts again, as recvmsg would
      continue;
    }
    if (n < 0) return -1;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
      const size_t fds = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
      for (size_t i = 0; i < fds; ++i) {
        int received;
        std::memcpy(&received, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
        if (receivedFd_ < 0) {
          receivedFd_ = received;
        } else {
          ::close(received);  // one is all a connection passes
        }
      }
    }
    return static_cast<long>(n);
  }
}

bool FrameReader::Next(FrameHeader& header, std::vector<uint8_t>& payload) {
  // The header, from the read-ahead buffer, topped up as needed.
  if (end_ - begin_ < kHeaderSize) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    while (end_ < kHeaderSize) {
      long n = Read(buffer_.data() + end_, buffer_.size() - end_);
      if (n <= 0) return false;
      end_ += static_cast<size_t>(n);
    }
  }
  std::optional<FrameHeader> decoded = DecodeHeader(buffer_.data() + begin_);
  if (!decoded) return false;
  header = *decoded;
  begin_ += kHeaderSize;

  // The payload: what the buffer holds, then the rest read straight into place.
  const size_t length = header.length;
  const size_t buffered = std::min(length, end_ - begin_);
  payload.resize(buffered);
  if (buffered > 0) std::memcpy(payload.data(), buffer_.data() + begin_, buffered);
  begin_ += buffered;
  size_t have = buffered;
  while (have < length) {
    const size_t missing = length - have;
    if (missing < kReadAhead / 2) {
      // A small rest: read ahead, so that the next frames come with it.
      begin_ = end_ = 0;
      long n = Read(buffer_.data(), buffer_.size());
      if (n <= 0) return false;
      end_ = static_cast<size_t>(n);
      const size_t take = std::min(missing, end_);
      payload.insert(payload.end(), buffer_.data(), buffer_.data() + take);
      begin_ = take;
      have += take;
    } else {
      payload.resize(have + std::min(missing, kPayloadStep));
      long n = Read(payload.data() + have, payload.size() - have);
      if (n <= 0) return false;
      have += static_cast<size_t>(n);
      payload.resize(have);
    }
  }
  return true;
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
  const std::filesystem::path file(path);
  const uint32_t folder = file.has_parent_path() ? EnsurePrivateFolder(file.parent_path()) : ERROR_SUCCESS;
  if (folder != ERROR_SUCCESS) {
    errno = folder == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
    return -1;
  }
  return ipc::ListenOwnerOnly(file, 0, 64);
}

}  // namespace rzd::usbsim
