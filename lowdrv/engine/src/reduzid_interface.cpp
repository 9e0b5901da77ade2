// CReduzidInterface: command execution in both command sets, sense handling and readiness.
#include "lowdrv/engine/reduzid_interface.h"

#include "engine_operation.h"
#include "lowdrv/engine/byte_order.h"
#include "lowdrv/engine/command_blocks.h"
#include "lowdrv/engine/command_lock.h"
#include "lowdrv/engine/sense_decode.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace rzd::lowdrv {

namespace {

constexpr uint8_t kCheckCondition = 2;
constexpr uint32_t kUnitReadyTimeoutMs = 3000;
constexpr int kUnitReadyAttempts = 10;

// A failed command always reports a code: a unit attention (sense key 6) decodes to 0, which
// would read as success, so it becomes "Device or Bus Reset Detected"; any other missing code
// becomes "Unknown Error".
LLDError FailureCode(LLDError code, const ReduzidSense& sense) {
  if (code != lld::kSuccess) return code;
  return SenseKeyOf(sense) == 6 ? lld::kDeviceReset : lld::kUnknownError;
}

}  // namespace

CReduzidInterface::CReduzidInterface() : CScannerBase(u"Reduzid Device") {}

CReduzidInterface::~CReduzidInterface() = default;

BOOL CReduzidInterface::SetDevice(CDevice* device, const EngineInquiryCache* cached, uint32_t timeoutMs) {
  EngineOperation op(*this, u"SetDevice");
  m_pUSBDevice = dynamic_cast<CUSBDevice*>(device);
  if (!m_pUSBDevice) return op.Done(FALSE);
  if (cached) {
    // A cached open takes everything the inquiry gave: the record and the new-set capabilities.
    ReduzidInq = cached->Inquiry;
    m_Caps.InputTray |= cached->Caps.InputTray;
    m_Caps.Ultrasonic |= cached->Caps.Ultrasonic;
    m_Caps.ExtendedMultifeed |= cached->Caps.ExtendedMultifeed;
    m_Caps.Imprinter |= cached->Caps.Imprinter;
    m_Caps.WindowByte66 |= cached->Caps.WindowByte66;
    std::memcpy(m_Caps.Calibration, cached->Caps.Calibration, sizeof m_Caps.Calibration);
    return op.Done(TRUE);
  }
  if (timeoutMs != 0) {
    const uint32_t saved = m_ulCmdTimeout;
    m_ulCmdTimeout = timeoutMs;
    TestUnitReady();
    m_ulCmdTimeout = saved;
  }
  ReduzidInq = {};
  Inquiry();
  if (ReduzidInq.ProductQualifier == 6) return op.Done(TRUE);
  Inquiry();
  return op.Done(ReduzidInq.ProductQualifier == 6 ? TRUE : FALSE);
}

EngineInquiryCache CReduzidInterface::GetInquiryCache() const {
  EngineInquiryCache cache;
  cache.Inquiry = ReduzidInq;
  cache.Caps = m_Caps;
  return cache;
}

LLDError CReduzidInterface::InterfaceToScannerError() {
  const bool open = m_pUSBDevice && m_pUSBDevice->IsOpen();
  const uint32_t error = m_pUSBDevice ? m_pUSBDevice->m_dwLastError : ERROR_INVALID_HANDLE;
  RZD_LOG_ERROR(u"InterfaceToScannerError(): %d", static_cast<int>(error));
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_GEN_FAILURE:
    case 433:  // the request named a device that does not exist
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_NOT_CONNECTED:
      return lld::kUnreachable;
    case WAIT_TIMEOUT:
      return lld::kTimeout;
    default:
      return open ? lld::kUnknownError : lld::kUnreachable;
  }
}

LLDError CReduzidInterface::SenseToScannerError(const ReduzidSense& sense) const {
  return ::rzd::lowdrv::SenseToScannerError(sense);
}

std::u16string_view CReduzidInterface::ScannerErrorToText(LLDError code) { return ::rzd::lowdrv::ScannerErrorToText(code); }

void CReduzidInterface::SendSenseToCaller(void* data, uint32_t dataLength) {
  ReduzidSense wire = m_Sense;
  ConvertByteOrder(wire);
  if (data) std::memcpy(data, &wire, std::min<uint32_t>(dataLength, sizeof wire));
}

BOOL CReduzidInterface::DoCommandPhases(void* data, uint32_t dataLength, int direction, uint32_t& dataCount) {
  CUSBDevice& device = *m_pUSBDevice;
  // Command phase.
  bool sent = false;
  if (m_bNewCommandSet) {
    RZD_LOG_INFO(u"Executing Send USB Request");
    IO_BLOCK_EX block;
    block.uOffset = 0;
    block.uLength = sizeof m_Cdb;
    block.pbyData = m_Cdb;
    block.uIndex = 0;
    block.bRequest = 4;
    block.bmRequestType = 0x40;
    block.fTransferDirectionIn = 0;
    uint32_t returned = 0;
    sent = device.DeviceIoControl(IOCTL_SEND_USB_REQUEST, &block, sizeof block, m_Cdb, sizeof m_Cdb, &returned, false);
  } else {
    sent = device.DeviceWrite(m_Cdb, 10, true) == 10;
  }
  if (!sent) {
    m_ulLastError = InterfaceToScannerError();
    RZD_LOG_ERROR(u"Detected Write Command Phase failure");
    device.CancelPipeIo(WRITE_DATA_PIPE);
    return FALSE;
  }

  // Data phase.
  if (data) {
    uint32_t n = 0;
    if (direction == kDataOut) {
      n = device.DeviceWrite(data, dataLength, false);
      if (n == 0) {
        m_ulLastError = InterfaceToScannerError();
        RZD_LOG_ERROR(u"Detected Write Data Phase failure");
        device.CancelPipeIo(WRITE_DATA_PIPE);
        device.ResetPipe(WRITE_DATA_PIPE);
        device.CancelPipeIo(READ_DATA_PIPE);
        device.ResetPipe(READ_DATA_PIPE);
        return FALSE;
      }
    } else if (direction == kDataIn) {
      n = device.DeviceRead(data, dataLength, false);
      // A read that completed with no byte is an empty data phase (the unit ends the data phase
      // of a READ it fails at once): the status phase follows and brings the check condition.
      // Only a read the transport failed skips it.
      if (n == 0 && device.m_dwLastError != ERROR_SUCCESS) {
        m_ulLastError = InterfaceToScannerError();
        RZD_LOG_ERROR(u"Detected Read Data Phase failure");
        device.CancelPipeIo(READ_DATA_PIPE);
        device.ResetPipe(READ_DATA_PIPE);
        device.CancelPipeIo(WRITE_DATA_PIPE);
        device.ResetPipe(WRITE_DATA_PIPE);
        if (m_ulLastError == lld::kUnknownError) m_ulLastError = InterfaceToScannerError();
        return FALSE;
      }
    }
    dataCount = std::min(n, dataLength);
    RZD_LOG_INFO(u"Actual bytes transferred = %d", static_cast<int>(dataCount));
  }

  // Status phase.
  uint8_t status[3] = {};
  const uint32_t want = m_bNewCommandSet ? 3 : 1;
  const uint32_t got = device.DeviceRead(status, want, false);
  m_byStatus = m_bNewCommandSet ? status[2] : status[0];
  if (got != want) {
    m_byStatus = 0;  // a short status answer carries no status
    m_ulLastError = InterfaceToScannerError();
    RZD_LOG_ERROR(u"Detected Read Status Phase failure");
    device.CancelPipeIo(READ_DATA_PIPE);
    device.ResetPipe(READ_DATA_PIPE);
    device.CancelPipeIo(WRITE_DATA_PIPE);
    device.ResetPipe(WRITE_DATA_PIPE);
    return FALSE;
  }
  return TRUE;
}

BOOL CReduzidInterface::DoSCSICommand(const uint8_t* cdb, uint32_t cdbLength, void* data, uint32_t dataLength,
                                      int direction) {
  std::lock_guard lock(EngineCommandLock());

  // A classic REQUEST SENSE right after a check condition is answered from the stored sense.
  if (!m_bInRequestSense && m_byStatus == kCheckCondition && cdb && cdbLength > 0 && cdb[0] == op::kRequestSense) {
    SendSenseToCaller(data, dataLength);
    m_byStatus = 0;
    return FALSE;
  }
  if ((!data || dataLength == 0) && direction != kDataNone) {
    RZD_LOG_WARN(u"Detected no data condition and incorrect direction flag, correcting");
    direction = kDataNone;
  }
  std::memset(m_Cdb, 0, sizeof m_Cdb);
  if (cdb) std::memcpy(m_Cdb, cdb, std::min<uint32_t>(cdbLength, sizeof m_Cdb));
  if (!m_bInRequestSense) {
    m_Sense = {};
    m_ulLastError = lld::kSuccess;
  }
  // The status describes this command only: a phase that fails leaves no earlier check
  // condition behind to be taken for its own.
  m_byStatus = 0;
  m_ulDataTransferred = 0;
  if (!m_pUSBDevice) {
    m_ulLastError = lld::kUnreachable;
    RZD_LOG_ERROR(u"Calling GetLastError(): %s", std::u16string(ScannerErrorToText(m_ulLastError)).c_str());
    return FALSE;
  }
  m_pUSBDevice->SetTimeout(m_ulCmdTimeout);

  uint32_t dataCount = 0;
  BOOL ok = DoCommandPhases(data, dataLength, direction, dataCount);
  m_ulDataTransferred = dataCount;

  if (m_byStatus == kCheckCondition) {
    RZD_LOG_WARN(u"Received a check condition status byte.");
    if (!m_bInRequestSense) {
      m_bInRequestSense = 1;
      const BOOL sensed = m_bNewCommandSet ? RequestSenseNew(true) : RequestSenseClassic();
      if (sensed) m_ulLastError = ::rzd::lowdrv::SenseToScannerError(m_Sense);
      m_Sense.CommandInfo = dataCount;
      m_bInRequestSense = 0;
      m_byStatus = kCheckCondition;
      m_ulDataTransferred = dataCount;
      ok = FALSE;
    }
  } else {
    RZD_LOG_INFO(u"Status Byte: %02X", m_byStatus);
  }
  if (!ok && !m_bInRequestSense) m_ulLastError = FailureCode(m_ulLastError, m_Sense);
  if (!ok && m_ulLastError != lld::kNoSense) {
    RZD_LOG_ERROR(u"Calling GetLastError(): %s", std::u16string(ScannerErrorToText(m_ulLastError)).c_str());
  }
  return ok;
}

BOOL CReduzidInterface::Run(const Cdb& cdb, void* data, uint32_t length, int direction) {
  return DoSCSICommandLogged(cdb.data(), static_cast<uint32_t>(cdb.length), data, length, direction);
}

BOOL CReduzidInterface::Refuse(LLDError code) {
  // A refused command is the last command: nothing of an earlier one may be read as its outcome.
  m_Sense = {};
  m_byStatus = 0;
  m_ulDataTransferred = 0;
  m_ulLastError = code;
  return FALSE;
}

BOOL CReduzidInterface::RefuseClassic() {
  RZD_LOG_ERROR(u"Function not supported by the classic command set");
  return Refuse(lld::kInvalidCommand);
}

// ---- Sense and readiness.

BOOL CReduzidInterface::RequestSense() { return m_bNewCommandSet ? RequestSenseNew(false) : RequestSenseClassic(); }

BOOL CReduzidInterface::RequestSenseNew(bool automatic) {
  EngineOperation op(*this, u"RequestSense");
  uint8_t response[kNewSenseResponseSize] = {};
  const BOOL ok = Run(NewRequestSenseCdb(!automatic), response, sizeof response, kDataIn);
  if (ok) {
    m_Sense = SenseFromNewResponse(response);
    if (DataDumpsOn(*this)) RZD_LOG_DATA_INFO(u"%S", DumpSense(m_Sense).c_str());
  }
  return op.Done(ok);
}

BOOL CReduzidInterface::RequestSenseClassic() {
  EngineOperation op(*this, u"RequestSense");
  const uint32_t length = m_bLongSense ? 32 : 22;
  uint8_t wire[sizeof(ReduzidSense)] = {};
  const BOOL ok = Run(ClassicRequestSenseCdb(m_bLongSense != 0), wire, length, kDataIn);
  if (ok) {
    std::memcpy(&m_Sense, wire, sizeof m_Sense);
    ConvertByteOrder(m_Sense);
    if (DataDumpsOn(*this)) RZD_LOG_DATA_INFO(u"%S", DumpSense(m_Sense).c_str());
  }
  return op.Done(ok);
}

BOOL CReduzidInterface::TestUnitReady() { return m_bNewCommandSet ? TestUnitReadyNew() : TestUnitReadyClassic(); }

BOOL CReduzidInterface::TestUnitReadyNew() {
  EngineOperation op(*this, u"TestUnitReady", true);
  if (!RequestSenseNew(false)) {
    // A time-out stays a time-out, so a waiting caller stops at once; anything else means the
    // unit cannot be reached.
    m_ulLastError = m_ulLastError == lld::kTimeout ? lld::kTimeout : lld::kUnreachable;
    return op.Done(FALSE);
  }
  m_ulLastError = ::rzd::lowdrv::SenseToScannerError(m_Sense);
  const bool ready = SenseKeyOf(m_Sense) == 0;
  if (!ready) m_ulLastError = FailureCode(m_ulLastError, m_Sense);
  return op.Done(ready ? TRUE : FALSE);
}

BOOL CReduzidInterface::TestUnitReadyClassic() {
  EngineOperation op(*this, u"TestUnitReady");
  return op.Done(Run(ClassicTestUnitReadyCdb(), nullptr, 0, kDataNone));
}

LLDError CReduzidInterface::WaitForUnitReady() {
  const uint32_t saved = m_ulCmdTimeout;
  m_ulCmdTimeout = kUnitReadyTimeoutMs;
  LLDError result = lld::kSuccess;
  bool ready = false;
  for (int attempt = 0; attempt < kUnitReadyAttempts && !ready; ++attempt) {
    if (TestUnitReady()) {
      ready = true;
    } else if (m_ulLastError == lld::kTimeout) {
      break;
    }
  }
  if (!ready) result = m_ulLastError;
  m_ulCmdTimeout = saved;
  return result;
}

}  // namespace rzd::lowdrv
