// The scanner HAL object: opening and closing the unit.
#include "hal/process_state.h"
#include "hal/scanner_base.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace rzd::scanhost {

bool CRZDHALScannerBase::OpenOnce() {
  void* handle = nullptr;
  uint32_t size = sizeof handle;
  DriverAnswer answer =
      driver_.Control(nullptr, driver_code::kOpen, symbolicName_.c_str(), nullptr, nullptr, 0, &handle, &size);
  if (!answer.ok) return false;
  handle_.store(handle);
  opened_.store(true);
  return true;
}

bool CRZDHALScannerBase::OpenScanner() {
  RZD_LOG_INFO(u"OpenScanner enter");
  if (!opened_.load() && driver_.Bound()) {
    RZD_LOG_INFO(u"OpenScanner - !m_bScannerOpened && m_bUnloadLLDOnDeviceRemove");
    std::lock_guard openGuard(hal_process::OpenLock());
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
      if (OpenOnce()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(kOpenRetryPauseMs));
    }
    if (opened_.load()) RefreshLcdProfiles();
  }
  const bool opened = opened_.load();
  RZD_LOG_INFO(u"OpenScanner - exit %d", opened ? 1 : 0);
  if (opened && serviceOwned_) UpdateCountersInRegistry(handle_.load());
  return opened;
}

void CRZDHALScannerBase::CloseScanner() {
  RZD_LOG_INFO(u"CloseScanner enter %d", opened_.load() ? 1 : 0);
  std::lock_guard guard(objectLock_);
  if (opened_.load() && unloadOnDeviceRemove_) {
    if (handle_.load() != nullptr) {
      driver_.ControlWithValue(handle_.load(), driver_code::kSessionStateChanged, event_code::kBeforeClose);
      // A close the driver refuses (a call still runs on the handle) keeps the handle, so the
      // driver's object is closed later instead of being lost.
      if (CloseHandle(u"CloseScanner failed because the driver refused to close the unit")) opened_.store(false);
    } else {
      opened_.store(false);
    }
  }
  RZD_LOG_INFO(u"CloseScanner exit");
}

}  // namespace rzd::scanhost
