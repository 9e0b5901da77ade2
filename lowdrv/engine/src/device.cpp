// CDevice: reads, writes and driver requests on one device interface path.
#include "lowdrv/engine/device.h"

#include "foundation/message_wait.h"

#include <chrono>
#include <thread>
#include <cstring>

namespace rzd::lowdrv {

namespace {
// Long enough for the largest read of a scan (256 KiB) to come back without this thread sleeping.
constexpr std::chrono::microseconds kCompletionLook(200);

// A pause between two looks that leaves the core to its other thread (no system call).
inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}
}  // namespace

CDevice::CDevice() : CDevice(u"Device Driver") {}

CDevice::CDevice(std::u16string featureName) : CLogClient(std::move(featureName)) {}

CDevice::~CDevice() = default;

std::shared_ptr<UsbDevice> CDevice::Handle() const {
  std::lock_guard guard(m_handleLock);
  return m_hDevice;
}

uint32_t CDevice::HandleForLog() const {
  const std::shared_ptr<UsbDevice> device = Handle();
  return device ? static_cast<uint32_t>(reinterpret_cast<uintptr_t>(device.get())) : 0xFFFFFFFFu;
}

void CDevice::SetUniqueName(std::u16string_view path) {
  RZD_LOG_DATA_INFO(u"SetUniqueName called with %s", std::u16string(path).c_str());
  if (path == m_strUniqueName) return;
  m_strUniqueName = std::u16string(path);
  UniqueNameChanged();
}

void CDevice::SetTimeout(uint32_t timeoutMs) {
  m_ulTimeout = timeoutMs;
  RZD_LOG_INFO(u"Timeout set to %d ms", static_cast<int>(timeoutMs));
}

BOOL CDevice::DeviceOpen() {
  RZD_LOG_INFO(u"Device Open Entered");
  if (!IsOpen()) {
    uint32_t error = 0;
    std::shared_ptr<UsbDevice> opened = UsbDevice::Open(m_strUniqueName, &error);
    if (!opened) {
      m_dwLastError = error;
      RZD_LOG_ERROR(u"Device Open failed.\nDevice %s.\nGetLastError = 0x%08X", m_strUniqueName.c_str(), error);
    } else {
      std::unique_lock guard(m_handleLock);
      // Another thread opened meanwhile: its handle stays, this one goes.
      if (m_hDevice) {
        guard.unlock();
        opened->Close();
      } else {
        m_hDevice = std::move(opened);
      }
    }
  }
  RZD_LOG_INFO(u"Device Open Exit Handle 0x%X", HandleForLog());
  return IsOpen() ? TRUE : FALSE;
}

void CDevice::CloseDevice() {
  RZD_LOG_INFO(u"Close Device called");
  std::shared_ptr<UsbDevice> closing;
  {
    std::lock_guard guard(m_handleLock);
    closing.swap(m_hDevice);
  }
  if (closing) {
    RZD_LOG_INFO(u"Closing Device Handle 0x%X", static_cast<uint32_t>(reinterpret_cast<uintptr_t>(closing.get())));
    // Transfers still running on it complete with 995; their own references keep it alive.
    closing->Close();
  }
}

void CDevice::UniqueNameChanged() {
  if (!IsOpen()) return;
  RZD_LOG_INFO(u"UniqueNameChanged Entered, closing and re-opening device");
  CloseDevice();
  DeviceOpen();
  RZD_LOG_INFO(u"UniqueNameChanged Exit");
}

BOOL CDevice::DeviceHook(void*) { return FALSE; }

BOOL CDevice::WaitOverlappedResult(UsbRequest& request, const Event& event, uint32_t timeoutMs, size_t* transferred) {
  RZD_LOG_INFO(u"WaitOverlappedResult Entered.");
  RZD_LOG_INFO(u"WaitOverlappedResult Params: Timeout = %d ms, dwBytesXfer Pointer = 0x%X", static_cast<int>(timeoutMs),
               static_cast<uint32_t>(reinterpret_cast<uintptr_t>(transferred)));
  BOOL ok = FALSE;
  // The unit answers a command within microseconds: look for the completion for a moment before
  // the wait sleeps.
  const auto lookUntil = std::chrono::steady_clock::now() + kCompletionLook;
  while (!request.IsComplete() && std::chrono::steady_clock::now() < lookUntil) CpuRelax();
  const uint32_t wait = WaitWithMessageLoop(event, timeoutMs);
  RZD_LOG_INFO(u"WaitObject result 0x%08X", wait);
  if (wait == WAIT_OBJECT_0) {
    const uint32_t error = request.Error();
    if (error == ERROR_SUCCESS) {
      event.Reset();
      if (transferred) *transferred = request.Transferred();
      ok = TRUE;
    } else {
      m_dwLastError = error;
      request.Cancel();
    }
  } else {
    if (wait == WAIT_TIMEOUT) m_dwLastError = WAIT_TIMEOUT;
    // The request is cancelled and waited for, so it never writes the caller's buffer later.
    request.Cancel();
    if (request.Error() == ERROR_SUCCESS) {
      // It completed after all while being cancelled: its data is not lost.
      m_dwLastError = ERROR_SUCCESS;
      if (transferred) *transferred = request.Transferred();
      ok = TRUE;
    }
  }
  RZD_LOG_INFO(u"WaitOverlappedResult Exit [%s]", ok ? u"TRUE" : u"FALSE");
  return ok;
}

size_t CDevice::RunTransfer(const Starter& start, bool retry, int direction, const char16_t* failureFormat,
                            bool* completed) {
  size_t count = 0;
  bool ok = false;
  int attempt = 0;
  for (;;) {
    m_dwLastError = ERROR_SUCCESS;
    count = 0;
    ok = false;
    Event event = m_makeEvent ? m_makeEvent() : Event::Unnamed(true, false);
    const std::shared_ptr<UsbDevice> device = Handle();
    if (!event) {
      // Without its completion event the attempt cannot be waited for: it is not started.
      m_dwLastError = ERROR_NOT_ENOUGH_MEMORY;
    } else if (!device) {
      m_dwLastError = ERROR_INVALID_HANDLE;
    } else {
      UsbRequest request = start(*device, [event](uint32_t, size_t) { event.Set(); });
      if (request.IsComplete()) {
        if (request.Error() == ERROR_SUCCESS) {
          ok = true;
          count = request.Transferred();
        } else {
          m_dwLastError = request.Error();
        }
      } else {
        m_dwLastError = ERROR_IO_PENDING;
        if (WaitOverlappedResult(request, event, m_ulTimeout, &count)) {
          m_dwLastError = ERROR_SUCCESS;
          ok = true;
        }
      }
    }
    if (!ok) RZD_LOG_ERROR(failureFormat, m_dwLastError);
    if (!ok && m_dwLastError != ERROR_SUCCESS && retry && IoErrorOccurred(m_dwLastError, attempt++, direction)) continue;
    break;
  }
  if (completed) *completed = ok;
  return ok ? count : 0;
}

uint32_t CDevice::DeviceRead(void* buffer, uint32_t count, bool retry) {
  const size_t n = RunTransfer(
      [&](UsbDevice& device, UsbCompletion done) { return device.StartRead(buffer, count, std::move(done)); }, retry,
      kDirectionRead, u"Device Read failed, GetLastError = 0x%08X", nullptr);
  RZD_LOG_INFO(u"Device Read Exit. Bytes Read %d", static_cast<int>(n));
  return static_cast<uint32_t>(n);
}

uint32_t CDevice::DeviceWrite(const void* buffer, uint32_t count, bool retry) {
  const size_t n = RunTransfer(
      [&](UsbDevice& device, UsbCompletion done) { return device.StartWrite(buffer, count, std::move(done)); }, retry,
      kDirectionWrite, u"Device Write failed, GetLastError = 0x%08X", nullptr);
  RZD_LOG_INFO(u"Device Write Exit. Bytes Written %d", static_cast<int>(n));
  return static_cast<uint32_t>(n);
}

BOOL CDevice::DeviceIoControl(uint32_t code, const void* input, uint32_t inputSize, void* output, uint32_t outputSize,
                              uint32_t* returned, bool retry) {
  if (returned) *returned = 0;
  Starter start;
  uint32_t pipe = 0;
  IO_BLOCK_EX block;
  const bool pipeRequest = code == IOCTL_RESET_PIPE || code == IOCTL_CANCEL_IO;
  if (pipeRequest) {
    if (!input || inputSize < sizeof pipe) {
      m_dwLastError = ERROR_INVALID_PARAMETER;
      return FALSE;
    }
    std::memcpy(&pipe, input, sizeof pipe);
  }
  switch (code) {
    case IOCTL_CANCEL_IO: {
      // Cancelling completes the pipe's requests at once; there is nothing to wait for.
      const std::shared_ptr<UsbDevice> device = Handle();
      m_dwLastError = device ? device->CancelPipe(pipe) : ERROR_INVALID_HANDLE;
      if (m_dwLastError != ERROR_SUCCESS) RZD_LOG_ERROR(u"DeviceIoControl failed, GetLastError = 0x%08X", m_dwLastError);
      RZD_LOG_INFO(u"DeviceIoControl Exit. Bytes Returned %d", 0);
      return m_dwLastError == ERROR_SUCCESS ? TRUE : FALSE;
    }
    case IOCTL_RESET_PIPE:
      start = [pipe](UsbDevice& device, UsbCompletion done) { return device.StartResetPipe(pipe, std::move(done)); };
      break;
    case IOCTL_SEND_USB_REQUEST: {
      if (!input || inputSize < sizeof block) {
        m_dwLastError = ERROR_INVALID_PARAMETER;
        return FALSE;
      }
      std::memcpy(&block, input, sizeof block);
      start = [&block](UsbDevice& device, UsbCompletion done) {
        UsbVendorRequest request;
        request.requestType = block.bmRequestType;
        request.request = block.bRequest;
        request.value = static_cast<uint16_t>(block.uOffset);
        request.index = static_cast<uint16_t>(block.uIndex);
        request.data = std::span<const uint8_t>(block.pbyData, block.pbyData ? block.uLength : 0);
        return device.StartVendorRequest(request, std::move(done));
      };
      break;
    }
    case IOCTL_WAIT_ON_DEVICE_EVENT:
      start = [output, outputSize](UsbDevice& device, UsbCompletion done) {
        return device.StartWaitDeviceEvent(output, output ? outputSize : 0, std::move(done));
      };
      break;
    default:
      m_dwLastError = ERROR_INVALID_FUNCTION;
      RZD_LOG_ERROR(u"DeviceIoControl failed, GetLastError = 0x%08X", m_dwLastError);
      return FALSE;
  }
  bool ok = false;
  const size_t n = RunTransfer(start, retry, output ? kDirectionRead : kDirectionWrite,
                               u"DeviceIoControl failed, GetLastError = 0x%08X", &ok);
  if (returned) *returned = static_cast<uint32_t>(n);
  RZD_LOG_INFO(u"DeviceIoControl Exit. Bytes Returned %d", returned ? static_cast<int>(n) : 0);
  return ok ? TRUE : FALSE;
}

BOOL CDevice::IoErrorOccurred(uint32_t error, int attempt, int direction) {
  const char16_t* directionText = direction == kDirectionRead ? u"Read" : direction == kDirectionWrite ? u"Write" : u"None";
  RZD_LOG_INFO(u"Params: Error = 0x%08X, Retry = %d, Direction = %s", error, attempt, directionText);
  BOOL repeat = FALSE;
  if (IsOpen() && attempt <= 0 && (error == ERROR_ACCESS_DENIED || error == ERROR_DEVICE_NOT_CONNECTED)) {
    RZD_LOG_WARN(u"Attempting recovery from possible device disconnection");
    CloseDevice();
    DeviceOpen();
    if (IsOpen()) {
      RZD_LOG_WARN(u"Recovered from device disconnection");
      repeat = TRUE;
    } else {
      RZD_LOG_ERROR(u"Failed to recover from device disconnection");
    }
  }
  RZD_LOG_INFO(u"IoErrorOccurred Exit [%s]", repeat ? u"TRUE" : u"FALSE");
  return repeat;
}

}  // namespace rzd::lowdrv
