// The scanner HAL object: device, power and session events. The service's own object starts its
// worker thread (which opens the unit) when the unit arrives or the machine resumes, and stops it
// (which closes the unit) when the unit goes, the machine suspends or the service stops. A client
// object passes every event on to its driver handle.
#include "hal/scanner_base.h"

#include <mutex>

namespace rzd::scanhost {

uint32_t CRZDHALScannerBase::SessionStateChanged(uint32_t code) {
  if (serviceOwned_) {
    switch (code) {
      case event_code::kArrival:
      case event_code::kResumeFromSuspend:
      case event_code::kResumeAutomatic:
        if (!IsThreadRunning()) StartThread();
        break;
      case event_code::kRemoval:
      case event_code::kSuspend:
      case event_code::kServiceStop:
        StopThread();
        break;
      default:
        break;
    }
    if ((code == event_code::kResumeFromSuspend || code == event_code::kResumeAutomatic) &&
        handle_.load() != nullptr) {
      driver_.ControlWithValue(handle_.load(), driver_code::kSessionStateChanged, event_code::kAfterResume);
    }
    return 0;
  }
  if (!driver_.Bound()) return 0;
  std::lock_guard guard(objectLock_);
  if (handle_.load() == nullptr) return 0;
  DriverAnswer answer = driver_.ControlWithValue(handle_.load(), driver_code::kSessionStateChanged, code);
  if (!answer.ok) {
    RZD_LOG_ERROR(u"ccSessionStateChanged Failed: \"%s\"", answer.ErrorText().c_str());
    return static_cast<uint32_t>(kHalDriverRefused);
  }
  return 0;
}

}  // namespace rzd::scanhost
