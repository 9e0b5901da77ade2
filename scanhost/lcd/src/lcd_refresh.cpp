// The refresh of the LCD profile screens and its process-wide state.
#include "scanhost/lcd/lcd_profiles.h"

#include "foundation/module_objects.h"
#include "platform/kernel.h"
#include "platform/registry.h"

#include <mutex>

namespace rzd::scanhost::lcd {

namespace {

struct LcdState {
  std::mutex lock;          // held for a whole refresh
  bool force = true;        // the first completed refresh stores whatever it drew
  bool started = false;     // the LCD-refresh operation ran
  std::u16string last;      // the summary of the screens last drawn
};

LcdState& State() {
  static ModuleObject<LcdState> state;
  return state.Get();
}

bool UpdateRequested(std::u16string_view friendlyName) {
  ObjectResult<Event> update = Event::Open(ProfilesUpdateEventName(friendlyName));
  return update && update.handle.Wait(0) == WAIT_OBJECT_0;
}

// The user's profile key can be opened for reading.
bool ProfilesReadable(std::u16string_view userSid, std::u16string_view friendlyName) {
  RegKey key;
  return RegKey::Open(Hive::Users, EventProfilesKey(userSid, friendlyName), &key) == ERROR_SUCCESS;
}

void RefreshLocked(LcdState& state, ScannerDriver& driver, std::u16string_view friendlyName) {
  const bool redraw = UpdateRequested(friendlyName);
  if (!state.last.empty() && state.last != kDefaultScreensSentinel) {
    const std::u16string sid = GetCurrentUserSid();
    if (sid.empty() || !ProfilesReadable(sid, friendlyName)) state.last.clear();
  }
  if (!redraw && !state.last.empty()) return;
  uint16_t language = 0;
  std::u16string summary = BuildLcdProfileScreens(driver, friendlyName, &language);
  if (summary.empty() && state.last != kDefaultScreensSentinel) summary = WriteDefaultLcdScreens(driver);
  if (state.force && summary == state.last) return;
  state.last = std::move(summary);
  state.force = false;
}

}  // namespace

std::u16string ProfilesUpdateEventName(std::u16string_view friendlyName) {
  return u"Global\\LCDProfilesUpdate " + std::u16string(friendlyName);
}

void RefreshLcdProfiles(ScannerDriver& driver, std::u16string_view friendlyName) {
  LcdState& state = State();
  std::lock_guard guard(state.lock);
  RefreshLocked(state, driver, friendlyName);
}

void RefreshLcdOperation(ScannerDriver& driver, std::u16string_view friendlyName) {
  LcdState& state = State();
  std::lock_guard guard(state.lock);
  state.started = true;
  if (!state.force) state.last.clear();
  RefreshLocked(state, driver, friendlyName);
}

bool LcdRefreshStarted() {
  LcdState& state = State();
  std::lock_guard guard(state.lock);
  return state.started;
}

std::u16string LastLcdSummary() {
  LcdState& state = State();
  std::lock_guard guard(state.lock);
  return state.last;
}

bool LcdForceFlag() {
  LcdState& state = State();
  std::lock_guard guard(state.lock);
  return state.force;
}

void ResetLcdStateForTests() {
  LcdState& state = State();
  std::lock_guard guard(state.lock);
  state.force = true;
  state.started = false;
  state.last.clear();
}

}  // namespace rzd::scanhost::lcd
