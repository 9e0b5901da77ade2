#include "ipc/look_before_sleep.h"
#include "usb/usb_link.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace rzd {

namespace usbdetail {

bool RequestState::Complete(uint32_t result, std::span<const uint8_t> data, size_t count) {
  UsbCompletion callback;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (completed) return false;
    size_t copied = 0;
    if (result == ERROR_SUCCESS && !data.empty() && inBuffer != nullptr) {
      copied = std::min(data.size(), inCapacity);
      std::memcpy(inBuffer, data.data(), copied);
    }
    error = result;
    transferred = result != ERROR_SUCCESS ? 0 : (inBuffer != nullptr ? copied : count);
    completed = true;
    inBuffer = nullptr;
    callback = std::move(done);
  }
  if (callback) {
    try {
      callback(error, transferred);
    } catch (...) {
      // A throwing callback must not take the receiving thread down.
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    settled = true;
    settledFlag.store(true, std::memory_order_release);
  }
  settledChanged.notify_all();
  return true;
}

}  // namespace usbdetail

UsbRequest::UsbRequest(std::shared_ptr<usbdetail::RequestState> state) : state_(std::move(state)) {}

UsbRequest::UsbRequest(UsbRequest&& other) noexcept : state_(std::move(other.state_)) {}

UsbRequest& UsbRequest::operator=(UsbRequest&& other) noexcept {
  if (this != &other) {
    Cancel();
    state_ = std::move(other.state_);
  }
  return *this;
}

UsbRequest::~UsbRequest() { Cancel(); }

uint32_t UsbRequest::Wait(uint32_t timeoutMs) {
  if (!state_) return WAIT_OBJECT_0;
  // A unit usually answers within microseconds: look for the answer a short while (yielding the
  // processor between looks) before sleeping, which saves this thread's wake-up by the receiving
  // one.
  if (timeoutMs != 0) {
    ipc::LookBeforeSleep look;
    while (!state_->settledFlag.load(std::memory_order_acquire) && look.Again()) {
    }
  }
  std::unique_lock<std::mutex> lock(state_->mutex);
  auto settled = [this] { return state_->settled; };
  if (timeoutMs == INFINITE) {
    state_->settledChanged.wait(lock, settled);
    return WAIT_OBJECT_0;
  }
  return state_->settledChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), settled) ? WAIT_OBJECT_0
                                                                                               : WAIT_TIMEOUT;
}

void UsbRequest::Cancel() {
  if (!state_) return;
  if (std::shared_ptr<usbdetail::Link> link = state_->link.lock()) {
    link->Cancel(*state_);
  } else {
    state_->Complete(ERROR_OPERATION_ABORTED);
  }
  Wait(INFINITE);
}

bool UsbRequest::IsComplete() const {
  if (!state_) return true;
  return state_->settledFlag.load(std::memory_order_acquire);
}

uint32_t UsbRequest::Error() const {
  if (!state_) return ERROR_INVALID_HANDLE;
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->completed ? state_->error : ERROR_IO_INCOMPLETE;
}

size_t UsbRequest::Transferred() const {
  if (!state_) return 0;
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->transferred;
}

}  // namespace rzd
