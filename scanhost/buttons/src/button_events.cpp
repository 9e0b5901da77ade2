// The named objects of a press, and the switches that disable buttons.
#include "scanhost/buttons/button_events.h"
#include "scanhost/lcd/scanner_log.h"

#include "apphal/model_ids.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/kernel.h"
#include "platform/registry.h"

namespace rzd::scanhost::buttons {

namespace {

// Takes at most this many counts while draining the semaphore (the application may release it
// meanwhile; the drain must end).
constexpr int kMostDrained = 1024;

std::u16string ObjectName(std::u16string_view friendlyName, std::u16string_view suffix) {
  return u"Global\\" + FormatGuid(CLSID_Scanner_M48tz) + u"!" + std::u16string(friendlyName) + u"!" +
         std::u16string(suffix);
}

void SetIfPresent(const std::u16string& name) {
  if (ObjectResult<Event> event = Event::Open(name)) event.handle.Set();
}

}  // namespace

uint32_t ReadDisableButtons() {
  RegKey key;
  uint32_t value = 0;
  if (RegKey::Open(Hive::LocalMachine, u"Software\\Corvanite\\" + std::u16string(lowdrv::kModelName), &key) ==
      ERROR_SUCCESS) {
    key.GetDword(u"DisableButtons", &value);
  }
  return value;
}

ButtonState ApplyDisableButtons(ButtonState state, uint32_t disableButtons) {
  if (disableButtons & kDisableSimplex) state.simplex = false;
  if ((disableButtons & kDisableSimplexLong) && state.longPress) state.simplex = false;
  if (disableButtons & kDisableDuplex) state.duplex = false;
  if ((disableButtons & kDisableDuplexLong) && state.longPress) state.duplex = false;
  return state;
}

std::u16string LongPressEventName(std::u16string_view friendlyName) { return ObjectName(friendlyName, u"Configure"); }
std::u16string ChannelSemaphoreName(std::u16string_view friendlyName) { return ObjectName(friendlyName, u"CHANNELMUX"); }
std::u16string ChannelEventName(std::u16string_view friendlyName, bool duplex) {
  return ObjectName(friendlyName, duplex ? u"DUPLEX:CHANNELID!1" : u"SIMPLEX:CHANNELID!0");
}
std::u16string UserSettingsEventName() {
  return u"Global\\" + std::u16string(lowdrv::kModelFriendlyNameW) + u"RZDUserSettingsChanged";
}

uint32_t SignalButtonEvents(const ButtonState& state, std::u16string_view friendlyName) {
  if (state.longPress) SetIfPresent(LongPressEventName(friendlyName));
  if (state.function < kFirstFunction || state.function > kLastFunction) {
    // The number comes from the unit: 0 would drain the semaphore and then fail to release it.
    RZD_LOG_ERROR_OF(ScannerObjectLog(), u"Button thread: function %d is outside 1 to 9; CHANNELMUX is left alone",
                     static_cast<int>(state.function));
    return kPollWaitMs;
  }
  ObjectResult<Semaphore> channel = Semaphore::Open(ChannelSemaphoreName(friendlyName));
  if (!channel) return kPollWaitMs;
  for (int taken = 0; taken < kMostDrained && channel.handle.Wait(0) == WAIT_OBJECT_0; ++taken) {
  }
  if (const uint32_t error = channel.handle.Release(state.function); error != ERROR_SUCCESS) {
    RZD_LOG_ERROR_OF(ScannerObjectLog(), u"Button thread: CHANNELMUX release by %d Failed: %d", static_cast<int>(state.function),
                     static_cast<int>(error));
  }
  channel.handle.Close();
  ObjectResult<Event> event = Event::Open(ChannelEventName(friendlyName, !state.simplex));
  if (!event) return kPollWaitMs;
  event.handle.Set();
  return kWaitAfterPressMs;
}

}  // namespace rzd::scanhost::buttons
