// The scanner HAL object: construction, destruction, lock and unlock.
#include "hal/scanner_base.h"

#include "hal/process_state.h"
#include "service/orphan_cleanup.h"

#include "foundation/func_trace.h"
#include "foundation/hwprops.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/com.h"
#include "platform/session.h"
#include "scanhost/lcd/scanner_log.h"

namespace rzd::scanhost {

CRZDHALScannerBase::CRZDHALScannerBase(IHALScannerParent* parent, std::u16string symbolicName,
                                       std::u16string driverFileName, std::u16string firmwareUpdater,
                                       bool serviceOwned)
    : CLogClient(kScannerObjectFeature),
      parent_(parent),
      symbolicName_(std::move(symbolicName)),
      driverFileName_(std::move(driverFileName)),
      firmwareUpdater_(std::move(firmwareUpdater)),
      serviceOwned_(serviceOwned) {
  CoFreeUnusedLibraries();
  RZD_FUNC_TRACE(u"CRZDHALScannerBase::CRZDHALScannerBase");
  driver_.Load(driverFileName_, *this);
  countersToRegistry_ = HwPropsFile(lowdrv::kModelName).ReadInt(HwProp::UpdateCountersInRegistry) != 0;
}

CRZDHALScannerBase::~CRZDHALScannerBase() { Destroy(); }

void CRZDHALScannerBase::Destroy() {
  std::call_once(destroyed_, [this] {
    // The worker thread ends before anything it uses goes.
    StopThread();
    ReleaseAllBuffers();
    std::lock_guard guard(objectLock_);
    if (locked_.load()) UnlockForEnd();
    if (opened_.load()) {
      RZD_LOG_INFO(u"Attempting to close the scanner: %s", symbolicName_.c_str());
      // No call of this object runs any more, so the driver has no reason to refuse; should it,
      // the library's unload below closes what it still keeps.
      CloseHandle(u"Failed to disconnect scanner");
      opened_.store(false);
      handle_.store(nullptr);
    }
    driver_.Unload();
    hal_process::ScanObjectEnded(this);
  });
}

void CRZDHALScannerBase::UnlockForEnd() {
  locked_.store(false);
  hal_process::EndScanOf(ownerProcessId_.load());
  RZD_LOG_INFO(u"Attempting to close the scanner: %s", symbolicName_.c_str());
  DriverAnswer answer = driver_.Control(handle_.load(), driver_code::kUnlock, nullptr, nullptr, nullptr, 0, nullptr, nullptr);
  if (!answer.ok) RZD_LOG_ERROR(u"Failed to unlock scanner");
}

bool CRZDHALScannerBase::CloseHandle(const char16_t* failure) {
  DriverAnswer answer = driver_.Control(handle_.load(), driver_code::kClose, nullptr, nullptr, nullptr, 0, nullptr, nullptr);
  if (!answer.ok) {
    RZD_LOG_ERROR(u"%s", failure);
    return false;
  }
  handle_.store(nullptr);
  return true;
}

void CRZDHALScannerBase::SetOwner(uint32_t processId, uint32_t sessionId) {
  std::lock_guard guard(objectLock_);
  ownerProcessId_.store(processId);
  ownerSessionId_.store(sessionId);
}

HRESULT CRZDHALScannerBase::raw_LockScanner(LONG lPID, LONG* lpStatus, DWORD dwTimeout) {
  if (lPID == 0 || lpStatus == nullptr) return E_INVALIDARG;
  HRESULT result = E_FAIL;
  {
    std::lock_guard guard(objectLock_);
    *lpStatus = 0;
    if (!driver_.Bound()) {
      result = E_FAIL;
    } else if (locked_.load()) {
      ownerProcessId_.store(static_cast<uint32_t>(lPID));
      result = S_OK;
    } else if (ActiveConsoleSessionId() != ownerSessionId_.load()) {
      result = kHalBusy;
    } else {
      DriverAnswer answer = driver_.ControlWithValue(handle_.load(), driver_code::kLock, dwTimeout);
      if (answer.ok) {
        locked_.store(true);
        ownerProcessId_.store(static_cast<uint32_t>(lPID));
        result = S_OK;
      } else {
        result = answer.ErrorCode() == kDriverInUse ? kHalBusy : E_FAIL;
      }
    }
  }
  RZD_LOG_INFO(u"LockScanner Exit. lpStatus = [0x%08X]", static_cast<uint32_t>(*lpStatus));
  return result;
}

HRESULT CRZDHALScannerBase::raw_UnlockScanner(LONG* lpStatus) {
  if (lpStatus == nullptr) return E_INVALIDARG;
  std::lock_guard guard(objectLock_);
  *lpStatus = 0;
  if (!driver_.Bound()) return E_FAIL;
  if (!locked_.load()) return S_OK;
  hal_process::EndScanOf(ownerProcessId_.load());
  DriverAnswer answer = driver_.Control(handle_.load(), driver_code::kUnlock, nullptr, nullptr, nullptr, 0, nullptr, nullptr);
  if (!answer.ok) return E_FAIL;
  locked_.store(false);
  return S_OK;
}

void CRZDHALScannerBase::DeviceEvent(uint32_t eventType, const std::u16string& interfaceName,
                                     const CLSID& /*instanceClass*/) {
  if (eventType == event_code::kArrival) CleanUpOrphans(*this, symbolicName_, interfaceName);
}

}  // namespace rzd::scanhost
