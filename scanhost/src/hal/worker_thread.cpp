// The scanner HAL object's worker thread: start, stop, and the base's body, which keeps the
// unit's connection open until it is stopped. The thread is never killed: a start or stop that
// takes longer than its wait is logged, and the thread is still waited for, so nothing it uses
// (the driver library above all) goes while it runs.
#include "hal/process_state.h"
#include "hal/scanner_base.h"

#include "platform/com.h"

#include <mutex>

namespace rzd::scanhost {

namespace {

constexpr uint32_t kKeeperStepMs = 500;

}  // namespace

bool CRZDHALScannerBase::IsThreadRunning() const { return threadRunning_.load(); }

bool CRZDHALScannerBase::WaitForStop(uint32_t waitMs) const { return stopEvent_.Wait(waitMs) == WAIT_TIMEOUT; }

void CRZDHALScannerBase::SignalStarted() {
  threadRunning_.store(true);
  startedEvent_.Set();
}

void CRZDHALScannerBase::SignalEnded() { startedEvent_.Set(); }

void CRZDHALScannerBase::StartThread() {
  std::lock_guard guard(threadLock_);
  if (thread_) return;
  if (!stopEvent_) stopEvent_ = Event::Unnamed(false, false);
  if (!startedEvent_) startedEvent_ = Event::Unnamed(false, false);
  if (!stopEvent_ || !startedEvent_) return;
  if (!OpenScanner()) {
    RZD_LOG_ERROR(u"StartThread failed because the unit %s could not be opened", SymbolicName().c_str());
    return;
  }
  stopEvent_.Reset();
  startedEvent_.Reset();
  threadRunning_.store(true);
  thread_ = Thread::Start([this] { return ThreadBody(); });
  if (!thread_) {
    threadRunning_.store(false);
  } else if (startedEvent_.Wait(kThreadWaitMs) != WAIT_OBJECT_0) {
    RZD_LOG_ERROR(u"StartThread: the thread did not start within %u ms; it is asked to stop", kThreadWaitMs);
    stopEvent_.Set();
    thread_.Join(INFINITE);
    threadRunning_.store(false);
  } else if (threadRunning_.load()) {
    return;  // the thread runs
  } else if (thread_.Join(kThreadWaitMs) != WAIT_OBJECT_0) {
    RZD_LOG_ERROR(u"StartThread: the thread did not end within %u ms; it is asked to stop", kThreadWaitMs);
    stopEvent_.Set();
    thread_.Join(INFINITE);
  }
  // The thread did not stay: the unit is closed and the driver unloaded (both entry points go
  // with it, so every later driver call fails instead of reaching unloaded code).
  thread_ = Thread();
  CloseScanner();
  driver_.Unload();
}

void CRZDHALScannerBase::StopThread() {
  std::lock_guard guard(threadLock_);
  if (!thread_) return;
  stopEvent_.Set();
  if (thread_.Join(kThreadWaitMs) != WAIT_OBJECT_0) {
    RZD_LOG_ERROR(u"StopThread: the thread did not end within %u ms; still waiting for it", kThreadWaitMs);
    thread_.Join(INFINITE);
  }
  thread_ = Thread();
  threadRunning_.store(false);
  stopEvent_.Reset();
  stopEvent_ = Event();
  startedEvent_ = Event();
  CloseScanner();
}

uint32_t CRZDHALScannerBase::ThreadBody() {
  ClearRunning();
  Parent()->ReapDeadClients();
  ComInit com(COINIT_MULTITHREADED);
  {
    std::lock_guard openGuard(hal_process::OpenLock());
    OpenOnce();
  }
  SignalStarted();
  while (WaitForStop(kKeeperStepMs)) {
  }
  // A refused close leaves the handle with the object; its end closes it.
  if (CloseHandle(u"Failed to disconnect scanner")) opened_.store(false);
  SignalEnded();
  return 0;
}

}  // namespace rzd::scanhost
