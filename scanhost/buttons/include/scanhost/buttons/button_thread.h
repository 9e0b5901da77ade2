// The service's own scanner object polls the unit's buttons on a thread of its own while no
// client holds the unit, and tells the desktop application of each press (button_events.h).
//
// The thread belongs to the scanner object, which owns it, its stop and started events and its
// running flag; the object lends the body what it needs through ButtonThreadHost. A ButtonPoller is made once per scanner object and lives as long as it (it
// holds the user-settings event the object makes once).
#pragma once

#include "platform/kernel.h"
#include "scanhost/buttons/button_events.h"
#include "scanhost/lcd/scanner_driver.h"

#include <cstdint>
#include <string>

namespace rzd::scanhost::buttons {

class ButtonThreadHost {
 public:
  virtual ~ButtonThreadHost() = default;
  // The object's driver (its handle, once the unit is open).
  virtual ScannerDriver& Driver() = 0;
  // The unit is open for the object.
  virtual bool UnitOpened() = 0;
  // The polling flag: false while a client of the active console session is registered.
  virtual bool PollingEnabled() = 0;
  // Reaps clients whose process has ended (through the object's parent).
  virtual void ReapDeadClients() = 0;
  // The thread's side of the object's start and stop: clear the running flag; set it and signal
  // the started event; signal the started event at the end; wait on the stop event (true when it
  // was not signalled within `waitMs`, so the thread goes on).
  virtual void ClearRunning() = 0;
  virtual void SignalStarted() = 0;
  virtual void SignalEnded() = 0;
  virtual bool WaitForStop(uint32_t waitMs) = 0;
  // The unit's friendly name and its device class key (under the local machine).
  virtual std::u16string FriendlyName() = 0;
  virtual std::u16string DeviceClassKey() = 0;
};

// The process-wide state of the polls, written only by the poll thread: the stale flag (the next
// press is discarded) and the lock mode (0 for the first lock after the unit appeared, then 1).
bool StalePress();
uint32_t LockMode();

class ButtonPoller {
 public:
  explicit ButtonPoller(ButtonThreadHost& host) : host_(host) {}
  ButtonPoller(const ButtonPoller&) = delete;
  ButtonPoller& operator=(const ButtonPoller&) = delete;

  // The thread body: clears the running flag, starts (below), sets the running flag and the
  // started event, polls until the stop event is signalled (the first wait 500 ms), then sets the
  // started event again. COM is initialised for the thread. The thread's exit code (0).
  uint32_t Run();

  // The start of the thread: DFD_Skip in the device class key, the user-settings event (made on
  // the first start only), DisableButtons, the reaping of dead clients, and the poll state (not
  // stale, lock mode 0).
  void Start();
  // One poll: the wait before the next one, in ms. Where the poll pauses a short while (no driver
  // handle) it waits on the stop event.
  uint32_t Poll();

  // The user-settings event the object made (empty before the first start).
  const Event& UserSettingsEvent() const { return userSettings_; }
  uint32_t DisableButtons() const { return disableButtons_; }

 private:
  void UpdateDfdSkip();

  ButtonThreadHost& host_;
  Event userSettings_;
  uint32_t disableButtons_ = 0;
};

// DFD_Skip: 1 when the supported-settings document describes a button Button7, else 0.
inline constexpr char16_t kDfdSkipValue[] = u"DFD_Skip";

}  // namespace rzd::scanhost::buttons
