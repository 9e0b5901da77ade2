// Names of the driver's own kernel objects, made from the unit's device path and friendly name.
//
//   unit semaphore       "Global\M48tzLLD_" + instance name of the path
//   wake-up event        "Global\M48tzLLD_" + "WakeupTransaction" + friendly name without its first "#"
//   button-thread event  "Global\" + the path's letters and digits + "_ButtonThreadEvent"
//   old-driver event     "RORuz2006OZIDOD" + the path's letters and digits
#pragma once

#include <string>
#include <string_view>

namespace rzd::lowdrv {

inline constexpr char16_t kModelSemaphorePrefix[] = u"Global\\M48tzLLD_";
inline constexpr char16_t kWakeupEventInfix[] = u"WakeupTransaction";
inline constexpr char16_t kModelOldDriverEventPrefix[] = u"RORuz2006OZIDOD";
inline constexpr char16_t kButtonThreadEventSuffix[] = u"_ButtonThreadEvent";

// The unit's instance name: from the first "pid_" (lower case, exact) to the end, the text after
// the first "#", and of that the text before the next "#". Empty when the path has no "pid_" or no
// "#" after it.
std::u16string InstanceNameFromPath(std::u16string_view devicePath);

// Keeps 0-9, A-Z and a-z, in order; drops every other character.
std::u16string LettersAndDigits(std::u16string_view text);

// The text with its first "#" removed (the whole text when it has none).
std::u16string WithoutFirstHash(std::u16string_view text);

std::u16string UnitSemaphoreName(std::u16string_view prefix, std::u16string_view devicePath);
std::u16string WakeupEventName(std::u16string_view prefix, std::u16string_view friendlyName);
std::u16string ButtonThreadEventName(std::u16string_view devicePath);
std::u16string OldDriverEventName(std::u16string_view prefix, std::u16string_view devicePath);

}  // namespace rzd::lowdrv
