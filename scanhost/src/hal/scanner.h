// CRZDHALScanner: the scanner HAL object the service makes (for every client and for itself).
// Beside its base it unloads the driver's unit on device removal, runs the button poll as its
// worker thread (scanhost/buttons), and redraws the LCD profile screens after an open
// (scanhost/lcd).
#pragma once

#include "hal/scanner_base.h"

#include "scanhost/buttons/button_thread.h"

#include <memory>

namespace rzd::scanhost {

class CRZDHALScanner : public CRZDHALScannerBase {
 public:
  CRZDHALScanner(IHALScannerParent* parent, std::u16string symbolicName, std::u16string driverFileName,
                 std::u16string firmwareUpdater, bool serviceOwned);
  // Ends the object (Destroy) while it is still a CRZDHALScanner, so its thread body is stopped
  // before the object's own parts go.
  ~CRZDHALScanner() override;

  // The button poll (button_poll.cpp): ButtonPoller::Run on what the object lends it.
  uint32_t ThreadBody() override;
  // The LCD-refresh operation: the profile screens of the console user (lcd::RefreshLcdOperation).
  void RefreshLcdProfiles() override;

  // The button thread's poller: made with the object, it keeps the user-settings event from the
  // thread's first start until the object ends.
  const buttons::ButtonPoller& ButtonPoll() const { return *poller_; }

 private:
  // What the object lends the LCD screens and the button thread: its driver with its handle,
  // its flags, its parent's reaping and names, and its thread's start, stop and waits.
  class ThreadHost;

  std::unique_ptr<ThreadHost> host_;
  std::unique_ptr<buttons::ButtonPoller> poller_;
};

}  // namespace rzd::scanhost
