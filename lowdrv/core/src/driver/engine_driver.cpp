// The engine driver's construction, destruction, the settings link and its small operations.
#include "lowdrv/core/driver_engine.h"

#include "foundation/func_trace.h"
#include "foundation/message_wait.h"
#include "lowdrv/core/driver_names.h"
#include "lowdrv/core/driver_system.h"
#include "process_state.h"

#include <algorithm>
#include <cstring>

namespace rzd::lowdrv {

CRZDREduzidLLD::CRZDREduzidLLD(std::u16string_view devicePath)
    : CRZDBaseLLD(devicePath), m_pSettings(std::make_unique<CScannerSettings_AV>()), m_EngineLog(u"RZD REduzid LLD") {
  // The unit's button-thread event: created first (which also opens an existing one, signalled
  // when new), opened when creation is denied. A process that took it and was killed counts as
  // having given it back, so another process can take the buttons thread over.
  const std::u16string name = ButtonThreadEventName(m_strDevicePath);
  ObjectResult<Event> made = Event::Create(name, false, true, TakeRule::kGivenBackWhenTakerEnds);
  if (!made && made.error == ERROR_ACCESS_DENIED) made = Event::Open(name);
  m_hButtonThreadEvent = made.handle;
  m_hCalibEvent = Event::Unnamed(true, false);  // the calibration thread's started event
}

CRZDREduzidLLD::~CRZDREduzidLLD() {
  EndCalibrationThread(30 * m_ulCalibThreadWait);
  m_hCalibEvent.Close();
  if (m_ulStatus != state::kClosed) CloseScanner();
  m_hButtonThreadEvent.Close();
  m_pSettings.reset();
}

void CRZDREduzidLLD::ReplaceSettings(std::unique_ptr<CScannerSettings_AV> settings) { m_pSettings = std::move(settings); }

std::u16string CRZDREduzidLLD::GetLastErrorString(LLDError error) {
  return std::u16string(CReduzidInterface::ScannerErrorToText(error));
}

bool CRZDREduzidLLD::HoldsOldDriverEvent() const { return driver_process::OldDriverHolder() == this; }

// ---- What the settings model asks.

bool CRZDREduzidLLD::IsImprinterFitted() { return m_bImprinterFound != 0; }

bool CRZDREduzidLLD::GetPowerTimeoutLimits(RZDPowerTimeoutLimits* limits) {
  if (!limits) return false;
  *limits = driver_process::PowerLimits();
  return limits->found != 0;
}

void CRZDREduzidLLD::AdaptSupportedSettings(MSXML6StoreBSTR& store) { LLDHookA(store); }

// ---- Small operations.

uint32_t CRZDREduzidLLD::GetStatus() {
  if (m_ulStatus != state::kLocked) return m_ulStatus;
  // Locked: the engine says whether it is ready, warming up, or no longer held.
  m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;
  if (m_ReduzidScanner.TestUnitReady()) return state::kLocked;
  switch (m_ReduzidScanner.m_ulLastError) {
    case lld::kNoPaper: return state::kLocked;
    case lld::kLampWarmingUp: return state::kWarmingUp;
    default: return state::kOpen;
  }
}

LLDError CRZDREduzidLLD::ResetHardware() {
  RZD_FUNC_TRACE_OF(EngineLog(), u"ResetHardware");
  if (m_ulStatus != state::kLocked) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ResetHardware failed because m_ulStatus is %d", static_cast<int>(m_ulStatus));
    return lld::kWrongSequence;
  }
  m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;
  if (!m_ReduzidScanner.ResetUnit()) {
    const LLDError code = m_ReduzidScanner.m_ulLastError;
    RZD_LOG_ERROR_OF(EngineLog(), u"ResetHardware failed because m_ReduzidScanner.ResetUnit() failed with %d",
                     static_cast<int>(code));
    return code;
  }
  return 0;
}

LLDError CRZDREduzidLLD::CancelOperation() {
  RZD_FUNC_TRACE_OF(EngineLog(), u"CancelOperation");
  if (m_ulStatus != state::kScanning) {
    RZD_LOG_INFO_OF(EngineLog(), u"Cancel operation no work to do, m_ulStatus is %d", static_cast<int>(m_ulStatus));
    return 0;
  }
  m_ulStatus = state::kLocked;
  m_ulSubState = 6;
  const bool newSet = m_bNewCommandSet != 0;
  if (m_errDFDErrWait != 0) {
    if (m_pSettings->m_bDFDResetOption && m_bDFDResetPending) {
      m_bDFDResetPending = 0;
      if (!newSet) return lld::kInvalidCommand;
      if (!m_ReduzidScanner.SendResetDFDSelection()) return m_ReduzidScanner.m_ulLastError;
    }
    return 0;
  }
  LLDError result = 0;
  m_ReduzidScanner.m_ulCmdTimeout = m_ulReleaseTimeout;
  BOOL released = m_ReduzidScanner.ReleaseUnit(1);
  if (released && newSet) released = m_ReduzidScanner.ReleaseUnit(2);
  if (!released) {
    const LLDError code = m_ReduzidScanner.m_ulLastError;
    if (code != 0 && code != lld::kCancelled) {
      RZD_LOG_ERROR_OF(EngineLog(), u"CancelOperation failed because m_ReduzidScanner.ReleaseUnit(1) failed with %d",
                       static_cast<int>(code));
      return code;
    }
    result = code;
  }
  if (newSet && m_bUnitReserved) {
    m_bUnitReserved = 0;
    if (!m_ReduzidScanner.ReleaseUnit(2)) {
      const LLDError code = m_ReduzidScanner.m_ulLastError;
      RZD_LOG_ERROR_OF(EngineLog(), u"CancelOperation failed because m_ReduzidScanner.ReleaseUnit(2) failed with %d",
                       static_cast<int>(code));
      return code;
    }
    if (m_pSettings->ImprinterOptionOn() && m_bImprinterStarted) {
      m_ReduzidScanner.DisableImprinter();
      m_ReduzidScanner.StopImprinter();
    }
    m_bImprinterStarted = 0;
  }
  return result;
}

LLDError CRZDREduzidLLD::FindImprinter(uint8_t* pbyFound) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"FindImprinter");
  RZD_TRACE_DWORD(&result, u"pbyFound = 0x%X", static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pbyFound)));
  if (!pbyFound) return result = lld::kInvalidParameter;
  RZD_TRACE_OUTPUT(u"*pbyFound = %d", pbyFound, kTraceByte);
  *pbyFound = m_bImprinterFound;
  return result;
}

LLDError CRZDREduzidLLD::SetTrayHeight(uint16_t wHeight) {
  RZD_FUNC_TRACE_OF(EngineLog(), u"SetTrayHeight");
  // The classic set has no tray command: nothing is sent, and that is not a success.
  if (!m_bNewCommandSet) return lld::kNotImplemented;
  m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;
  if (!m_ReduzidScanner.SendTrayHeight(wHeight)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"SetTrayHeight failed because SendTrayHeight failed with %d",
                     static_cast<int>(m_ReduzidScanner.m_ulLastError));
    return m_ReduzidScanner.m_ulLastError;
  }
  return 0;
}

LLDError CRZDREduzidLLD::SendLCDString(uint16_t wNumber, const char16_t* strText) {
  RZD_FUNC_TRACE_OF(EngineLog(), u"SendLCDString");
  const std::string text = WideToNarrow(strText ? std::u16string_view(strText) : std::u16string_view());
  // The classic set has no LCD strings: nothing is sent, and that is not a success.
  if (!m_bNewCommandSet) return lld::kNotImplemented;
  uint8_t block[kLCDStringBlockSize] = {};
  block[2] = 1;
  block[3] = static_cast<uint8_t>(kLCDStringBlockSize & 0xFF);
  block[4] = static_cast<uint8_t>(kLCDStringBlockSize >> 8);
  block[5] = static_cast<uint8_t>(wNumber & 0xFF);
  block[6] = static_cast<uint8_t>(wNumber >> 8);
  const size_t length = std::min<size_t>(text.size(), kLCDStringBlockSize - 11);
  block[8] = static_cast<uint8_t>(length);
  std::memcpy(block + 11, text.data(), length);
  m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;
  if (!m_ReduzidScanner.SendLCDSpecifyStringDataNew(block)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"SendLCDString failed because SendLCDSpecifyStringData failed with %d",
                     static_cast<int>(m_ReduzidScanner.m_ulLastError));
    return m_ReduzidScanner.m_ulLastError;
  }
  return 0;
}

LLDError CRZDREduzidLLD::MediaCheck(uint8_t* pbyStatus, uint8_t byCheckType) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"MediaCheck");
  RZD_TRACE_DWORD(&result, u"pbyStatus = 0x%X, byCheckType = %d",
                  static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pbyStatus)), static_cast<int>(byCheckType));
  if (pbyStatus) RZD_TRACE_OUTPUT(u"*pbyStatus = 0x%02X", pbyStatus, kTraceByte);
  if (!m_ReduzidScanner.MediaCheck(byCheckType, pbyStatus)) result = m_ReduzidScanner.m_ulLastError;
  return result;
}

bool CRZDREduzidLLD::GetInterfaceCapabilityFlag() { return m_ReduzidScanner.m_Caps.InputTray != 0; }

void CRZDREduzidLLD::LLDHookA(MSXML6StoreBSTR& /*store*/) {}

BOOL CRZDREduzidLLD::LLDHookB() { return FALSE; }

void CRZDREduzidLLD::LLDHookA(ReduzidWindowDesc& /*window*/) {}

LLDError CRZDREduzidLLD::ReadBackgroundRaster(uint8_t* pbyBuffer, uint32_t length) {
  return EngineReadBackgroundRaster(pbyBuffer, length);
}

LLDError CRZDREduzidLLD::EngineReadBackgroundRaster(uint8_t* pbyBuffer, uint32_t length) {
  if (!pbyBuffer || length == 0) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ReadBackgroundRaster failed because of invalid parameter.");
    return lld::kInvalidParameter;
  }
  if (!m_ReduzidScanner.ReadBackgroundRaster(pbyBuffer, length)) return m_ReduzidScanner.m_ulLastError;
  return 0;
}

}  // namespace rzd::lowdrv
