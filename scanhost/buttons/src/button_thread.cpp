// The button-poll thread of the service's own scanner object.
#include "scanhost/buttons/button_thread.h"
#include "scanhost/lcd/lcd_profiles.h"

#include "foundation/xml_store.h"
#include "lowdrv/core/driver_codes.h"
#include "platform/com.h"
#include "platform/registry.h"

#include <atomic>

namespace rzd::scanhost::buttons {

namespace {

constexpr uint32_t kLockTimeoutMs = 500;
constexpr uint32_t kNoHandlePauseMs = 100;
constexpr uint32_t kDfdSkipMissing = 0xFFFF;

// The poll state of the process: only the poll thread writes it.
std::atomic<bool> gStale{false};
std::atomic<uint32_t> gLockMode{0};

}  // namespace

bool StalePress() { return gStale.load(); }
uint32_t LockMode() { return gLockMode.load(); }

void ButtonPoller::UpdateDfdSkip() {
  RegKey key;
  if (RegKey::Open(Hive::LocalMachine, host_.DeviceClassKey(), &key) != ERROR_SUCCESS) return;
  uint32_t stored = kDfdSkipMissing;
  key.GetDword(kDfdSkipValue, &stored);
  std::u16string supported;
  if (!host_.Driver().Control(lowdrv::cc::kSupportedSettings, nullptr, &supported, nullptr, 0, nullptr, nullptr)) return;
  MSXML6StoreSTL store;
  if (!store.LoadFromString(supported)) return;
  const uint32_t skip = store.SelectNode(u"//Item[@ID=\"Button7\"]") ? 1 : 0;
  if (skip != stored) key.SetDword(kDfdSkipValue, skip);
}

void ButtonPoller::Start() {
  UpdateDfdSkip();
  // Made once for the object: a later start finds it still held.
  if (!userSettings_) {
    ObjectResult<Event> made = Event::Create(UserSettingsEventName(), false, false);
    if (made) userSettings_ = made.handle;
  }
  disableButtons_ = ReadDisableButtons();
  host_.ReapDeadClients();
  gStale = false;
  gLockMode = 0;
}

uint32_t ButtonPoller::Poll() {
  ScannerDriver& driver = host_.Driver();
  if (!driver.HasHandle()) {
    host_.WaitForStop(kNoHandlePauseMs);
    gLockMode = 0;
    return kPollWaitMs;
  }
  if (!host_.PollingEnabled()) {
    gStale = true;
    return kPollWaitMs;
  }
  if (!host_.UnitOpened()) return kPollWaitMs;
  const uint32_t lock[2] = {kLockTimeoutMs, gLockMode.load()};
  if (!driver.Control(lowdrv::cc::kLock, nullptr, nullptr, lock, sizeof lock, nullptr, nullptr)) {
    host_.ReapDeadClients();
    return kPollWaitMs;
  }
  const std::u16string friendlyName = host_.FriendlyName();
  if (lcd::LcdRefreshStarted()) lcd::RefreshLcdProfiles(driver, friendlyName);
  gLockMode = 1;
  std::u16string document;
  std::optional<ButtonState> polled;
  if (driver.Control(lowdrv::cc::kPollButtons, u"", &document, nullptr, 0, nullptr, nullptr)) {
    polled = ParseButtonsXml(document);
  }
  driver.Control(lowdrv::cc::kUnlock, nullptr, nullptr, nullptr, 0, nullptr, nullptr);
  const ButtonState state = ApplyDisableButtons(polled.value_or(ButtonState{}), disableButtons_);
  uint32_t wait = kPollWaitMs;
  if (!gStale && (state.simplex || state.duplex)) wait = SignalButtonEvents(state, friendlyName);
  gStale = false;
  return wait;
}

uint32_t ButtonPoller::Run() {
  host_.ClearRunning();
  const ComInit com;
  Start();
  host_.SignalStarted();
  uint32_t wait = kPollWaitMs;
  while (host_.WaitForStop(wait)) wait = Poll();
  host_.SignalEnded();
  return 0;
}

}  // namespace rzd::scanhost::buttons
