// The USB serial number of a unit, found by its vendor and product id and its driver key.
//
// On this system the search walks the device table (platform/devices.h) in place of the USB host
// controllers and hubs: each entry of the image class is one device on a port, with its USB ids
// (from its interface path), its driver key and its serial number. For a simulated unit the
// serial number is the one the unit gives; for a real unit the device table takes it from the
// sysfs attribute `serial` of the USB device, which the kernel reads from the unit's serial-number
// string descriptor (string descriptor number iSerialNumber, in the unit's first language).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace rzd::scanhost {

struct UsbIds {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  bool operator==(const UsbIds&) const = default;
};

// The ids a device path or `SymbolicName` carries as "vid_<hex>&pid_<hex>" ("vid_" found without
// regard to case); nullopt without them, or with more than four hex digits.
std::optional<UsbIds> ParseUsbIds(std::u16string_view path);

// The serial number of the device whose ids are `ids` and whose driver key equals `driverKey`
// (compared without regard to case; an empty key finds nothing). Devices of the same ids with
// another driver key (two units of one model) are passed over. Empty when none is found or the
// device has no serial number.
std::u16string LookUpUsbSerialNumber(const UsbIds& ids, std::u16string_view driverKey);

}  // namespace rzd::scanhost
