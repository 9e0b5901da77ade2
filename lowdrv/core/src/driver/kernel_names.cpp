#include "lowdrv/core/driver_names.h"

namespace rzd::lowdrv {

std::u16string InstanceNameFromPath(std::u16string_view devicePath) {
  const size_t pid = devicePath.find(u"pid_");
  if (pid == std::u16string_view::npos) return {};
  std::u16string_view rest = devicePath.substr(pid);
  const size_t hash = rest.find(u'#');
  if (hash == std::u16string_view::npos) return {};
  rest = rest.substr(hash + 1);
  return std::u16string(rest.substr(0, rest.find(u'#')));
}

std::u16string LettersAndDigits(std::u16string_view text) {
  std::u16string kept;
  kept.reserve(text.size());
  for (char16_t c : text) {
    if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) kept.push_back(c);
  }
  return kept;
}

std::u16string WithoutFirstHash(std::u16string_view text) {
  std::u16string result(text);
  if (const size_t hash = result.find(u'#'); hash != std::u16string::npos) result.erase(hash, 1);
  return result;
}

std::u16string UnitSemaphoreName(std::u16string_view prefix, std::u16string_view devicePath) {
  return std::u16string(prefix) + InstanceNameFromPath(devicePath);
}

std::u16string WakeupEventName(std::u16string_view prefix, std::u16string_view friendlyName) {
  return std::u16string(prefix) + kWakeupEventInfix + WithoutFirstHash(friendlyName);
}

std::u16string ButtonThreadEventName(std::u16string_view devicePath) {
  return u"Global\\" + LettersAndDigits(devicePath) + kButtonThreadEventSuffix;
}

std::u16string OldDriverEventName(std::u16string_view prefix, std::u16string_view devicePath) {
  return std::u16string(prefix) + LettersAndDigits(devicePath);
}

}  // namespace rzd::lowdrv
