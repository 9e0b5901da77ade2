// CDevice: one opened device interface path with reads, writes and driver requests that wait
// with a time-out while the calling thread's messages keep flowing, and that recover once from
// a unit that was unplugged and plugged in again.
#pragma once

#include "foundation/log_client.h"
#include "platform/kernel.h"
#include "platform/types.h"
#include "platform/usb.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace rzd::lowdrv {

// The still-image driver's vendor request block (IOCTL_SEND_USB_REQUEST).
struct IO_BLOCK_EX {
  uint32_t uOffset = 0;   // the request's value field
  uint32_t uLength = 0;   // bytes at pbyData
  uint8_t* pbyData = nullptr;
  uint32_t uIndex = 0;
  uint8_t bRequest = 0;
  uint8_t bmRequestType = 0;
  uint8_t fTransferDirectionIn = 0;
};

// Transfer directions handed to IoErrorOccurred.
constexpr int kDirectionNone = 0;
constexpr int kDirectionRead = 1;
constexpr int kDirectionWrite = 2;

class CDevice : public CLogClient {
 public:
  CDevice();
  ~CDevice() override;  // does not close: the owner does
  CDevice(const CDevice&) = delete;
  CDevice& operator=(const CDevice&) = delete;

  // ---- Operations 16 to 23.
  // IOCTL_RESET_PIPE and IOCTL_CANCEL_IO (input: the pipe type, 4 bytes), IOCTL_SEND_USB_REQUEST
  // (input: IO_BLOCK_EX) and IOCTL_WAIT_ON_DEVICE_EVENT (output: the report). TRUE when the
  // request completed.
  virtual BOOL DeviceIoControl(uint32_t code, const void* input, uint32_t inputSize, void* output,
                               uint32_t outputSize, uint32_t* returned, bool retry);
  // Bytes read or written by the last attempt; 0 when it failed (m_dwLastError says why).
  virtual uint32_t DeviceRead(void* buffer, uint32_t count, bool retry);
  virtual uint32_t DeviceWrite(const void* buffer, uint32_t count, bool retry);
  virtual BOOL DeviceOpen();
  virtual void CloseDevice();
  virtual void UniqueNameChanged();
  virtual BOOL DeviceHook(void* argument);
  // Decides after a failed attempt whether the transfer is repeated.
  virtual BOOL IoErrorOccurred(uint32_t error, int attempt, int direction);

  // ---- Non-virtual operations.
  void SetUniqueName(std::u16string_view path);
  std::u16string GetUniqueName() const { return m_strUniqueName; }
  // Sets the time-out of each later transfer (logs "Timeout set to %d ms").
  void SetTimeout(uint32_t timeoutMs);
  bool IsOpen() const { return Handle() != nullptr; }

  // Waits for a started request: TRUE with its byte count when it completed well. On a time-out
  // or a failure the request is cancelled and waited for before this returns.
  BOOL WaitOverlappedResult(UsbRequest& request, const Event& event, uint32_t timeoutMs, size_t* transferred);

  // How each attempt gets its completion event; replaceable so a failing creation can be shown.
  using EventFactory = std::function<Event()>;
  void SetEventFactory(EventFactory factory) { m_makeEvent = std::move(factory); }

  uint32_t m_ulTimeout = 10000;  // ms for one transfer
  uint32_t m_dwLastError = 0;    // Win32 error of the last attempt

 protected:
  explicit CDevice(std::u16string featureName);

  // One transfer with its attempts: `start` begins the request with the attempt's completion.
  using Starter = std::function<UsbRequest(UsbDevice& device, UsbCompletion done)>;
  size_t RunTransfer(const Starter& start, bool retry, int direction, const char16_t* failureFormat, bool* completed);
  // The handle's value for the log: 0xFFFFFFFF while closed.
  uint32_t HandleForLog() const;
  // A reference to the open handle (empty while closed). A transfer keeps its own reference, so
  // a close on another thread (a removal notice) ends the transfer (995) and never frees the
  // handle under it.
  std::shared_ptr<UsbDevice> Handle() const;

  std::u16string m_strUniqueName;
  EventFactory m_makeEvent;

 private:
  mutable std::mutex m_handleLock;       // guards m_hDevice: open and close may run on two threads
  std::shared_ptr<UsbDevice> m_hDevice;  // empty while closed
};

}  // namespace rzd::lowdrv
