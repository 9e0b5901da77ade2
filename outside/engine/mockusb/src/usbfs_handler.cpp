#include "usbfs_handler.h"

#include "engine/usb_descriptors.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>

namespace rzd::engine::mockusb {

namespace {

// How long a reap with nothing to hand back is kept waiting.
constexpr std::chrono::milliseconds kReapWait{1};
constexpr size_t kMaxKeptEvents = 8;
constexpr size_t kSetupSize = 8;
// Larger than any transfer the host carries (16 MiB and a setup packet).
constexpr int kMaxUrbBuffer = 16 * 1024 * 1024 + 64;

void Answer(UMockdevIoctlClient* client, long result, int error) {
  umockdev_ioctl_client_complete(client, result, error);
}

usbdevfs_urb& UrbOf(UMockdevIoctlData* data) { return *reinterpret_cast<usbdevfs_urb*>(data->data); }

// The ioctl argument as a value (a pointer, or a number passed as one).
unsigned long ArgValue(UMockdevIoctlClient* client) {
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  unsigned long value = 0;
  std::memcpy(&value, arg->data, std::min<size_t>(sizeof value, static_cast<size_t>(arg->data_len)));
  return value;
}

// The unsigned int the argument points at.
std::optional<unsigned int> ArgNumber(UMockdevIoctlClient* client) {
  GError* error = nullptr;
  UMockdevIoctlData* number = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(unsigned int), &error);
  if (number == nullptr) {
    g_clear_error(&error);
    return std::nullopt;
  }
  unsigned int value = 0;
  std::memcpy(&value, number->data, sizeof value);
  g_object_unref(number);
  return value;
}

int PipeOf(uint8_t endpoint) {
  return endpoint == kReadPipeEndpoint ? 1 : endpoint == kWritePipeEndpoint ? 2 : 0;
}

}  // namespace

UsbfsHandler::UsbfsHandler(UnitPort& port, std::mutex& portMutex)
    : port_(port), portMutex_(portMutex), base_(umockdev_ioctl_base_new()) {
  g_signal_connect(base_, "handle-ioctl", G_CALLBACK(&UsbfsHandler::OnIoctl), this);
  g_signal_connect(base_, "client-vanished", G_CALLBACK(&UsbfsHandler::OnVanished), this);
  releaser_ = std::thread([this] { ReleaseHeld(); });
}

UsbfsHandler::~UsbfsHandler() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  heldChanged_.notify_all();
  releaser_.join();
  g_signal_handlers_disconnect_by_data(base_, this);
  for (Urb& urb : waiting_) Forget(urb);
  for (auto& [client, urbs] : ready_) {
    for (Urb& urb : urbs) Forget(urb);
  }
  g_object_unref(base_);
}

void UsbfsHandler::SetGone() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    gone_ = true;
    wake_ = true;
    events_.clear();
  }
  heldChanged_.notify_all();
}

void UsbfsHandler::Event(std::vector<uint8_t> report) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (gone_) return;
    events_.push_back(std::move(report));
    if (events_.size() > kMaxKeptEvents) events_.pop_front();
    wake_ = true;  // the next reap hands the report to a waiting event URB
  }
  heldChanged_.notify_all();
}

size_t UsbfsHandler::InFlight() {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t count = waiting_.size();
  for (const auto& [client, urbs] : ready_) count += urbs.size();
  return count;
}

gboolean UsbfsHandler::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  static_cast<UsbfsHandler*>(self)->Handle(client, umockdev_ioctl_client_get_request(client));
  return TRUE;
}

void UsbfsHandler::OnVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  auto& handler = *static_cast<UsbfsHandler*>(self);
  std::lock_guard<std::mutex> lock(handler.mutex_);
  for (auto it = handler.waiting_.begin(); it != handler.waiting_.end();) {
    if (it->client == client) {
      handler.Forget(*it);
      it = handler.waiting_.erase(it);
    } else {
      ++it;
    }
  }
  auto ready = handler.ready_.find(client);
  if (ready != handler.ready_.end()) {
    for (Urb& urb : ready->second) handler.Forget(urb);
    handler.ready_.erase(ready);
  }
}

void UsbfsHandler::Handle(UMockdevIoctlClient* client, unsigned long request) {
  switch (request) {
    case USBDEVFS_SUBMITURB: return Submit(client);
    case USBDEVFS_DISCARDURB: return Discard(client);
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY: return Reap(client);
    case USBDEVFS_CLEAR_HALT: return ClearHalt(client);
    case USBDEVFS_GET_CAPABILITIES: return Capabilities(client);
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_DISCONNECT_CLAIM:
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_SETCONFIGURATION:
    case USBDEVFS_RESET: {
      std::lock_guard<std::mutex> lock(mutex_);
      return gone_ ? Answer(client, -1, ENODEV) : Answer(client, 0, 0);
    }
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL: return Answer(client, -1, ENODATA);  // no kernel driver holds the unit
    default: return Answer(client, -1, ENOTTY);
  }
}

void UsbfsHandler::Capabilities(UMockdevIoctlClient* client) {
  GError* error = nullptr;
  UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(uint32_t), &error);
  if (caps == nullptr) {
    g_clear_error(&error);
    return Answer(client, -1, EFAULT);
  }
  // One URB per transfer, whatever its size, as on a host controller that takes scatter lists.
  uint32_t value = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
  umockdev_ioctl_data_update(caps, 0, reinterpret_cast<guint8*>(&value), sizeof value);
  g_object_unref(caps);
  Answer(client, 0, 0);
}

void UsbfsHandler::Submit(UMockdevIoctlClient* client) {
  GError* error = nullptr;
  UMockdevIoctlData* data =
      umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_urb), &error);
  if (data == nullptr) {
    g_clear_error(&error);
    return Answer(client, -1, EFAULT);
  }
  Urb urb{client, data, nullptr, UrbOf(data).endpoint};
  const usbdevfs_urb& fields = UrbOf(data);
  const bool known = (fields.type == USBDEVFS_URB_TYPE_CONTROL && fields.endpoint == 0) ||
                     (fields.type == USBDEVFS_URB_TYPE_BULK &&
                      (fields.endpoint == kReadPipeEndpoint || fields.endpoint == kWritePipeEndpoint)) ||
                     (fields.type == USBDEVFS_URB_TYPE_INTERRUPT && fields.endpoint == kEventEndpoint);
  if (!known || fields.buffer_length < 0 || fields.buffer_length > kMaxUrbBuffer) {
    Forget(urb);
    return Answer(client, -1, EINVAL);
  }
  if (fields.buffer_length > 0) {
    urb.buffer = umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                             static_cast<gsize>(fields.buffer_length), &error);
    if (urb.buffer == nullptr) {
      g_clear_error(&error);
      Forget(urb);
      return Answer(client, -1, EFAULT);
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (gone_) {
    Forget(urb);
    return Answer(client, -1, ENODEV);
  }
  if (!Run(urb)) {
    waiting_.push_back(urb);
    DeliverEvents();
  }
  Answer(client, 0, 0);
}

bool UsbfsHandler::Run(Urb& urb) {
  const usbdevfs_urb& fields = UrbOf(urb.urb);
  uint8_t* bytes = urb.buffer ? urb.buffer->data : nullptr;
  const size_t size = urb.buffer ? static_cast<size_t>(fields.buffer_length) : 0;
  if (fields.type == USBDEVFS_URB_TYPE_INTERRUPT) return false;  // waits for an event report

  PortStatus status = PortStatus::Stall;
  int actual = 0;
  std::lock_guard<std::mutex> port(portMutex_);
  if (fields.type == USBDEVFS_URB_TYPE_CONTROL) {
    if (size < kSetupSize) {
      Finish(urb, -EINVAL, 0);
      return true;
    }
    const uint16_t length = static_cast<uint16_t>(bytes[6] | (bytes[7] << 8));
    // The unit knows only vendor requests from the host; it stalls anything else.
    if ((bytes[0] & 0x80) != 0 || (bytes[0] & 0x60) != 0x40 || length > size - kSetupSize) {
      Finish(urb, -EPIPE, 0);
      return true;
    }
    VendorRequest request;
    request.requestType = bytes[0];
    request.request = bytes[1];
    request.value = static_cast<uint16_t>(bytes[2] | (bytes[3] << 8));
    request.index = static_cast<uint16_t>(bytes[4] | (bytes[5] << 8));
    request.data.assign(bytes + kSetupSize, bytes + kSetupSize + length);
    status = port_.VendorOut(request);
    actual = length;
  } else if (urb.endpoint == kWritePipeEndpoint) {
    status = port_.BulkOut(bytes, size);
    actual = static_cast<int>(size);
  } else {
    std::vector<uint8_t> data;
    status = port_.BulkIn(size, data);
    if (status == PortStatus::Ok) {
      actual = static_cast<int>(std::min(size, data.size()));
      if (actual > 0) umockdev_ioctl_data_update(urb.buffer, 0, data.data(), actual);
    }
  }
  switch (status) {
    case PortStatus::Ok: Finish(urb, 0, actual); return true;
    case PortStatus::Stall: Finish(urb, -EPIPE, 0); return true;
    case PortStatus::NoAnswer: return false;
  }
  return false;
}

void UsbfsHandler::Finish(Urb urb, int status, int actual) {
  usbdevfs_urb fields = UrbOf(urb.urb);
  fields.status = status;
  fields.actual_length = actual;
  umockdev_ioctl_data_update(urb.urb, 0, reinterpret_cast<guint8*>(&fields), sizeof fields);
  ready_[urb.client].push_back(urb);
}

void UsbfsHandler::DeliverEvents() {
  for (auto it = waiting_.begin(); it != waiting_.end() && !events_.empty();) {
    if (it->endpoint != kEventEndpoint) {
      ++it;
      continue;
    }
    const std::vector<uint8_t> report = std::move(events_.front());
    events_.pop_front();
    const int room = UrbOf(it->urb).buffer_length;
    const int actual = std::min(room, static_cast<int>(report.size()));
    if (actual > 0) umockdev_ioctl_data_update(it->buffer, 0, const_cast<guint8*>(report.data()), actual);
    Finish(*it, 0, actual);
    it = waiting_.erase(it);
  }
}

void UsbfsHandler::Discard(UMockdevIoctlClient* client) {
  const unsigned long address = ArgValue(client);
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
    if (it->client == client && it->urb->client_addr == address) {
      Finish(*it, -ENOENT, 0);
      waiting_.erase(it);
      return Answer(client, 0, 0);
    }
  }
  Answer(client, -1, EINVAL);  // not in flight: done already
}

void UsbfsHandler::Reap(UMockdevIoctlClient* client) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (gone_) {
    for (auto it = waiting_.begin(); it != waiting_.end();) {
      if (it->client == client) {
        Finish(*it, -ENODEV, 0);
        it = waiting_.erase(it);
      } else {
        ++it;
      }
    }
  }
  DeliverEvents();
  auto ready = ready_.find(client);
  if (ready == ready_.end() || ready->second.empty()) {
    g_object_ref(client);
    held_.push_back({client, std::chrono::steady_clock::now() + kReapWait});
    lock.unlock();
    heldChanged_.notify_all();
    return;
  }
  Urb urb = ready->second.front();
  ready->second.pop_front();
  lock.unlock();
  GError* error = nullptr;
  UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(void*), &error);
  if (slot == nullptr) {
    g_clear_error(&error);
    Forget(urb);
    return Answer(client, -1, EFAULT);
  }
  // The client's pointer now names its own URB, which it reads back with the result.
  umockdev_ioctl_data_set_ptr(slot, 0, urb.urb);
  Answer(client, 0, 0);
  g_object_unref(slot);
  Forget(urb);
}

void UsbfsHandler::ClearHalt(UMockdevIoctlClient* client) {
  const std::optional<unsigned int> endpoint = ArgNumber(client);
  if (!endpoint) return Answer(client, -1, EFAULT);
  std::lock_guard<std::mutex> lock(mutex_);
  if (gone_) return Answer(client, -1, ENODEV);
  const int pipe = PipeOf(static_cast<uint8_t>(*endpoint));
  if (pipe != 0) {
    std::lock_guard<std::mutex> port(portMutex_);
    port_.ResetPipe(pipe);
  } else if (*endpoint != kEventEndpoint) {
    return Answer(client, -1, EINVAL);
  }
  Answer(client, 0, 0);
}

void UsbfsHandler::Forget(Urb& urb) {
  if (urb.buffer) g_object_unref(urb.buffer);
  if (urb.urb) g_object_unref(urb.urb);
  urb.buffer = nullptr;
  urb.urb = nullptr;
}

void UsbfsHandler::ReleaseHeld() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (!stopping_ && !wake_) {
      if (held_.empty()) {
        heldChanged_.wait(lock);
        continue;
      }
      const auto next = std::min_element(held_.begin(), held_.end(),
                                         [](const Held& a, const Held& b) { return a.until < b.until; })->until;
      if (std::chrono::steady_clock::now() < next) {
        heldChanged_.wait_until(lock, next);
        continue;
      }
    }
    const auto now = std::chrono::steady_clock::now();
    std::vector<Held> released;
    const bool all = stopping_ || wake_;
    wake_ = false;
    for (auto it = held_.begin(); it != held_.end();) {
      if (all || it->until <= now) {
        released.push_back(*it);
        it = held_.erase(it);
      } else {
        ++it;
      }
    }
    const bool gone = gone_;
    const bool stop = stopping_;
    lock.unlock();
    // Nothing to reap: the client asks again at once (and then finds what came meanwhile).
    for (const Held& held : released) {
      Answer(held.client, -1, gone ? ENODEV : EAGAIN);
      g_object_unref(held.client);
    }
    lock.lock();
    if (stop && held_.empty()) return;
  }
}

}  // namespace rzd::engine::mockusb
