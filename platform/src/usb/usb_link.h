// Inside platform/usb: the state of one request, and the backend interface a handle talks to.
// A backend (the sim socket, or libusb for real units) carries requests to a unit and completes
// them.
#pragma once

#include "platform/devices.h"
#include "platform/usb.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

namespace rzd::usbdetail {

enum class UsbOp : uint8_t { Read, Write, Vendor, ResetPipe, WaitEvent };

struct RequestState {
  // Fixed when the request starts.
  UsbOp op = UsbOp::Read;
  uint8_t pipe = 0;              // READ_DATA_PIPE, WRITE_DATA_PIPE, or 0 (vendor, event wait)
  uint8_t* inBuffer = nullptr;   // where data from the unit goes
  size_t inCapacity = 0;
  std::span<const uint8_t> out;  // data to the unit; valid only while Submit runs
  UsbVendorRequest vendor;       // for UsbOp::Vendor (its data in `out`)
  UsbCompletion done;
  std::weak_ptr<Link> link;      // to tell the backend of a cancel
  uint32_t id = 0;               // the backend's number for the request

  // Fixes the result (once; false when already complete) and copies `data` into the buffer
  // while still under the lock, then runs the completion callback and marks the request
  // settled. `transferred` is the count reported for a request without data from the unit.
  bool Complete(uint32_t error, std::span<const uint8_t> data, size_t transferred);
  bool Complete(uint32_t error) { return Complete(error, {}, 0); }

  mutable std::mutex mutex;
  std::condition_variable settledChanged;
  bool completed = false;  // result fixed; the buffer is no longer touched
  bool settled = false;    // and the completion callback has returned
  std::atomic<bool> settledFlag{false};  // `settled`, for a waiter that looks without the lock
  uint32_t error = ERROR_IO_INCOMPLETE;
  size_t transferred = 0;
};

// One handle's connection to a unit.
class Link {
 public:
  virtual ~Link() = default;
  // Carries the request to the unit; completes it at once when that cannot be done.
  virtual void Submit(const std::shared_ptr<RequestState>& request) = 0;
  // Ends a request of this link as cancelled (995), unless it completes otherwise first. On
  // return the request is complete, or will complete without touching the caller's memory
  // again; the caller then waits for it.
  virtual void Cancel(RequestState& request) = 0;
  // Pending requests on a pipe, for CancelPipe.
  virtual std::vector<std::shared_ptr<RequestState>> PendingOn(uint8_t pipe) = 0;
  // Pending requests complete with 995; later submits fail with ERROR_INVALID_HANDLE.
  virtual void Close() = 0;
};

// Backends. Each answers nullptr with a Win32 error when the unit cannot be reached.
std::shared_ptr<Link> OpenSimLink(const DeviceEntry& entry, uint32_t* error);
std::shared_ptr<Link> OpenLibusbLink(const DeviceEntry& entry, uint32_t* error);

}  // namespace rzd::usbdetail
