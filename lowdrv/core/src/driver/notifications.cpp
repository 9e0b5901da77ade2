// The service's device and session notifications (operation 49, code 0x94000018). The code
// passes while another call runs on the object, so this touches only the USB handle (whose
// close is safe against a running transfer), the button table and the buttons thread.
#include "buttons/button_table.h"
#include "buttons_runner.h"
#include "foundation/func_trace.h"
#include "lowdrv/core/driver_engine.h"
#include "process_state.h"

#include <cstring>

namespace rzd::lowdrv {

namespace {

constexpr uint32_t kAfterResume = 0x4112;  // sent by the service's own object after a resume
constexpr uint32_t kDeviceArrival = 0x8000;
constexpr uint32_t kDeviceRemoval = 0x8004;

}  // namespace

LLDError CRZDREduzidLLD::SessionStateChanged(const void* pIn, uint32_t stSizeIn) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"SessionStateChanged");
  RZD_TRACE_DWORD(&result);
  if (!pIn || stSizeIn < 4) {
    RZD_LOG_ERROR_OF(EngineLog(), u"SessionStateChanged failed because stSizeIn = %d", static_cast<int>(stSizeIn));
    return result = lld::kInvalidParameter;
  }
  uint32_t notification = 0;
  std::memcpy(&notification, pIn, sizeof notification);
  RZD_LOG_INFO_OF(EngineLog(), u"SessionStateChanged notification 0x%X", notification);
  switch (notification) {
    case kAfterResume:
      // Presses from before the sleep are stale.
      buttons::ClearTable();
      break;
    case kDeviceArrival:
      // The unit is back: the next device command opens a fresh handle.
      if (m_bReopen && m_ScannerDevice.IsOpen()) m_ScannerDevice.CloseDevice();
      break;
    case kDeviceRemoval: {
      // A transfer still running on the handle ends now (it completes with 995).
      if (m_ScannerDevice.IsOpen()) m_ScannerDevice.CloseDevice();
      std::lock_guard openGuard(driver_process::OpenLock());
      result = buttons::Stop(m_ulButtonThreadWait, EngineLog(),
                             u"SessionStateChanged failed because button thread was terminated after %dmS");
      break;
    }
    default:
      break;
  }
  return result;
}

}  // namespace rzd::lowdrv
