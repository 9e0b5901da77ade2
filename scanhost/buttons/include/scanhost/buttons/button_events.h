// The button presses of one poll and the named objects that tell the desktop application of them.
//
// The application creates the objects and waits on them; the service only opens and signals
// them. Their names join "Global\", the application's class identifier in braces, the unit's
// friendly name and a suffix with "!".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rzd::scanhost::buttons {

// What one poll found.
struct ButtonState {
  bool simplex = false;
  bool duplex = false;
  bool longPress = false;
  int32_t function = 1;
  friend bool operator==(const ButtonState&, const ButtonState&) = default;
};

// The driver's Buttons document: an Event element alone (a function number, no press), or the
// first Button with ID 2 (simplex) or 3 (duplex) and its Event ("Long" or "Short", an optional
// Function). nullopt for any other button or event text, or a text that is no document.
std::optional<ButtonState> ParseButtonsXml(std::u16string_view document);

// The DisableButtons switches (local machine, Software\Corvanite\<model>; 0 when missing).
inline constexpr uint32_t kDisableSimplex = 0x1;
inline constexpr uint32_t kDisableDuplex = 0x2;
inline constexpr uint32_t kDisableSimplexLong = 0x10000;
inline constexpr uint32_t kDisableDuplexLong = 0x20000;
uint32_t ReadDisableButtons();
// The presses the switches leave.
ButtonState ApplyDisableButtons(ButtonState state, uint32_t disableButtons);

// "Global\{<class id>}!<friendly name>!Configure": set on a long press.
std::u16string LongPressEventName(std::u16string_view friendlyName);
// "...!CHANNELMUX": drained, then released by the function number, on every press.
std::u16string ChannelSemaphoreName(std::u16string_view friendlyName);
// "...!SIMPLEX:CHANNELID!0" or "...!DUPLEX:CHANNELID!1": set after the semaphore.
std::u16string ChannelEventName(std::u16string_view friendlyName, bool duplex);
// The event the service makes (and never signals) for the application's user settings.
std::u16string UserSettingsEventName();

// The function numbers a press may carry to the application.
inline constexpr int32_t kFirstFunction = 1;
inline constexpr int32_t kLastFunction = 9;

// The poll waits: the usual one, and the one after a press the application took.
inline constexpr uint32_t kPollWaitMs = 500;
inline constexpr uint32_t kWaitAfterPressMs = 2000;

// Signals a press: the long-press event, then the channel semaphore and the channel event. The
// wait before the next poll: kWaitAfterPressMs when the channel event was there, else kPollWaitMs.
// A function number outside 1 to 9 is logged and leaves the semaphore and the channel event alone.
uint32_t SignalButtonEvents(const ButtonState& state, std::u16string_view friendlyName);

}  // namespace rzd::scanhost::buttons
