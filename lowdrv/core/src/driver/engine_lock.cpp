// Lock and unlock of the unit, and the event shared with an older driver of the same engine.
#include "foundation/func_trace.h"
#include "foundation/message_wait.h"
#include "lowdrv/core/driver_engine.h"
#include "lowdrv/core/driver_names.h"
#include "process_state.h"

#include <cstring>

namespace rzd::lowdrv {

LLDError CRZDREduzidLLD::LockScanner(const void* pIn, uint32_t stSizeIn) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"LockScanner");
  RZD_TRACE_DWORD(&result);
  if (m_ulStatus == state::kLocked) return result = 0;
  if (m_ulStatus != state::kOpen) {
    RZD_LOG_ERROR_OF(EngineLog(), u"LockScanner failed because m_ulStatus=%d", static_cast<int>(m_ulStatus));
    return result = lld::kWrongSequence;
  }
  if (!pIn || stSizeIn < 4) return result = lld::kInvalidParameter;
  uint32_t timeoutMs = 0;
  std::memcpy(&timeoutMs, pIn, sizeof timeoutMs);
  result = ReserveSemaphore(timeoutMs);
  if (result != 0) return result;
  if (LoadOldLLDSyncObject()) {
    UnlockOldLLDSyncObject();
    if (!LockOldLLDSyncObject(timeoutMs)) {
      RZD_LOG_ERROR_OF(EngineLog(), u"LockScanner failed because reserving LockOldLLDSyncObject() failed");
      ReleaseScannerSemaphore();
      return result = lld::kInUse;
    }
  }
  m_ulStatus = state::kLocked;
  return result = 0;
}

LLDError CRZDREduzidLLD::UnlockScanner() {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"UnlockScanner");
  RZD_TRACE_DWORD(&result);
  if (m_ulStatus <= state::kOpen) {
    RZD_LOG_ERROR_OF(EngineLog(), u"UnlockScanner failed because is not locked");
    return result = 0;
  }
  // A calibration runs on the unit only while this object holds it.
  if (m_ulStatus == state::kCalibrating) EndCalibrationThread(30 * m_ulCalibThreadWait);
  if (m_bNewCommandSet && m_errDFDErrWait != 0 && m_ulStatus == state::kLocked) {
    // A unit left paused on a double feed is taken and given back, which ends the pause.
    m_ReduzidScanner.m_ulCmdTimeout = m_ulReleaseTimeout;
    m_ReduzidScanner.ReserveUnit(2);
    m_ReduzidScanner.ReleaseUnit(2);
    m_errDFDErrWait = 0;
  }
  CancelOperation();
  ReleaseScannerSemaphore();
  UnlockOldLLDSyncObject();
  m_ulStatus = state::kOpen;
  return result = 0;
}

BOOL CRZDREduzidLLD::LoadOldLLDSyncObject() {
  if (m_hOldDriverEvent) return TRUE;
  const std::u16string name = OldDriverEventName(m_strOldDriverEventPrefix, m_strDevicePath);
  // A lock holder that is killed must not keep the unit from every other process for as long as
  // any of them keeps it open: the event comes back when its taker's process ends.
  ObjectResult<Event> made = Event::Create(name, false, true, TakeRule::kGivenBackWhenTakerEnds);
  if (!made && made.error == ERROR_ACCESS_DENIED) made = Event::Open(name);
  m_hOldDriverEvent = made.handle;
  return m_hOldDriverEvent ? TRUE : FALSE;
}

BOOL CRZDREduzidLLD::UnLoadOldLLDSyncObject() {
  // An event this object still holds is given back before its handle goes.
  UnlockOldLLDSyncObject();
  m_hOldDriverEvent.Close();
  return TRUE;
}

BOOL CRZDREduzidLLD::LockOldLLDSyncObject(uint32_t timeoutMs) {
  if (!m_hOldDriverEvent) return FALSE;
  if (WaitWithMessageLoop(m_hOldDriverEvent, timeoutMs) != WAIT_OBJECT_0) return FALSE;
  driver_process::SetOldDriverHolder(this);
  return TRUE;
}

BOOL CRZDREduzidLLD::UnlockOldLLDSyncObject() {
  // Only the object that took the event gives it back: another object of the process that opens
  // or locks meanwhile never releases what this one holds.
  if (!m_hOldDriverEvent || !driver_process::ClearOldDriverHolder(this)) return FALSE;
  m_hOldDriverEvent.Set();
  return TRUE;
}

}  // namespace rzd::lowdrv
