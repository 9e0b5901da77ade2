// The sim backend: one Unix-socket connection per handle to the simulated unit.
//
// Sending: a request's frame goes out from the calling thread when nothing is queued before it,
// without blocking (the socket is written with MSG_DONTWAIT); what the socket does not take at
// once, and frames that come while others wait, go to a sending thread, so starting a transfer
// never blocks on a unit that does not read. Write and vendor data are sent from the caller's
// memory (copied only when the rest must wait for the sending thread).
//
// Receiving: a thread reads the answers (FrameReader: several small frames per read) and
// completes requests by id. Large reads do not pass through the socket: the handle shares a data
// window (a memory file) with the unit at the greeting, sets aside a region of it for each read,
// and the unit puts the data there; the answer is copied once, from the window into the caller's
// buffer.
#include "errors/errno_map.h"
#include "ipc/look_before_sleep.h"
#include "platform/text.h"
#include "platform/usb_sim_protocol.h"
#include "usb/usb_link.h"

#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <thread>

namespace rzd::usbdetail {

namespace {

using usbsim::FrameHeader;
using usbsim::Op;

constexpr int kHelloTimeoutSeconds = 10;
// The data window: room for the largest transfer and a second one beside it. Only the pages
// that reads touch take memory; regions are handed out lowest first, so those are few.
constexpr size_t kWindowSize = 2 * usbsim::kMaxTransfer;
constexpr size_t kRegionUnit = 4096;

// The shared data window and the regions of it that reads in flight hold.
class Window {
 public:
  Window() {
    int fd = ::memfd_create("rzd-usb-window", MFD_CLOEXEC);
    if (fd < 0) return;
    if (::ftruncate(fd, static_cast<off_t>(kWindowSize)) == 0) {
      void* p = ::mmap(nullptr, kWindowSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (p != MAP_FAILED) {
        data_ = static_cast<uint8_t*>(p);
        fd_ = fd;
        return;
      }
    }
    ::close(fd);
  }
  ~Window() {
    if (data_ != nullptr) ::munmap(data_, kWindowSize);
    CloseFd();
  }
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  bool Usable() const { return data_ != nullptr; }
  // The memory file, for the greeting; closed once the unit has it (the mapping stays).
  int Fd() const { return fd_; }
  void CloseFd() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  // With the connection's lock held. The offset of a free region of `size` bytes (the lowest
  // that fits), or -1.
  int64_t Allocate(size_t size) {
    if (data_ == nullptr || size == 0 || size > kWindowSize) return -1;
    const size_t rounded = (size + kRegionUnit - 1) / kRegionUnit * kRegionUnit;
    size_t at = 0;
    for (const auto& [offset, length] : used_) {
      if (offset - at >= rounded) break;
      at = offset + length;
    }
    if (kWindowSize - at < rounded) return -1;
    used_[at] = rounded;
    return static_cast<int64_t>(at);
  }
  void Free(int64_t offset) {
    if (offset >= 0) used_.erase(static_cast<size_t>(offset));
  }
  void FreeAll() { used_.clear(); }
  std::span<const uint8_t> Region(int64_t offset, size_t size) const {
    return {data_ + offset, size};
  }

 private:
  uint8_t* data_ = nullptr;
  int fd_ = -1;
  std::map<size_t, size_t> used_;  // offset -> rounded size
};

// The connection's shared state; both threads hold it, so it outlives the handle if it must.
struct Core {
  explicit Core(int socket) : fd(socket) {}
  ~Core() { ::close(fd); }

  const int fd;
  Window window;
  std::mutex mutex;
  std::condition_variable queueChanged;
  struct Pending {
    std::shared_ptr<RequestState> request;
    int64_t region = -1;  // its window region, or -1
    size_t regionSize = 0;
  };
  std::map<uint32_t, Pending> pending;
  std::atomic<size_t> pendingCount{0};  // pending.size(), for the receiving thread's spin
  struct Outgoing {
    uint32_t id;  // 0: a cancel frame, or the rest of a frame begun on the socket (never withdrawn)
    std::vector<uint8_t> frame;
  };
  std::deque<Outgoing> queue;
  bool sending = false;  // a thread is writing to the socket
  uint32_t nextId = 1;
  bool closed = false;  // by the handle
  bool broken = false;  // the unit went away

  // Every pending request completes with `error`.
  void FailAll(uint32_t error, std::unique_lock<std::mutex>& lock) {
    std::map<uint32_t, Pending> failed;
    failed.swap(pending);
    pendingCount.store(0, std::memory_order_relaxed);
    queue.clear();
    window.FreeAll();
    lock.unlock();
    queueChanged.notify_all();
    for (auto& [id, p] : failed) p.request->Complete(error);
  }

  // With the lock held: sends the frame made of `parts` now from this thread when the socket is
  // free and nothing waits before it (as much as the socket takes without blocking), and queues
  // the rest, or the whole frame, for the sending thread. `id` lets a cancel withdraw a frame
  // that never left.
  void Send(uint32_t id, std::span<const iovec> parts, std::unique_lock<std::mutex>& lock) {
    size_t total = 0;
    for (const iovec& p : parts) total += p.iov_len;
    size_t sent = 0;
    if (!sending && queue.empty()) {
      sending = true;
      lock.unlock();
      sent = SendWithoutBlocking(parts);
      lock.lock();
      sending = false;
      if (sent == total) {
        if (!queue.empty()) queueChanged.notify_all();
        return;
      }
    }
    std::vector<uint8_t> rest;
    rest.reserve(total - sent);
    size_t skip = sent;
    for (const iovec& p : parts) {
      const auto* bytes = static_cast<const uint8_t*>(p.iov_base);
      if (skip >= p.iov_len) {
        skip -= p.iov_len;
        continue;
      }
      rest.insert(rest.end(), bytes + skip, bytes + p.iov_len);
      skip = 0;
    }
    if (sent > 0) {
      queue.push_front({0, std::move(rest)});  // begun on the socket: it must go on first
    } else {
      queue.push_back({id, std::move(rest)});
    }
    queueChanged.notify_all();
  }

  // Writes what the socket takes at once; the count. A dead peer counts as all sent (the
  // receiving thread sees the end of the stream and fails what is pending).
  size_t SendWithoutBlocking(std::span<const iovec> parts) {
    std::vector<iovec> left(parts.begin(), parts.end());
    size_t index = 0;
    size_t done = 0;
    while (index < left.size()) {
      if (left[index].iov_len == 0) {
        ++index;
        continue;
      }
      msghdr message{};
      message.msg_iov = left.data() + index;
      message.msg_iovlen = left.size() - index;
      ssize_t n = ::sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return done;
      if (n <= 0) {
        ::shutdown(fd, SHUT_RDWR);
        size_t all = 0;
        for (const iovec& p : parts) all += p.iov_len;
        return all;
      }
      done += static_cast<size_t>(n);
      size_t taken = static_cast<size_t>(n);
      while (index < left.size() && taken >= left[index].iov_len) {
        taken -= left[index].iov_len;
        ++index;
      }
      if (index < left.size()) {
        left[index].iov_base = static_cast<uint8_t*>(left[index].iov_base) + taken;
        left[index].iov_len -= taken;
      }
    }
    return done;
  }

  void SendLoop() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      queueChanged.wait(lock, [this] { return (!queue.empty() && !sending) || closed || broken; });
      if (closed || broken) return;
      Outgoing next = std::move(queue.front());
      queue.pop_front();
      sending = true;
      lock.unlock();
      bool sent = usbsim::SendAll(fd, next.frame);
      lock.lock();
      sending = false;
      if (!sent) {
        // The receiving thread sees the end of the stream and fails what is pending.
        ::shutdown(fd, SHUT_RDWR);
        return;
      }
    }
  }

  void ReceiveLoop() {
    usbsim::FrameReader reader(fd);
    // While requests wait for answers, and just after an answer (a caller usually sends its next
    // request at once: looked for only while none waits, that request's answer would always find
    // this thread asleep), the next answer is looked for a short while before this thread sleeps.
    bool justAnswered = false;
    reader.SetSpin(ipc::kLookBeforeSleep, [this, &justAnswered] {
      const bool worthIt = justAnswered || pendingCount.load(std::memory_order_relaxed) > 0;
      justAnswered = false;
      return worthIt;
    });
    FrameHeader header;
    std::vector<uint8_t> payload;
    while (reader.Next(header, payload)) {
      justAnswered = true;
      Pending answered;
      {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = pending.find(header.id);
        if (it == pending.end()) continue;  // answer to a request cancelled here
        answered = std::move(it->second);
        pending.erase(it);
        pendingCount.store(pending.size(), std::memory_order_relaxed);
      }
      std::span<const uint8_t> data = payload;
      if (header.flags & usbsim::kFlagInWindow) {
        // Only where this read's region is, and never more than it holds.
        if (answered.region < 0 || header.arg > answered.regionSize || !payload.empty()) {
          answered.request->Complete(ERROR_GEN_FAILURE);
          break;  // a unit that breaks the protocol: the connection ends
        }
        data = window.Region(answered.region, header.arg);
      }
      answered.request->Complete(header.status, data, header.arg);
      if (answered.region >= 0) {
        std::lock_guard<std::mutex> lock(mutex);
        window.Free(answered.region);
      }
    }
    std::unique_lock<std::mutex> lock(mutex);
    if (!closed) broken = true;
    ::shutdown(fd, SHUT_RDWR);
    FailAll(closed ? ERROR_OPERATION_ABORTED : ERROR_DEVICE_NOT_CONNECTED, lock);
  }
};

class SimLink final : public Link, public std::enable_shared_from_this<SimLink> {
 public:
  explicit SimLink(std::shared_ptr<Core> core) : core_(std::move(core)) {
    std::shared_ptr<Core> c = core_;
    writer_ = std::thread([c] { c->SendLoop(); });
    reader_ = std::thread([c] { c->ReceiveLoop(); });
    readerId_ = reader_.get_id();
  }

  ~SimLink() override {
    Close();
    if (reader_.joinable()) {
      // The last reference went in a completion callback, on the receiving thread itself: it
      // ends by itself once the callback returns, holding the connection state.
      if (writer_.joinable()) writer_.join();
      reader_.detach();
    }
  }

  void Submit(const std::shared_ptr<RequestState>& request) override {
    FrameHeader header;
    header.pipe = request->pipe;
    uint8_t extra[usbsim::kSetupSize] = {};
    size_t extraSize = 0;
    switch (request->op) {
      case UsbOp::Read:
        header.op = Op::BulkIn;
        header.arg = static_cast<uint32_t>(request->inCapacity);
        break;
      case UsbOp::Write: header.op = Op::BulkOut; break;
      case UsbOp::Vendor: {
        header.op = Op::Vendor;
        usbsim::SetupPacket setup{request->vendor.requestType, request->vendor.request, request->vendor.value,
                                  request->vendor.index, static_cast<uint16_t>(request->out.size())};
        usbsim::EncodeSetup(setup, extra);
        extraSize = usbsim::kSetupSize;
        break;
      }
      case UsbOp::ResetPipe: header.op = Op::ResetPipe; break;
      case UsbOp::WaitEvent: header.op = Op::WaitEvent; break;
    }
    request->link = weak_from_this();
    std::unique_lock<std::mutex> lock(core_->mutex);
    if (core_->closed || core_->broken) {
      uint32_t error = core_->closed ? ERROR_INVALID_HANDLE : ERROR_DEVICE_NOT_CONNECTED;
      lock.unlock();
      request->Complete(error);
      return;
    }
    header.id = core_->nextId++;
    if (core_->nextId == 0) core_->nextId = 1;
    request->id = header.id;
    Core::Pending& p = core_->pending[header.id];
    core_->pendingCount.store(core_->pending.size(), std::memory_order_relaxed);
    p.request = request;
    if (request->op == UsbOp::Read) {
      p.region = core_->window.Allocate(request->inCapacity);
      if (p.region >= 0) {
        p.regionSize = request->inCapacity;
        const uint32_t offset = static_cast<uint32_t>(p.region);
        for (size_t i = 0; i < usbsim::kWindowOffsetSize; ++i) extra[i] = static_cast<uint8_t>(offset >> (8 * i));
        extraSize = usbsim::kWindowOffsetSize;
      }
    }
    header.length = static_cast<uint32_t>(extraSize + request->out.size());
    uint8_t head[usbsim::kHeaderSize];
    usbsim::EncodeHeader(header, head);
    const iovec parts[3] = {{head, sizeof head},
                            {extra, extraSize},
                            {const_cast<uint8_t*>(request->out.data()), request->out.size()}};
    core_->Send(header.id, parts, lock);
  }

  // Completes the request at once and only then tells the unit, so a cancel never waits on a
  // silent unit; an answer that comes later is dropped.
  void Cancel(RequestState& request) override {
    if (!request.Complete(ERROR_OPERATION_ABORTED)) return;
    std::unique_lock<std::mutex> lock(core_->mutex);
    auto it = core_->pending.find(request.id);
    if (it == core_->pending.end()) return;
    // The region is free again at once: should the unit be writing it for this read right now,
    // it finishes before it takes the next request, whose answer comes after.
    core_->window.Free(it->second.region);
    core_->pending.erase(it);
    core_->pendingCount.store(core_->pending.size(), std::memory_order_relaxed);
    auto queued = std::find_if(core_->queue.begin(), core_->queue.end(),
                               [&](const Core::Outgoing& o) { return o.id == request.id; });
    if (queued != core_->queue.end()) {
      core_->queue.erase(queued);  // never sent: the unit does not hear of it at all
      return;
    }
    FrameHeader cancel;
    cancel.op = Op::Cancel;
    cancel.arg = request.id;
    uint8_t head[usbsim::kHeaderSize];
    usbsim::EncodeHeader(cancel, head);
    const iovec parts[1] = {{head, sizeof head}};
    core_->Send(0, parts, lock);
  }

  std::vector<std::shared_ptr<RequestState>> PendingOn(uint8_t pipe) override {
    std::lock_guard<std::mutex> lock(core_->mutex);
    std::vector<std::shared_ptr<RequestState>> found;
    for (const auto& [id, p] : core_->pending) {
      if ((p.request->op == UsbOp::Read || p.request->op == UsbOp::Write) && p.request->pipe == pipe) {
        found.push_back(p.request);
      }
    }
    return found;
  }

  void Close() override {
    {
      std::unique_lock<std::mutex> lock(core_->mutex);
      if (!core_->closed) {
        core_->closed = true;
        core_->FailAll(ERROR_OPERATION_ABORTED, lock);
        ::shutdown(core_->fd, SHUT_RDWR);
      }
    }
    if (std::this_thread::get_id() == readerId_) return;
    std::lock_guard<std::mutex> lock(joinMutex_);
    if (writer_.joinable()) writer_.join();
    if (reader_.joinable()) reader_.join();
  }

 private:
  std::shared_ptr<Core> core_;
  std::thread writer_;
  std::thread reader_;
  std::thread::id readerId_;
  std::mutex joinMutex_;
};

// A socket that is not there or that nobody listens on is a unit that is gone.
uint32_t Win32FromConnectErrno(int err) {
  return oserror::Win32FromErrno(err, "connection to a simulated unit",
                                 {{ENOENT, ERROR_DEVICE_NOT_CONNECTED},
                                  {ECONNREFUSED, ERROR_DEVICE_NOT_CONNECTED},
                                  {ECONNRESET, ERROR_DEVICE_NOT_CONNECTED},
                                  {ENOTSOCK, ERROR_DEVICE_NOT_CONNECTED},
                                  {ENAMETOOLONG, ERROR_INVALID_PARAMETER}});
}

void SetReceiveTimeout(int fd, int seconds) {
  timeval tv{seconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

}  // namespace

std::shared_ptr<Link> OpenSimLink(const DeviceEntry& entry, uint32_t* error) {
  int fd = usbsim::ConnectSocket(entry.address.c_str());
  if (fd < 0) {
    *error = Win32FromConnectErrno(errno);
    return nullptr;
  }
  auto core = std::make_shared<Core>(fd);  // closes the socket if the greeting fails
  std::string path = ToUtf8(entry.interfacePath);
  FrameHeader hello;
  hello.id = 0;
  hello.op = Op::Hello;
  hello.arg = usbsim::kVersion;
  FrameHeader answer;
  std::vector<uint8_t> payload;
  SetReceiveTimeout(fd, kHelloTimeoutSeconds);
  // The greeting hands the unit the data window; the answer is read alone, so nothing meant for
  // the receiving thread is read here.
  bool ok = usbsim::SendFrame(fd, hello, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(path.data()), path.size()),
                              {}, core->window.Fd()) &&
            usbsim::ReceiveFrame(fd, answer, payload) && answer.op == Op::Hello;
  SetReceiveTimeout(fd, 0);
  core->window.CloseFd();
  if (!ok || answer.status != ERROR_SUCCESS) {
    *error = ok ? answer.status : ERROR_DEVICE_NOT_CONNECTED;
    return nullptr;
  }
  *error = ERROR_SUCCESS;
  return std::make_shared<SimLink>(std::move(core));
}

}  // namespace rzd::usbdetail
