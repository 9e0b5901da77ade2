// CRZDHALScanner: the scanner HAL object the service makes (for every client and for itself).
// Beside its base it unloads the driver's unit on device removal, runs the button poll as its
// worker thread, and redraws the LCD profile screens after an open.
#pragma once

#include "hal/scanner_base.h"

namespace rzd::scanhost {

// The button poll's wait between two polls.
constexpr uint32_t kButtonPollWaitMs = 500;

class CRZDHALScanner : public CRZDHALScannerBase {
 public:
  CRZDHALScanner(IHALScannerParent* parent, std::u16string symbolicName, std::u16string driverFileName,
                 std::u16string firmwareUpdater, bool serviceOwned);
  // Ends the object (Destroy) while it is still a CRZDHALScanner, so its thread body is stopped
  // before the object's own parts go.
  ~CRZDHALScanner() override;

  // The button poll (button_poll.cpp).
  uint32_t ThreadBody() override;
  void RefreshLcdProfiles() override;

 protected:
  // One poll cycle of the running thread; the wait before the next one, in ms.
  virtual uint32_t PollButtonsOnce();
};

}  // namespace rzd::scanhost
