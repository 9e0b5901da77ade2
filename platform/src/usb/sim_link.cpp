// The sim backend: one Unix-socket connection per handle to the simulated unit, with a sending
// thread (so starting a transfer never blocks on a unit that does not read) and a receiving
// thread that completes requests by id.
#include "platform/text.h"
#include "platform/usb_sim_protocol.h"
#include "usb/usb_link.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <map>
#include <optional>
#include <thread>

namespace rzd::usbdetail {

namespace {

using usbsim::FrameHeader;
using usbsim::Op;

constexpr int kHelloTimeoutSeconds = 10;

// The connection's shared state; both threads hold it, so it outlives the handle if it must.
struct Core {
  explicit Core(int socket) : fd(socket) {}
  ~Core() { ::close(fd); }

  const int fd;
  std::mutex mutex;
  std::condition_variable queueChanged;
  std::map<uint32_t, std::shared_ptr<RequestState>> pending;
  struct Outgoing {
    uint32_t id;  // 0 for a cancel frame
    std::vector<uint8_t> frame;
    size_t sent = 0;  // bytes of the frame already on the socket (it can no longer be taken back)
  };
  std::deque<Outgoing> queue;
  uint32_t nextId = 1;
  bool closed = false;   // by the handle
  bool broken = false;   // the unit went away
  bool sending = false;  // a thread is writing a frame to the socket

  // Every pending request completes with `error`.
  void FailAll(uint32_t error, std::unique_lock<std::mutex>& lock) {
    std::map<uint32_t, std::shared_ptr<RequestState>> failed;
    failed.swap(pending);
    queue.clear();
    lock.unlock();
    queueChanged.notify_all();
    for (auto& [id, request] : failed) request->Complete(error);
  }

  // Writes queued frames, one at a time, whenever no submitting thread writes one itself.
  void SendLoop() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      queueChanged.wait(lock, [this] { return (!queue.empty() && !sending) || closed || broken; });
      if (closed || broken) return;
      Outgoing next = std::move(queue.front());
      queue.pop_front();
      sending = true;
      lock.unlock();
      bool sent = usbsim::SendAll(fd, std::span<const uint8_t>(next.frame).subspan(next.sent));
      lock.lock();
      sending = false;
      if (!sent) {
        // The receiving thread sees the end of the stream and fails what is pending.
        ::shutdown(fd, SHUT_RDWR);
        return;
      }
      queueChanged.notify_all();
    }
  }

  // Sends a frame from the submitting thread when nothing is queued before it, as far as the
  // socket takes it at once; the sending thread writes the rest (or the whole frame otherwise),
  // so a submit never blocks on a unit that does not read. Called with the lock held.
  void SendOrQueue(uint32_t id, std::vector<uint8_t> frame, std::unique_lock<std::mutex>& lock) {
    if (queue.empty() && !sending) {
      sending = true;
      lock.unlock();
      const std::optional<size_t> sent = usbsim::SendSome(fd, frame);
      lock.lock();
      sending = false;
      if (!sent) {
        ::shutdown(fd, SHUT_RDWR);
      } else if (*sent < frame.size()) {
        queue.push_front({id, std::move(frame), *sent});
      }
    } else {
      queue.push_back({id, std::move(frame)});
    }
    lock.unlock();
    queueChanged.notify_all();
  }

  // Discards `size` bytes of the stream.
  bool Skip(size_t size) {
    uint8_t scratch[4096];
    while (size > 0) {
      const size_t n = std::min(size, sizeof scratch);
      if (!usbsim::ReceiveBytes(fd, scratch, n)) return false;
      size -= n;
    }
    return true;
  }

  void ReceiveLoop() {
    FrameHeader header;
    std::vector<uint8_t> payload;
    bool intact = true;
    while (intact && usbsim::ReceiveHeader(fd, header)) {
      std::shared_ptr<RequestState> request;
      {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = pending.find(header.id);
        if (it != pending.end()) {
          request = std::move(it->second);
          pending.erase(it);
        }
      }
      if (request && request->op == UsbOp::Read && header.status == ERROR_SUCCESS) {
        // Data goes straight into the reader's buffer.
        intact = request->CompleteReading(header.length, [this](uint8_t* to, size_t size) {
          return to != nullptr ? usbsim::ReceiveBytes(fd, to, size) : Skip(size);
        });
        continue;
      }
      payload.resize(header.length);
      intact = header.length == 0 || usbsim::ReceiveBytes(fd, payload.data(), header.length);
      // An answer to a request cancelled here has no one waiting for it.
      if (request) request->Complete(intact ? header.status : ERROR_DEVICE_NOT_CONNECTED, payload, header.arg);
    }
    std::unique_lock<std::mutex> lock(mutex);
    if (!closed) broken = true;
    FailAll(closed ? ERROR_OPERATION_ABORTED : ERROR_DEVICE_NOT_CONNECTED, lock);
  }
};

class SimLink final : public Link, public std::enable_shared_from_this<SimLink> {
 public:
  explicit SimLink(int fd) : core_(std::make_shared<Core>(fd)) {
    std::shared_ptr<Core> core = core_;
    writer_ = std::thread([core] { core->SendLoop(); });
    reader_ = std::thread([core] { core->ReceiveLoop(); });
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
    std::vector<uint8_t> setupBytes;
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
        setupBytes.resize(usbsim::kSetupSize);
        usbsim::EncodeSetup(setup, setupBytes.data());
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
    core_->pending[header.id] = request;
    core_->SendOrQueue(header.id, usbsim::EncodeFrame(header, setupBytes, request->out), lock);
  }

  void Cancelled(RequestState& request) override {
    std::unique_lock<std::mutex> lock(core_->mutex);
    if (core_->pending.erase(request.id) == 0) return;
    auto queued = std::find_if(core_->queue.begin(), core_->queue.end(),
                               [&](const Core::Outgoing& o) { return o.id == request.id; });
    if (queued != core_->queue.end() && queued->sent == 0) {
      core_->queue.erase(queued);  // never sent: the unit does not hear of it at all
      return;
    }
    FrameHeader cancel;
    cancel.op = Op::Cancel;
    cancel.arg = request.id;
    core_->queue.push_back({0, usbsim::EncodeFrame(cancel)});
    lock.unlock();
    core_->queueChanged.notify_all();
  }

  std::vector<std::shared_ptr<RequestState>> PendingOn(uint8_t pipe) override {
    std::lock_guard<std::mutex> lock(core_->mutex);
    std::vector<std::shared_ptr<RequestState>> found;
    for (const auto& [id, request] : core_->pending) {
      if ((request->op == UsbOp::Read || request->op == UsbOp::Write) && request->pipe == pipe) {
        found.push_back(request);
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

uint32_t Win32FromConnectErrno(int err) {
  switch (err) {
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG: return ERROR_INVALID_PARAMETER;
    default: return ERROR_DEVICE_NOT_CONNECTED;  // no socket, or nobody listening: the unit is gone
  }
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
  std::string path = ToUtf8(entry.interfacePath);
  FrameHeader hello;
  hello.id = 0;
  hello.op = Op::Hello;
  hello.arg = usbsim::kVersion;
  FrameHeader answer;
  std::vector<uint8_t> payload;
  SetReceiveTimeout(fd, kHelloTimeoutSeconds);
  bool ok = usbsim::SendFrame(fd, hello, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(path.data()), path.size())) &&
            usbsim::ReceiveFrame(fd, answer, payload) && answer.op == Op::Hello;
  SetReceiveTimeout(fd, 0);
  if (!ok || answer.status != ERROR_SUCCESS) {
    ::close(fd);
    *error = ok ? answer.status : ERROR_DEVICE_NOT_CONNECTED;
    return nullptr;
  }
  *error = ERROR_SUCCESS;
  return std::make_shared<SimLink>(fd);
}

}  // namespace rzd::usbdetail
