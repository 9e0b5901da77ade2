// CUSBDevice: pipe requests, ids from the path, and the open that drains stale input.
#include "lowdrv/engine/usb_device.h"

#include "lowdrv/engine/model_ids.h"
#include "platform/text.h"

#include <vector>

namespace rzd::lowdrv {

namespace {

// The hexadecimal number right after `tag` in `path`; 0 when the tag is missing.
uint32_t HexAfter(const std::u16string& path, std::u16string_view tag) {
  const size_t at = path.find(tag);
  if (at == std::u16string::npos) return 0;
  uint32_t value = 0;
  for (size_t i = at + tag.size(); i < path.size() && i < at + tag.size() + 8; ++i) {
    const int digit = HexDigitValue(path[i]);
    if (digit < 0) break;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  return value;
}

constexpr uint32_t kFlushChunk = 1024;
constexpr uint32_t kFlushMaxReads = 0x100000;
constexpr uint32_t kFlushTimeoutMs = 100;
constexpr uint32_t kDefaultTimeoutMs = 10000;

}  // namespace

CUSBDevice::CUSBDevice() : CUSBDevice(u"USB Device") {}

CUSBDevice::CUSBDevice(std::u16string featureName) : CDevice(std::move(featureName)) {}

CUSBDevice::~CUSBDevice() = default;

void CUSBDevice::UniqueNameChanged() {
  CDevice::UniqueNameChanged();
  m_ulVendorId = HexAfter(m_strUniqueName, u"vid_");
  m_ulProductId = HexAfter(m_strUniqueName, u"pid_");
  // Units are only ever the model's: the vendor id is the model's whatever the path says.
  m_ulVendorId = kModelUsbVendorId;
  RZD_LOG_INFO(u"Detected VID = 0x%04X, PID = 0x%04X", m_ulVendorId, m_ulProductId);
}

BOOL CUSBDevice::ResetPipe(uint32_t pipeType) {
  RZD_LOG_INFO(u"Executing Reset on Pipe %d", static_cast<int>(pipeType));
  return DeviceIoControl(IOCTL_RESET_PIPE, &pipeType, sizeof pipeType, nullptr, 0, nullptr, false);
}

BOOL CUSBDevice::CancelPipeIo(uint32_t pipeType) {
  RZD_LOG_INFO(u"Executing Cancel IO on Pipe %d", static_cast<int>(pipeType));
  return DeviceIoControl(IOCTL_CANCEL_IO, &pipeType, sizeof pipeType, nullptr, 0, nullptr, false);
}

BOOL CUSBDevice::IoErrorOccurred(uint32_t error, int attempt, int direction) {
  if (CDevice::IoErrorOccurred(error, attempt, direction)) return TRUE;
  if (attempt <= 0 && error == ERROR_GEN_FAILURE) {
    RZD_LOG_INFO(u"Try something here");
    return ResetPipe(direction == kDirectionWrite ? WRITE_DATA_PIPE : READ_DATA_PIPE);
  }
  return FALSE;
}

BOOL CUSBDevice::OpenAndFlush(bool flush) {
  BOOL ok = CDevice::DeviceOpen();
  if (ok && flush) {
    ResetPipe(WRITE_DATA_PIPE);
    ResetPipe(READ_DATA_PIPE);
    SetTimeout(kFlushTimeoutMs);
    std::vector<uint8_t> chunk(kFlushChunk);
    uint32_t reads = 0;
    while (reads < kFlushMaxReads && DeviceRead(chunk.data(), kFlushChunk, false) != 0) ++reads;
    ResetPipe(WRITE_DATA_PIPE);
    ResetPipe(READ_DATA_PIPE);
    SetTimeout(kDefaultTimeoutMs);
    if (reads >= kFlushMaxReads) {
      CloseDevice();
      ok = FALSE;
    }
  }
  RZD_LOG_INFO(u"Device Open Entered");
  return ok;
}

}  // namespace rzd::lowdrv
