// Open and close of the unit by the engine driver.
#include "buttons_runner.h"
#include "foundation/func_trace.h"
#include "lowdrv/core/driver_engine.h"
#include "lowdrv/core/driver_names.h"
#include "lowdrv/core/driver_system.h"
#include "process_state.h"

namespace rzd::lowdrv {

namespace {

// An earlier open of this process read the engine and built the settings: later opens may go on
// from the stored records while another holder has the unit.
bool ProcessHasRecords() {
  return CRZDScannerSettingsBase::IsSettingsInitialised() && driver_process::CachedInquiry().has_value();
}

}  // namespace

LLDError CRZDREduzidLLD::OpenScanner() {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"OpenScanner");
  RZD_TRACE_DWORD(&result);

  m_ulReadTimeout = m_ulCmdTimeout;
  m_ReduzidScanner.m_bNewCommandSet = m_bNewCommandSet;
  m_ReduzidScanner.m_bLongSense = m_bLongSense;
  m_errDFDErrWait = 0;
  m_bUnitReserved = 0;
  m_bDFDResetPending = 0;
  m_bImprinterStarted = 0;
  m_ulPageNumber = 1;
  m_ulSideCounter = 1;
  m_pSettings->m_strFriendlyNameA = WideToNarrow(m_strFriendlyName);

  if (m_ulStatus != state::kClosed) {
    RZD_LOG_ERROR_OF(EngineLog(), u"OpenScanner failed because scanner is already open");
    return result = lld::kWrongSequence;
  }
  result = CreateScannerSemaphore(m_strSemaphorePrefix);
  if (result != 0) return result;

  // The unit is held only while the open talks to the engine. A process that has read the unit
  // once goes on without it while another holder has it.
  bool held = false;
  result = ReserveSemaphore(m_ulCmdTimeout);
  if (result == 0) {
    held = true;
  } else if (result == lld::kInUse) {
    if (!ProcessHasRecords()) return result;
    result = 0;
  } else {
    UnLoadOldLLDSyncObject();
    return result;
  }

  if (LoadOldLLDSyncObject()) {
    UnlockOldLLDSyncObject();
    if (held && !LockOldLLDSyncObject(m_ulCmdTimeout)) {
      ReleaseScannerSemaphore();
      held = false;
      if (!ProcessHasRecords()) {
        RZD_LOG_ERROR_OF(EngineLog(), u"OpenScanner failed to reserve the OldLLDNamedMutex");
        CloseScannerSemaphore();
        UnLoadOldLLDSyncObject();
        return result = lld::kInUse;
      }
    }
  }

  result = OpenUnitAndReadConfig(held);
  if (result != 0) {
    UndoFailedOpen(held);
    return result;
  }
  if (held) {
    ReleaseScannerSemaphore();
    UnlockOldLLDSyncObject();
  }

  // The wake-up event tells a waiter outside the system that the unit may have woken; failing to
  // make it does not fail the open.
  if (OpenNamedEvent(m_strSemaphorePrefix + kWakeupEventInfix) == 0) SetWakeupEvent();

  {
    std::lock_guard openGuard(driver_process::OpenLock());
    driver_process::RaiseOpenCount();
    m_bCounted = true;
    StartButtonsThreadIfFree();
  }
  m_ulStatus = state::kOpen;
  return result = 0;
}

LLDError CRZDREduzidLLD::OpenUnitAndReadConfig(bool semaphoreHeld) {
  m_ScannerDevice.SetUniqueName(m_strDevicePath);
  // Stale input is read away only while this object holds the unit: otherwise it may belong to
  // the holder's command.
  const BOOL opened = semaphoreHeld ? m_ScannerDevice.OpenAndFlush(true) : m_ScannerDevice.DeviceOpen();
  if (!opened) {
    RZD_LOG_ERROR_OF(EngineLog(), u"OpenScanner failed because m_ScannerDevice.Open() failed");
    return lld::kUnreachable;
  }
  std::optional<EngineInquiryCache> cached;
  if (!semaphoreHeld) {
    cached = driver_process::CachedInquiry();
    if (!cached) {
      RZD_LOG_ERROR_OF(EngineLog(), u"OpenScanner failed because no inquiry record is stored");
      return lld::kInUse;
    }
  }
  m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;
  if (!m_ReduzidScanner.SetDevice(&m_ScannerDevice, cached ? &*cached : nullptr, semaphoreHeld ? m_ulCmdTimeout : 0)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"OpenScanner failed because m_ReduzidScanner.SetDevice() failed");
    return lld::kUnreachable;
  }
  const LLDError config = GetScannerCfg(semaphoreHeld);
  if (config != 0) {
    RZD_LOG_ERROR_OF(EngineLog(), u"OpenScanner failed because GetScannerCfg() failed with error %d",
                     static_cast<int>(config));
    return config;
  }
  return 0;
}

void CRZDREduzidLLD::UndoFailedOpen(bool semaphoreHeld) {
  if (m_ScannerDevice.IsOpen()) m_ScannerDevice.CloseDevice();
  // What the open took is given back before the handles go, so the unit is not left taken for
  // every other process.
  if (semaphoreHeld) ReleaseScannerSemaphore();
  UnlockOldLLDSyncObject();
  CloseScannerSemaphore();
  UnLoadOldLLDSyncObject();
}

void CRZDREduzidLLD::StartButtonsThreadIfFree() {
  if (!UnitReportsButtons()) return;
  if (buttons::Running() || !m_hButtonThreadEvent) return;
  if (WaitOne(m_hButtonThreadEvent, 0) != WAIT_OBJECT_0) return;
  // A thread that fails to start does not fail the open; the event is given back for another.
  buttons::Start(m_strDevicePath, m_hButtonThreadEvent, m_ulButtonThreadWait, EngineLog());
}

void CRZDREduzidLLD::StopButtonsThreadIfLast(uint32_t openCountAfter) {
  if (openCountAfter != 0) return;
  buttons::Stop(m_ulButtonThreadWait, EngineLog(), u"UnlockScanner failed because button thread was terminated after %dmS");
}

LLDError CRZDREduzidLLD::CloseScanner() {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"CloseScanner");
  RZD_TRACE_DWORD(&result);
  if (m_ulStatus == state::kClosed) {
    RZD_LOG_ERROR_OF(EngineLog(), u"CloseScanner failed because scanner is not open");
    return result = lld::kWrongSequence;
  }
  UnlockScanner();
  if (m_bUnitReserved) {
    m_bUnitReserved = 0;
    m_ReduzidScanner.m_ulCmdTimeout = m_ulReleaseTimeout;
    m_ReduzidScanner.ReleaseUnit(2);
  }
  {
    std::lock_guard openGuard(driver_process::OpenLock());
    const uint32_t countAfter = m_bCounted ? driver_process::LowerOpenCount() : driver_process::OpenCount();
    m_bCounted = false;
    StopButtonsThreadIfLast(countAfter);
  }
  if (m_ScannerDevice.IsOpen()) m_ScannerDevice.CloseDevice();
  CloseScannerSemaphore();
  UnLoadOldLLDSyncObject();
  m_hWakeupEvent.Close();
  m_ulStatus = state::kClosed;
  return result = 0;
}

}  // namespace rzd::lowdrv
