// Names made from a unit's device path that the service, the driver and the tools must make
// alike: the device id and the device-online event the service sets while the unit is present
// and the driver looks at before it opens the unit.
#pragma once

#include "lowdrv/engine/model_ids.h"

#include <optional>
#include <string>
#include <string_view>

namespace rzd::lowdrv {

// The device id of a device path (the image-class interface path, or the unit's `SymbolicName`,
// which is the same text): the path with the letters a to z upper-cased, from "VID_" up to, not
// including, "#{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}", with every "&" replaced by "_". Nullopt
// when the path lacks either part, or has the class before "VID_".
inline std::optional<std::u16string> DeviceIdOfPath(std::u16string_view path) {
  std::u16string upper(path);
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  const size_t vid = upper.find(u"VID_");
  if (vid == std::u16string::npos) return std::nullopt;
  const size_t classAt = upper.find(std::u16string(u"#") + kImageClassGuidTextW, vid);
  if (classAt == std::u16string::npos) return std::nullopt;
  std::u16string id = upper.substr(vid, classAt - vid);
  for (char16_t& c : id) {
    if (c == u'&') c = u'_';
  }
  return id;
}

// "Global\RZD_" + the device id + "_ON": the manual-reset event that is set while the unit is
// present. Nullopt when the path gives no device id.
inline std::optional<std::u16string> DeviceOnlineEventName(std::u16string_view path) {
  const std::optional<std::u16string> id = DeviceIdOfPath(path);
  if (!id) return std::nullopt;
  return u"Global\\RZD_" + *id + u"_ON";
}

}  // namespace rzd::lowdrv
