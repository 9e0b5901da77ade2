// The still-image USB driver: open a unit by its device interface path, then bulk transfers on
// its read and write data pipes, vendor control requests, pipe resets and the device-event wait.
//
// Every transfer is a UsbRequest: it completes once (success or a Win32 error), can be waited
// for with a time-out and cancelled. A request never writes the caller's buffer after it is
// complete, and Cancel() returns only once it is complete, so a caller that waited or cancelled
// may free its buffer. A request object that is destroyed while pending cancels itself.
//
// A handle (UsbDevice) is reference counted: calls keep it alive while they run, so Close() from
// another thread cancels their transfers (995) and no descriptor is reused under them. Many
// handles, in many processes, may be open on one unit at a time.
//
// Backends, by the entry's kind (platform/devices.h): "sim" speaks to a simulated unit over its
// socket; "libusb" drives a real unit with asynchronous libusb transfers (the process opens the
// unit once, claims its interface and shares that among its handles; a cancel or a time-out waits
// until the kernel has given the transfer back, and a pipe reset clears the endpoint's halt).
//
// Errors: 0 success; 258 WAIT_TIMEOUT (synchronous forms); 995 ERROR_OPERATION_ABORTED
// (cancelled, pipe reset, handle closed); 1167 ERROR_DEVICE_NOT_CONNECTED (the unit went away);
// 31 ERROR_GEN_FAILURE (stalled pipe); 6 ERROR_INVALID_HANDLE (call after Close);
// 87 ERROR_INVALID_PARAMETER (bad pipe, size above the transfer bound, device-to-host vendor
// request); 2 ERROR_FILE_NOT_FOUND (no such device); 50 ERROR_NOT_SUPPORTED (unknown backend).
// A real unit's open also answers 5 ERROR_ACCESS_DENIED (no right to its device node) and
// 32 ERROR_SHARING_VIOLATION (another process has it open).
#pragma once

#include "platform/errors.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

// Pipe types of the still-image driver's pipe requests.
constexpr uint32_t READ_DATA_PIPE = 1;
constexpr uint32_t WRITE_DATA_PIPE = 2;

// The still-image driver's request codes, for code that dispatches on them.
constexpr uint32_t IOCTL_CANCEL_IO = 0x80002004;
constexpr uint32_t IOCTL_WAIT_ON_DEVICE_EVENT = 0x80002008;
constexpr uint32_t IOCTL_RESET_PIPE = 0x8000201C;
constexpr uint32_t IOCTL_SEND_USB_REQUEST = 0x80002024;

namespace rzd {

namespace usbdetail {
struct RequestState;
class Link;
}  // namespace usbdetail

// Called once when a request completes, with its error and byte count, on the thread that
// completed it (the handle's receiving thread, libusb's event thread, or the caller's own for an
// immediate failure or a cancel). It must not wait for or cancel requests, reset a pipe or close
// the handle (on a real unit the thread it runs on is the one that completes requests); setting a
// kernel event is what it is for.
using UsbCompletion = std::function<void(uint32_t error, size_t transferred)>;

class UsbRequest {
 public:
  UsbRequest() = default;  // no request: complete, error ERROR_INVALID_HANDLE
  explicit UsbRequest(std::shared_ptr<usbdetail::RequestState> state);
  UsbRequest(UsbRequest&& other) noexcept;
  UsbRequest& operator=(UsbRequest&& other) noexcept;
  UsbRequest(const UsbRequest&) = delete;
  UsbRequest& operator=(const UsbRequest&) = delete;
  ~UsbRequest();  // cancels a pending request and waits for it

  // WAIT_OBJECT_0 when complete (its completion callback has run), WAIT_TIMEOUT otherwise.
  // INFINITE waits without limit.
  uint32_t Wait(uint32_t timeoutMs);
  // A pending request completes with ERROR_OPERATION_ABORTED; returns once it is complete.
  void Cancel();
  bool IsComplete() const;
  // The request's Win32 error once complete; ERROR_IO_INCOMPLETE while pending.
  uint32_t Error() const;
  // Bytes transferred (0 unless the request succeeded).
  size_t Transferred() const;

 private:
  std::shared_ptr<usbdetail::RequestState> state_;
};

// A vendor control request, host to device (bmRequestType bit 7 clear).
struct UsbVendorRequest {
  uint8_t requestType = 0x40;  // vendor, host to device, device recipient
  uint8_t request = 4;
  uint16_t value = 0;
  uint16_t index = 0;
  std::span<const uint8_t> data;  // at most 0xFFFF bytes; copied before the call returns
};

class UsbDevice {
 public:
  // Opens a handle on the unit of a device interface path (compared without regard to case).
  // nullptr with the Win32 error in `error`: 2 no such interface, 1167 the unit does not answer
  // or is unplugged, 50 a backend this build does not have (or a real unit whose interface is not
  // the model's), 5 and 32 for a real unit as above.
  static std::shared_ptr<UsbDevice> Open(std::u16string_view devicePath, uint32_t* error = nullptr);
  ~UsbDevice();  // closes
  UsbDevice(const UsbDevice&) = delete;
  UsbDevice& operator=(const UsbDevice&) = delete;

  const std::u16string& Path() const { return path_; }

  // Ends the handle: pending requests complete with 995, later calls fail with 6. Idempotent.
  void Close();

  // Bulk read of at most `size` bytes from the read data pipe into `buffer`. The buffer must
  // stay valid until the request is complete.
  UsbRequest StartRead(void* buffer, size_t size, UsbCompletion done = {});
  // Bulk write to the write data pipe. The data is copied before the call returns.
  UsbRequest StartWrite(const void* data, size_t size, UsbCompletion done = {});
  UsbRequest StartVendorRequest(const UsbVendorRequest& request, UsbCompletion done = {});
  // Resets a pipe (READ_DATA_PIPE or WRITE_DATA_PIPE): the unit drops what is queued on it, and
  // this handle's transfers still waiting on it complete with 995. On a real unit the endpoint's
  // halt is cleared (a control request the kernel bounds) before this returns.
  UsbRequest StartResetPipe(uint32_t pipeType, UsbCompletion done = {});
  // Waits for the unit's next device event report (16 bytes; a smaller buffer takes the head).
  // Stays pending until the unit has an event or the request is cancelled.
  UsbRequest StartWaitDeviceEvent(void* report, size_t size, UsbCompletion done = {});
  // Cancels this handle's pending transfers on a pipe (their result: 995). Event waits are on
  // no pipe and are cancelled only through their own request.
  uint32_t CancelPipe(uint32_t pipeType);

  // Synchronous forms: start, wait up to `timeoutMs`; on time-out cancel and wait, and answer
  // WAIT_TIMEOUT (unless the request completed after all, then its own result).
  uint32_t Read(void* buffer, size_t size, uint32_t timeoutMs, size_t* transferred = nullptr);
  uint32_t Write(const void* data, size_t size, uint32_t timeoutMs, size_t* transferred = nullptr);
  uint32_t VendorRequest(const UsbVendorRequest& request, uint32_t timeoutMs);
  uint32_t ResetPipe(uint32_t pipeType, uint32_t timeoutMs);
  uint32_t WaitDeviceEvent(void* report, size_t size, uint32_t timeoutMs, size_t* transferred = nullptr);

 private:
  UsbDevice(std::u16string path, std::shared_ptr<usbdetail::Link> link);
  std::u16string path_;
  std::shared_ptr<usbdetail::Link> link_;
};

}  // namespace rzd
