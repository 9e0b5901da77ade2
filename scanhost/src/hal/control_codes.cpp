// The scanner HAL object: IRZDHAL::Control. The checks every call passes, then one case per HAL
// control code.
//
// Built so far: the codes of the object's own life (connect and disconnect, the client's process
// id, pausing and resuming the service's button polling). The codes that map to driver calls,
// the shared buffers, the raster blocks and the help extractor are added here as cases of the
// same switch; until then they answer E_NOTIMPL.
#include "hal/control_codes.h"

#include "hal/process_state.h"
#include "hal/scanner_base.h"

#include "foundation/func_trace.h"
#include "platform/com_remote.h"
#include "platform/session.h"

#include <mutex>

namespace rzd::scanhost {

HRESULT CRZDHALScannerBase::raw_Control(LONG lCC, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn,
                                        VARIANT* pvBufOut) {
  HRESULT hr = S_OK;
  RZD_FUNC_TRACE(u"CRZDHALScannerBase::raw_Control");
  RZD_TRACE_HRESULT(&hr, u"lCC = 0x%08X, strXMLIn = \"%s\", strXMLOut = 0x%08X, pvBufIn = 0x%08X, pvBufOut = 0x%08X",
                    static_cast<uint32_t>(lCC), strXMLIn != nullptr ? strXMLIn : u"NULL",
                    static_cast<uint32_t>(reinterpret_cast<uintptr_t>(strXMLOut)),
                    static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pvBufIn)),
                    static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pvBufOut)));
  if (strXMLOut == nullptr || pvBufIn == nullptr || pvBufOut == nullptr) return hr = E_FAIL;
  if (lCC < 0) return hr = E_NOTIMPL;
  const uint32_t code = static_cast<uint32_t>(lCC) & 0xFF;
  RZD_LOG_DATA_INFO(u"STANDARD CONTROL CODE: CC: 0x%02X, Flags: 0x%02X, Value: 0x%04X", code,
                    (static_cast<uint32_t>(lCC) >> 24) & 0xFF, (static_cast<uint32_t>(lCC) >> 8) & 0xFFFF);
  switch (code) {
    case RZDHAL_CC_CONNECT:
      return hr = Connect();
    case RZDHAL_CC_DISCONNECT:
      return hr = Disconnect();
    case RZDHAL_CC_DISABLE_BUTTON_THREAD:
      return hr = DisableButtonThread(pvBufIn);
    case RZDHAL_CC_ENABLE_BUTTON_THREAD:
      return hr = EnableButtonThread();
    case RZDHAL_CC_SET_PROCESS_ID:
      return hr = SetProcessId(pvBufIn);
    default:
      break;
  }
  if (code == 1 || code == 2 || code > kLastHalControlCode) return hr = S_OK;
  return hr = E_NOTIMPL;
}

HRESULT CRZDHALScannerBase::Connect() {
  if (!driver_.Bound()) return E_FAIL;
  if (hal_process::ScanInProgress()) return kHalBusy;
  // An object holds one driver handle: a second connect would lose the first one's driver object.
  if (opened_.load()) return S_OK;
  RZD_LOG_INFO(u"Attempting to connect to scanner: %s", symbolicName_.c_str());
  std::lock_guard openGuard(hal_process::OpenLock());
  if (OpenOnce()) return S_OK;
  opened_.store(false);
  RZD_LOG_ERROR(u"Failed connecting to scanner: %s", symbolicName_.c_str());
  return E_FAIL;
}

HRESULT CRZDHALScannerBase::Disconnect() {
  HRESULT result = S_OK;
  std::lock_guard guard(objectLock_);
  if (locked_.load()) UnlockForEnd();
  if (opened_.load()) {
    RZD_LOG_INFO(u"Attempting to close the scanner: %s", symbolicName_.c_str());
    // A close the driver refuses (a read still runs on the handle) keeps the handle, so the
    // driver's object is not lost: a later disconnect, or the object's end, closes it.
    if (CloseHandle(u"Failed to disconnect scanner")) {
      opened_.store(false);
    } else {
      result = E_FAIL;
    }
  }
  return result;
}

HRESULT CRZDHALScannerBase::DisableButtonThread(const VARIANT* pvBufIn) {
  if (pvBufIn->vt != VT_UI4) {
    RZD_LOG_ERROR(u"RZDHAL_CC_DISABLE_BUTTON_THREAD Failed: incorrect type for Process Id");
    return E_FAIL;
  }
  parent_->RegisterClient(this, pvBufIn->ulVal);
  return S_OK;
}

HRESULT CRZDHALScannerBase::EnableButtonThread() {
  parent_->UnregisterClient(this);
  return S_OK;
}

HRESULT CRZDHALScannerBase::SetProcessId(const VARIANT* pvBufIn) {
  if (pvBufIn->vt != VT_UI4) {
    RZD_LOG_ERROR(u"RZDHAL_CC_SET_PROCESS_ID Failed: incorrect type for Process Id");
    return E_FAIL;
  }
  // The owner's session is the caller's own: a caller outside the console session is not let
  // in by LockScanner (within this process, the calling process's session).
  CallerIdentity caller;
  const uint32_t session =
      GetCallerIdentity(&caller) ? ProcessSessionId(caller.processId).value_or(kNoConsoleSession) : CurrentSessionId();
  SetOwner(pvBufIn->ulVal, session);
  return S_OK;
}

}  // namespace rzd::scanhost
