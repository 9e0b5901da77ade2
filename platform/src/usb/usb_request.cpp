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
  Settle(std::move(callback));
  return true;
}

void RequestState::Settle(UsbCompletion callback) {
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
  }
  settledChanged.notify_all();
}

bool RequestState::CompleteReading(size_t length, const std::function<bool(uint8_t*, size_t)>& read) {
  UsbCompletion callback;
  bool intact = true;
  bool mine = false;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (completed || inBuffer == nullptr) {
      intact = length == 0 || read(nullptr, length);
    } else {
      const size_t taken = std::min(length, inCapacity);
      intact = (taken == 0 || read(inBuffer, taken)) && (length == taken || read(nullptr, length - taken));
      error = intact ? ERROR_SUCCESS : ERROR_DEVICE_NOT_CONNECTED;
      transferred = intact ? taken : 0;
      completed = true;
      inBuffer = nullptr;
      callback = std::move(done);
      mine = true;
    }
  }
  if (mine) Settle(std::move(callback));
  return intact;
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
  if (state_->Complete(ERROR_OPERATION_ABORTED)) {
    if (std::shared_ptr<usbdetail::Link> link = state_->link.lock()) link->Cancelled(*state_);
  }
  Wait(INFINITE);
}

bool UsbRequest::IsComplete() const {
  if (!state_) return true;
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->settled;
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
