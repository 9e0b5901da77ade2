// The libusb backend: real units on the USB bus.
//
// A process opens each unit once (its interface can be claimed only once) and shares that handle
// among its UsbDevice handles; every UsbDevice has a link of its own that knows its transfers, so
// Close and CancelPipe end only its own. Every transfer is asynchronous: one thread per process
// (while a unit is open) handles libusb's events and runs the completions.
//
// Reads go straight into the caller's buffer; writes, vendor requests and event reports use a
// buffer of the transfer's own. A request is completed only from its transfer's completion, once
// the kernel has let go of every buffer, so a cancel (and a time-out, which cancels) waits for
// the transfer: no transfer outlives its call.
#include "devices/usb_units.h"
#include "usb/usb_link.h"

#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace rzd::usbdetail {

namespace {

// The Win32 error of a libusb result.
uint32_t Win32FromLibusb(int result) {
  switch (result) {
    case LIBUSB_SUCCESS: return ERROR_SUCCESS;
    case LIBUSB_ERROR_INVALID_PARAM: return ERROR_INVALID_PARAMETER;
    case LIBUSB_ERROR_ACCESS: return ERROR_ACCESS_DENIED;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND: return ERROR_DEVICE_NOT_CONNECTED;
    case LIBUSB_ERROR_BUSY: return ERROR_BUSY;
    case LIBUSB_ERROR_TIMEOUT: return WAIT_TIMEOUT;
    case LIBUSB_ERROR_INTERRUPTED: return ERROR_OPERATION_ABORTED;
    case LIBUSB_ERROR_NO_MEM: return ERROR_NOT_ENOUGH_MEMORY;
    case LIBUSB_ERROR_NOT_SUPPORTED: return ERROR_NOT_SUPPORTED;
    default: return ERROR_GEN_FAILURE;  // I/O error, stall, overflow, other
  }
}

// The Win32 error of a finished transfer.
uint32_t Win32FromStatus(libusb_transfer_status status) {
  switch (status) {
    case LIBUSB_TRANSFER_COMPLETED: return ERROR_SUCCESS;
    case LIBUSB_TRANSFER_CANCELLED: return ERROR_OPERATION_ABORTED;
    case LIBUSB_TRANSFER_NO_DEVICE: return ERROR_DEVICE_NOT_CONNECTED;
    case LIBUSB_TRANSFER_TIMED_OUT: return WAIT_TIMEOUT;
    default: return ERROR_GEN_FAILURE;  // stall, error, overflow
  }
}

// The process's libusb context and the thread that handles its events; alive while a unit is
// open in the process.
class UsbContext {
 public:
  static std::shared_ptr<UsbContext> Get(uint32_t* error) {
    static std::mutex mutex;
    static std::weak_ptr<UsbContext> current;
    std::lock_guard<std::mutex> lock(mutex);
    if (std::shared_ptr<UsbContext> live = current.lock()) return live;
    libusb_context* context = nullptr;
    const int result = libusb_init(&context);
    if (result != LIBUSB_SUCCESS) {
      *error = result == LIBUSB_ERROR_NO_MEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_DEVICE_NOT_CONNECTED;
      return nullptr;
    }
    auto made = std::shared_ptr<UsbContext>(new UsbContext(context));
    current = made;
    return made;
  }

  ~UsbContext() {
    shared_->stop.store(true);
    libusb_interrupt_event_handler(shared_->context);
    if (OnEventThread()) {
      // The last unit went in a completion: the thread frees the context once it leaves libusb.
      shared_->ownsContext.store(true);
      thread_.detach();
      return;
    }
    thread_.join();
    libusb_exit(shared_->context);
  }

  UsbContext(const UsbContext&) = delete;
  UsbContext& operator=(const UsbContext&) = delete;

  libusb_context* Context() const { return shared_->context; }
  bool OnEventThread() const { return std::this_thread::get_id() == threadId_; }

 private:
  struct Shared {
    libusb_context* context = nullptr;
    std::atomic<bool> stop{false};
    std::atomic<bool> ownsContext{false};
  };

  explicit UsbContext(libusb_context* context) : shared_(std::make_shared<Shared>()) {
    shared_->context = context;
    std::shared_ptr<Shared> shared = shared_;
    thread_ = std::thread([shared] {
      while (!shared->stop.load()) {
        timeval limit{1, 0};
        libusb_handle_events_timeout_completed(shared->context, &limit, nullptr);
      }
      if (shared->ownsContext.load()) libusb_exit(shared->context);
    });
    threadId_ = thread_.get_id();
  }

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
  std::thread::id threadId_;
};

// One unit opened by this process: the device handle with the unit's interface claimed.
class UnitHandle {
 public:
  static std::shared_ptr<UnitHandle> Open(const DeviceEntry& entry, uint32_t* error) {
    std::optional<devices::UsbBusAddress> where = devices::LocateRealUnit(entry);
    if (!where) {
      *error = ERROR_DEVICE_NOT_CONNECTED;
      return nullptr;
    }
    static std::mutex mutex;
    static std::map<std::string, std::weak_ptr<UnitHandle>> opened;
    const std::string key = entry.address + "@" + std::to_string(where->bus) + "." + std::to_string(where->address);
    std::lock_guard<std::mutex> lock(mutex);
    for (auto it = opened.begin(); it != opened.end();) {
      it = it->second.expired() ? opened.erase(it) : std::next(it);
    }
    if (std::shared_ptr<UnitHandle> live = opened[key].lock()) {
      if (!live->Gone()) return live;
    }
    std::shared_ptr<UsbContext> context = UsbContext::Get(error);
    if (!context) return nullptr;
    std::shared_ptr<UnitHandle> unit(new UnitHandle(std::move(context)));
    *error = unit->Claim(*where);
    if (*error != ERROR_SUCCESS) return nullptr;
    opened[key] = unit;
    return unit;
  }

  ~UnitHandle() {
    if (handle_ == nullptr) return;
    if (claimed_) libusb_release_interface(handle_, interface_);
    libusb_close(handle_);
  }

  UnitHandle(const UnitHandle&) = delete;
  UnitHandle& operator=(const UnitHandle&) = delete;

  libusb_device_handle* Handle() const { return handle_; }
  const UsbContext& Context() const { return *context_; }
  // The endpoint of a pipe type, 0 when the unit has none.
  uint8_t Endpoint(uint32_t pipeType) const {
    return pipeType == READ_DATA_PIPE ? bulkIn_ : pipeType == WRITE_DATA_PIPE ? bulkOut_ : 0;
  }
  uint8_t EventEndpoint() const { return eventIn_; }
  size_t EventPacketSize() const { return eventPacket_; }

  // The unit went away: nothing more is carried to it on this handle.
  bool Gone() const { return gone_.load(); }
  void SetGone() { gone_.store(true); }

 private:
  explicit UnitHandle(std::shared_ptr<UsbContext> context) : context_(std::move(context)) {}

  uint32_t Claim(const devices::UsbBusAddress& where) {
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_->Context(), &list);
    if (count < 0) return Win32FromLibusb(static_cast<int>(count));
    libusb_device* device = nullptr;
    for (ssize_t i = 0; i < count; ++i) {
      if (libusb_get_bus_number(list[i]) == where.bus && libusb_get_device_address(list[i]) == where.address) {
        device = list[i];
      }
    }
    uint32_t result = ERROR_DEVICE_NOT_CONNECTED;
    if (device != nullptr) result = OpenDevice(device);
    libusb_free_device_list(list, 1);
    return result;
  }

  uint32_t OpenDevice(libusb_device* device) {
    int opened = libusb_open(device, &handle_);
    if (opened != LIBUSB_SUCCESS) {
      handle_ = nullptr;
      return Win32FromLibusb(opened);
    }
    if (!FindPipes(device)) return ERROR_NOT_SUPPORTED;  // not the unit's interface layout
    libusb_set_auto_detach_kernel_driver(handle_, 1);
    const int claim = libusb_claim_interface(handle_, interface_);
    // Another process holds the unit: the device is in use, as a file opened elsewhere without
    // sharing is.
    if (claim == LIBUSB_ERROR_BUSY) return ERROR_SHARING_VIOLATION;
    if (claim != LIBUSB_SUCCESS) return Win32FromLibusb(claim);
    claimed_ = true;
    return ERROR_SUCCESS;
  }

  // The first interface with a bulk IN and a bulk OUT endpoint; its interrupt IN endpoint, when
  // it has one, carries the device events.
  bool FindPipes(libusb_device* device) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS) return false;
    bool found = false;
    for (uint8_t i = 0; i < config->bNumInterfaces && !found; ++i) {
      if (config->interface[i].num_altsetting < 1) continue;
      const libusb_interface_descriptor& setting = config->interface[i].altsetting[0];
      uint8_t in = 0, out = 0, event = 0;
      size_t eventPacket = 0;
      for (uint8_t e = 0; e < setting.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
        const auto type = endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK;
        const bool into = (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN) != 0;
        if (type == LIBUSB_TRANSFER_TYPE_BULK && into && in == 0) in = endpoint.bEndpointAddress;
        if (type == LIBUSB_TRANSFER_TYPE_BULK && !into && out == 0) out = endpoint.bEndpointAddress;
        if (type == LIBUSB_TRANSFER_TYPE_INTERRUPT && into && event == 0) {
          event = endpoint.bEndpointAddress;
          eventPacket = endpoint.wMaxPacketSize & 0x7FF;
        }
      }
      if (in != 0 && out != 0) {
        interface_ = setting.bInterfaceNumber;
        bulkIn_ = in;
        bulkOut_ = out;
        eventIn_ = event;
        eventPacket_ = eventPacket;
        found = true;
      }
    }
    libusb_free_config_descriptor(config);
    return found;
  }

  std::shared_ptr<UsbContext> context_;
  libusb_device_handle* handle_ = nullptr;
  int interface_ = 0;
  bool claimed_ = false;
  uint8_t bulkIn_ = 0;
  uint8_t bulkOut_ = 0;
  uint8_t eventIn_ = 0;
  size_t eventPacket_ = 0;
  std::atomic<bool> gone_{false};
};

struct LinkCore;

// One transfer in flight: it keeps its request, its link's state and the unit alive until libusb
// hands it back.
struct Transfer {
  libusb_transfer* usb = nullptr;
  std::shared_ptr<RequestState> request;
  std::shared_ptr<LinkCore> core;
  std::shared_ptr<UnitHandle> unit;
  std::vector<uint8_t> own;  // write data, the setup packet and its data, an event report
  ~Transfer() {
    if (usb) libusb_free_transfer(usb);
  }
};

// A link's transfers in flight.
struct LinkCore {
  std::mutex mutex;
  std::condition_variable ended;
  std::map<RequestState*, Transfer*> pending;
  bool closed = false;
};

void LIBUSB_CALL TransferDone(libusb_transfer* usb) {
  auto* transfer = static_cast<Transfer*>(usb->user_data);
  const uint32_t error = Win32FromStatus(usb->status);
  if (error == ERROR_DEVICE_NOT_CONNECTED) transfer->unit->SetGone();
  const size_t count = usb->actual_length > 0 ? static_cast<size_t>(usb->actual_length) : 0;
  RequestState& request = *transfer->request;
  if (request.op == UsbOp::WaitEvent) {
    request.Complete(error, std::span<const uint8_t>(transfer->own.data(), std::min(count, transfer->own.size())), 0);
  } else {
    request.Complete(error, {}, count);  // read data is in the caller's buffer already
  }
  std::shared_ptr<LinkCore> core = std::move(transfer->core);
  {
    std::lock_guard<std::mutex> lock(core->mutex);
    core->pending.erase(transfer->request.get());
    delete transfer;
  }
  core->ended.notify_all();
}

class LibusbLink final : public Link, public std::enable_shared_from_this<LibusbLink> {
 public:
  explicit LibusbLink(std::shared_ptr<UnitHandle> unit)
      : unit_(std::move(unit)), core_(std::make_shared<LinkCore>()) {}
  ~LibusbLink() override { Close(); }

  void Submit(const std::shared_ptr<RequestState>& request) override {
    request->link = weak_from_this();
    if (request->op == UsbOp::ResetPipe) return ResetPipe(request);
    std::unique_lock<std::mutex> lock(core_->mutex);
    if (core_->closed) {
      lock.unlock();
      request->Complete(ERROR_INVALID_HANDLE);
      return;
    }
    if (unit_->Gone()) {
      lock.unlock();
      request->Complete(ERROR_DEVICE_NOT_CONNECTED);
      return;
    }
    auto transfer = std::make_unique<Transfer>();
    transfer->usb = libusb_alloc_transfer(0);
    if (transfer->usb == nullptr) {
      lock.unlock();
      request->Complete(ERROR_NOT_ENOUGH_MEMORY);
      return;
    }
    transfer->request = request;
    transfer->core = core_;
    transfer->unit = unit_;
    const uint32_t filled = Fill(*transfer);
    if (filled != ERROR_SUCCESS) {
      lock.unlock();
      request->Complete(filled);
      return;
    }
    // Submitted under the lock, so a cancel sees the request either not yet in flight or in
    // flight, never in between.
    const int submitted = libusb_submit_transfer(transfer->usb);
    if (submitted != LIBUSB_SUCCESS) {
      if (submitted == LIBUSB_ERROR_NO_DEVICE) unit_->SetGone();
      lock.unlock();
      request->Complete(Win32FromLibusb(submitted));
      return;
    }
    core_->pending[request.get()] = transfer.release();
  }

  void Cancel(RequestState& request) override {
    std::lock_guard<std::mutex> lock(core_->mutex);
    auto it = core_->pending.find(&request);
    // Not in flight: it completed, or failed before it was submitted.
    if (it == core_->pending.end()) return;
    // The completion comes once the kernel has given the transfer back: as cancelled (995), or
    // with its own result when it finished first.
    libusb_cancel_transfer(it->second->usb);
  }

  std::vector<std::shared_ptr<RequestState>> PendingOn(uint8_t pipe) override {
    std::lock_guard<std::mutex> lock(core_->mutex);
    std::vector<std::shared_ptr<RequestState>> found;
    for (const auto& [state, transfer] : core_->pending) {
      if ((state->op == UsbOp::Read || state->op == UsbOp::Write) && state->pipe == pipe) {
        found.push_back(transfer->request);
      }
    }
    return found;
  }

  void Close() override {
    std::unique_lock<std::mutex> lock(core_->mutex);
    if (!core_->closed) {
      core_->closed = true;
      for (const auto& [state, transfer] : core_->pending) libusb_cancel_transfer(transfer->usb);
    }
    // A completion closing the handle cannot wait for the completions behind it; those end by
    // themselves and hold the unit until then.
    if (unit_->Context().OnEventThread()) return;
    core_->ended.wait(lock, [this] { return core_->pending.empty(); });
  }

 private:
  // Prepares the libusb transfer of a request; a Win32 error when the unit cannot carry it.
  uint32_t Fill(Transfer& transfer) {
    RequestState& request = *transfer.request;
    libusb_device_handle* handle = unit_->Handle();
    libusb_transfer* usb = transfer.usb;
    switch (request.op) {
      case UsbOp::Read: {
        libusb_fill_bulk_transfer(usb, handle, unit_->Endpoint(READ_DATA_PIPE), request.inBuffer,
                                  static_cast<int>(request.inCapacity), TransferDone, &transfer, 0);
        // The data goes straight into the caller's buffer; the request only reports the count.
        request.inBuffer = nullptr;
        break;
      }
      case UsbOp::Write:
        transfer.own.assign(request.out.begin(), request.out.end());
        libusb_fill_bulk_transfer(usb, handle, unit_->Endpoint(WRITE_DATA_PIPE), transfer.own.data(),
                                  static_cast<int>(transfer.own.size()), TransferDone, &transfer, 0);
        break;
      case UsbOp::Vendor: {
        transfer.own.resize(LIBUSB_CONTROL_SETUP_SIZE + request.out.size());
        libusb_fill_control_setup(transfer.own.data(), request.vendor.requestType, request.vendor.request,
                                  request.vendor.value, request.vendor.index, static_cast<uint16_t>(request.out.size()));
        if (!request.out.empty()) {
          std::memcpy(transfer.own.data() + LIBUSB_CONTROL_SETUP_SIZE, request.out.data(), request.out.size());
        }
        libusb_fill_control_transfer(usb, handle, transfer.own.data(), TransferDone, &transfer, 0);
        break;
      }
      case UsbOp::WaitEvent:
        if (unit_->EventEndpoint() == 0) return ERROR_NOT_SUPPORTED;
        // A whole report is always asked for, so a short buffer takes its head without overflow.
        transfer.own.resize(std::max<size_t>(unit_->EventPacketSize(), 16));
        libusb_fill_interrupt_transfer(usb, handle, unit_->EventEndpoint(), transfer.own.data(),
                                       static_cast<int>(transfer.own.size()), TransferDone, &transfer, 0);
        break;
      case UsbOp::ResetPipe: return ERROR_INVALID_FUNCTION;
    }
    return ERROR_SUCCESS;
  }

  // This handle's transfers waiting on the pipe end (995), then the halt is cleared.
  void ResetPipe(const std::shared_ptr<RequestState>& request) {
    bool closed = false;
    {
      std::lock_guard<std::mutex> lock(core_->mutex);
      closed = core_->closed;
    }
    if (closed) {
      request->Complete(ERROR_INVALID_HANDLE);
      return;
    }
    for (const std::shared_ptr<RequestState>& pending : PendingOn(request->pipe)) UsbRequest(pending).Cancel();
    if (unit_->Gone()) {
      request->Complete(ERROR_DEVICE_NOT_CONNECTED);
      return;
    }
    const int cleared = libusb_clear_halt(unit_->Handle(), unit_->Endpoint(request->pipe));
    if (cleared == LIBUSB_ERROR_NO_DEVICE) unit_->SetGone();
    request->Complete(Win32FromLibusb(cleared));
  }

  std::shared_ptr<UnitHandle> unit_;
  std::shared_ptr<LinkCore> core_;
};

}  // namespace

std::shared_ptr<Link> OpenLibusbLink(const DeviceEntry& entry, uint32_t* error) {
  std::shared_ptr<UnitHandle> unit = UnitHandle::Open(entry, error);
  if (!unit) return nullptr;
  *error = ERROR_SUCCESS;
  return std::make_shared<LibusbLink>(std::move(unit));
}

}  // namespace rzd::usbdetail
