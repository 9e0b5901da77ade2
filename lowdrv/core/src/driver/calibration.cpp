// Calibration: the thread that steps the engine through it, and the driver operations 40, 41,
// 67 and 68 that start it and report on it.
#include "calibration.h"

#include "bstr_out.h"
#include "foundation/func_trace.h"
#include "foundation/message_wait.h"
#include "lowdrv/core/driver_engine.h"
#include "process_state.h"

namespace rzd::lowdrv {

namespace calibration {

namespace {

constexpr uint32_t kEndedWithError = 0xFFFFFFFF;

uint32_t Fail(Run& run, LLDError code) {
  run.error.store(code != 0 ? code : lld::kInternal);
  run.status.store(status::kCompleteWithError);
  return kEndedWithError;
}

}  // namespace

uint32_t CalibrationThread(Run& run) {
  run.started.Set();
  // A handle and an engine interface of its own: the caller's thread keeps using the driver
  // object's while this one runs; the process-wide command lock orders their commands.
  CUSBDevice device;
  device.SetUniqueName(run.devicePath);
  if (!device.DeviceOpen()) return Fail(run, lld::kUnreachable);
  struct Closer {
    CUSBDevice& device;
    ~Closer() { device.CloseDevice(); }
  } closer{device};
  CReduzidInterface engine;
  engine.m_bNewCommandSet = run.newCommandSet;
  engine.m_ulCmdTimeout = run.commandTimeoutMs;
  if (!engine.SetDevice(&device, &run.inquiry, 0)) return Fail(run, lld::kUnreachable);

  uint32_t steps = 0;
  if (!engine.ReadEngineValue6F(&steps)) return Fail(run, engine.m_ulLastError);
  run.progress.store(0);
  run.status.store(status::kInProgress);
  uint32_t done = 0;
  // A calibration without steps is complete at once (the loop below would wait for ever).
  if (steps == 0) run.finished.store(true);
  while (!run.finished.load()) {
    if (done < steps) {
      if (!engine.PollEngineState6D(nullptr)) return Fail(run, engine.m_ulLastError);
      ++done;
      run.dataRead.store(true);
      uint32_t progress = static_cast<uint32_t>(100ull * done / steps);
      if (progress > 99) {
        progress = 99;
        run.finished.store(true);
      }
      run.progress.store(progress);
    }
    if (run.stop.Wait(run.stepWaitMs) == WAIT_OBJECT_0 && !run.finished.load()) {
      run.status.store(status::kCanceled);
      return kEndedWithError;
    }
  }
  run.progress.store(100);
  run.status.store(status::kComplete);
  return 0;
}

}  // namespace calibration

namespace {

bool Ended(uint32_t code) {
  return code == calibration::status::kComplete || code == calibration::status::kCompleteWithError ||
         code == calibration::status::kCanceled;
}

}  // namespace

LLDError CRZDREduzidLLD::StartCalibration(BSTR* pstrOut) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"StartCalibration");
  RZD_TRACE_DWORD(&result);
  if (m_ulStatus != state::kLocked || m_hCalibThread) {
    RZD_LOG_ERROR_OF(EngineLog(), u"StartCalibration failed because m_ulStatus is %d", static_cast<int>(m_ulStatus));
    return result = lld::kWrongSequence;
  }
  auto run = std::make_shared<calibration::Run>();
  run->status.store(calibration::status::kStarted);
  run->started = m_hCalibEvent;
  run->stop = Event::Unnamed(true, false);
  run->devicePath = m_strDevicePath;
  run->newCommandSet = m_bNewCommandSet;
  run->inquiry = m_ReduzidScanner.GetInquiryCache();
  run->commandTimeoutMs = m_ulCmdTimeout;
  run->stepWaitMs = m_ulCalibStepWait;
  if (!run->started || !run->stop) {
    RZD_LOG_ERROR_OF(EngineLog(), u"StartCalibration failed because could not create the calibration thread");
    return result = lld::kNoMemory;
  }
  m_hCalibEvent.Reset();
  m_pCalibration = run;
  calibration::ThreadBody body = m_CalibrationBody;
  if (!body) body = calibration::CalibrationThread;
  m_hCalibThread = Thread::Start([run, body] { return body(*run); });
  if (!m_hCalibThread) {
    RZD_LOG_ERROR_OF(EngineLog(), u"StartCalibration failed because could not create the calibration thread");
    return result = lld::kNoMemory;
  }
  if (WaitWithMessageLoop(m_hCalibEvent, m_ulCalibThreadWait) != WAIT_OBJECT_0 &&
      m_hCalibThread.Join(0) == WAIT_TIMEOUT) {
    // Never killed: told to stop, and left to end by itself.
    EndCalibrationThread(m_ulCalibThreadWait);
    result = lld::kNoMemory;
  }
  m_ulStatus = state::kCalibrating;
  if (result != 0) {
    m_ulStatus = state::kLocked;
    return result;
  }
  SetBstrOut(pstrOut, calibration::StartDocument(m_pSettings->m_strProductName));
  return result;
}

LLDError CRZDREduzidLLD::GetCalibrationStatus(const uint32_t* pIn, uint32_t* pULOut, uint32_t stOutBuffSize,
                                              BSTR* pstrOut) {
  (void)pIn;
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"GetCalibrationStatus");
  RZD_TRACE_DWORD(&result, u"pULOut = 0x%X, stOutBuffSize = %d, pstrOut = 0x%X",
                  static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pULOut)), static_cast<int>(stOutBuffSize),
                  static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pstrOut)));
  if (!pULOut) {
    RZD_LOG_ERROR_OF(EngineLog(), u"IsCalibrated failed because pULOut is NULL ");
    return result = lld::kInvalidParameter;
  }
  *pULOut = 0;
  if (m_ulStatus != state::kLocked && m_ulStatus != state::kCalibrating) {
    RZD_LOG_ERROR_OF(EngineLog(), u"GetCalibrationStatus failed because m_ulStatus is %d", static_cast<int>(m_ulStatus));
    return result = lld::kWrongSequence;
  }
  if (stOutBuffSize < 4) {
    RZD_LOG_ERROR_OF(EngineLog(), u"GetCalibrationStatus failed because stOutBuffSize = %d", static_cast<int>(stOutBuffSize));
    return result = lld::kInvalidParameter;
  }
  if (!pstrOut) {
    RZD_LOG_ERROR_OF(EngineLog(), u"GetCalibrationStatus failed because pstrOut is NULL ");
    return result = lld::kInvalidParameter;
  }
  *pstrOut = nullptr;

  const std::shared_ptr<calibration::Run> run = m_pCalibration;
  if (m_ulStatus == state::kCalibrating) {
    if (run && Ended(run->status.load())) {
      EndCalibrationThread(30 * m_ulCalibThreadWait);
      m_ulStatus = state::kLocked;
    }
  } else {
    EndCalibrationThread(30 * m_ulCalibThreadWait);
    // No calibration data: a calibration that failed before its first step reports its error;
    // without any calibration the answer is "Not Calibrated", with its document.
    const LLDError error = run ? run->error.load() : 0;
    if (!IsCalibrationRunning() && error != 0) {
      RZD_LOG_ERROR_OF(EngineLog(), u"GetCalibrationStatus failed because g_REduzidOEMScanner.IsCalibrated failed with %d",
                       static_cast<int>(error));
      return result = error;
    }
    if (run) {
      run->status.store(calibration::status::kNotCalibrated);
      run->progress.store(0);
      run->error.store(0);
    }
  }
  const uint32_t code = run ? run->status.load() : calibration::status::kNotCalibrated;
  const uint32_t progress = run ? run->progress.load() : 0;
  const LLDError error = run ? run->error.load() : 0;
  SetBstrOut(pstrOut, calibration::StatusDocument(code, progress, error, GetLastErrorString(error)));
  *pULOut = code;
  return result = 0;
}

bool CRZDREduzidLLD::IsCalibrationRunning() {
  const std::shared_ptr<calibration::Run> run = m_pCalibration;
  return run && run->dataRead.load();
}

bool CRZDREduzidLLD::IsCalibrationTimeUp() {
  const std::shared_ptr<calibration::Run> run = m_pCalibration;
  return run && run->finished.load();
}

void CRZDREduzidLLD::EndCalibrationThread(uint32_t waitMs) {
  if (!m_hCalibThread) return;
  if (m_pCalibration) m_pCalibration->stop.Set();
  if (WaitWithMessageLoop(m_hCalibThread, waitMs) == WAIT_OBJECT_0) {
    m_hCalibThread.Join(0);
  } else {
    RZD_LOG_ERROR_OF(EngineLog(), u"The calibration thread did not end within %dmS; it ends by itself",
                     static_cast<int>(waitMs));
  }
  m_hCalibThread = Thread();
}

}  // namespace rzd::lowdrv
