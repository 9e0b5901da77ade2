// The engine driver's control-code dispatcher.
#include "foundation/func_trace.h"
#include "lowdrv/core/driver_engine.h"

#include <cstring>

namespace rzd::lowdrv {

namespace {

// The first 32-bit word of a caller's buffer that holds at least 4 bytes.
uint32_t FirstWord(const void* buffer) {
  uint32_t value = 0;
  std::memcpy(&value, buffer, sizeof value);
  return value;
}

void PutFirstWord(void* buffer, uint32_t value) { std::memcpy(buffer, &value, sizeof value); }

// An output buffer of at least 4 bytes with its size pointer.
bool HasWordOut(const void* pOut, const uint32_t* pSize) { return pOut && pSize && *pSize >= 4; }

}  // namespace

LLDError CRZDREduzidLLD::DoControlCode(uint32_t dwControlCode, const char16_t* strIn, BSTR* pstrOut, void* pbyBufferIn,
                                       uint32_t stSizeIn, void* pbyBufferOut, uint32_t* pstActualSizeOut) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"DoControlCode");
  RZD_TRACE_DWORD(&result, u"dwControlCode = %d", static_cast<int32_t>(dwControlCode));

  // A unit whose USB handle was closed (a removal, a reopen switch) is reopened before a device
  // command; the service's notification code never reopens.
  if (m_bReopen && (dwControlCode & ccbit::kDevice) && dwControlCode != cc::kSessionStateChanged &&
      !m_ScannerDevice.IsOpen() && m_ulStatus != state::kClosed) {
    m_ScannerDevice.DeviceOpen();
  }

  const uint8_t* in = static_cast<const uint8_t*>(pbyBufferIn);
  const bool inWord = in && stSizeIn >= 4;
  // Set the wake-up event after the operation, whatever its result (a size guard that refuses
  // before the operation runs sends nothing to the unit and wakes nothing).
  bool wake = false;

  switch (dwControlCode) {
    case cc::kUnlock:
      result = UnlockScanner();
      break;
    case cc::kResetHardware:
      result = ResetHardware();
      wake = true;
      break;
    case cc::kCancel:
      result = CancelOperation();
      wake = true;
      break;
    case cc::kWriteDefaultFirmware:
      result = WriteDefaultFirmware();
      wake = true;
      break;
    case cc::kGenericControl:
      result = GenericControl(strIn, inWord ? FirstWord(in) : 0);
      break;
    case cc::kStatus:
      if (!HasWordOut(pbyBufferOut, pstActualSizeOut)) {
        result = lld::kInvalidParameter;
        break;
      }
      PutFirstWord(pbyBufferOut, GetStatus());
      *pstActualSizeOut = 4;
      result = 0;
      break;
    case cc::kLock:
      result = LockScanner(pbyBufferIn, in ? stSizeIn : 0);
      break;
    case cc::kWriteLcdScreen:
      result = WriteLcdScreen(pbyBufferIn, in ? stSizeIn : 0, strIn);
      break;
    case cc::kSetPageNumber:
      if (!inWord) {
        result = lld::kInvalidParameter;
        break;
      }
      m_ulPageNumber = FirstWord(in);
      result = 0;
      break;
    case cc::kSetTrayHeight: {
      // An automation variant: its 16-bit value lies at byte 8, so the input holds at least 10 bytes.
      if (!in || stSizeIn < 10) {
        RZD_LOG_ERROR_OF(EngineLog(), u"SetTrayHeight failed because stSizeIn = %d", static_cast<int>(stSizeIn));
        result = lld::kInvalidParameter;
        break;
      }
      uint16_t height = 0;
      std::memcpy(&height, in + 8, sizeof height);
      m_wLastTrayHeight = height;
      result = SetTrayHeight(height);
      break;
    }
    case cc::kSendLcdString:
      // The only layout this code ever had carries the address of a string inside the caller's
      // bytes; the driver never reads memory through an address a caller hands it.
      RZD_LOG_ERROR_OF(EngineLog(), u"SendLCDString failed because the input holds no string the driver may read");
      result = lld::kInvalidParameter;
      break;
    case cc::kSessionStateChanged:
      result = SessionStateChanged(pbyBufferIn, in ? stSizeIn : 0);
      break;
    case cc::kScannerInfo:
      result = GetScannerInfoString(pstrOut);
      wake = true;
      break;
    case cc::kSupportedSettings:
      result = GetScannerSupportedString(pstrOut);
      break;
    case cc::kCurrentSettings:
      result = GetScannerCurrentString(pstrOut);
      break;
    case cc::kResetCurrentSettings:
      result = ResetCurrentSettings(pstrOut);
      break;
    case cc::kStartCalibration:
      result = StartCalibration(pstrOut);
      break;
    case cc::kPollButtons:
      result = PollButtons(pstrOut);
      break;
    case cc::kCalibrationStatus: {
      // The operation reads one 32-bit word and writes one.
      if (!inWord || !HasWordOut(pbyBufferOut, pstActualSizeOut)) {
        result = lld::kInvalidParameter;
        if (pstActualSizeOut) *pstActualSizeOut = 0;
        break;
      }
      uint32_t inWordValue = FirstWord(in);
      uint32_t outWordValue = 0;
      result = GetCalibrationStatus(&inWordValue, &outWordValue, *pstActualSizeOut, pstrOut);
      if (result == 0) PutFirstWord(pbyBufferOut, outWordValue);
      *pstActualSizeOut = result == 0 ? 4 : 0;
      break;
    }
    case cc::kSetCurrentSettings:
      result = SetScannerCurrentString(strIn);
      break;
    case cc::kPollSensor:
    case cc::kPollButton: {
      if (!HasWordOut(pbyBufferOut, pstActualSizeOut)) {
        result = lld::kInvalidParameter;
        break;
      }
      uint32_t value = 0;
      result = dwControlCode == cc::kPollSensor ? PollSensor(&value, strIn) : PollButton(&value, strIn);
      if (result == 0) PutFirstWord(pbyBufferOut, value);
      *pstActualSizeOut = result == 0 ? 4 : 0;
      wake = dwControlCode == cc::kPollSensor;
      break;
    }
    case cc::kGetIndicator: {
      if (!HasWordOut(pbyBufferOut, pstActualSizeOut)) {
        result = lld::kInvalidParameter;
        break;
      }
      uint32_t value = 0;
      uint32_t size = *pstActualSizeOut;
      result = GetIndicator(&value, &size, strIn);
      if (result == 0) PutFirstWord(pbyBufferOut, value);
      *pstActualSizeOut = result == 0 ? size : 0;
      wake = true;
      break;
    }
    case cc::kWriteFirmware:
      result = WriteFirmware(pbyBufferIn, in ? stSizeIn : 0, strIn);
      wake = true;
      break;
    case cc::kSetIndicator:
      result = SetIndicator(pbyBufferIn, in ? stSizeIn : 0, strIn);
      wake = true;
      break;
    case cc::kExecControl:
      result = ExecControl(pbyBufferIn, in ? stSizeIn : 0, strIn);
      wake = true;
      break;
    case cc::kResetCounter:
      result = ResetScannerCounter(pbyBufferIn, in ? stSizeIn : 0, strIn);
      wake = true;
      break;
    case cc::kBinaryControl:
      result = BinaryControl(pbyBufferIn, strIn);
      break;
    default:
      result = CRZDBaseLLD::DoControlCode(dwControlCode, strIn, pstrOut, pbyBufferIn, stSizeIn, pbyBufferOut,
                                          pstActualSizeOut);
      break;
  }
  if (wake) SetWakeupEvent();
  return result;
}

}  // namespace rzd::lowdrv
