// Real units on the USB bus, found with libudev: every USB device whose vendor and product id
// are the model's becomes an entry of the image interface class, in the same form as a simulated
// unit's entry (platform/devices.h: MakeUsbImageDevice), with the backend "libusb" and its sysfs
// path as the address. Each unit keeps one driver-key number for good: the first time it is seen
// the lowest number no other unit holds is recorded under
// HKLM\SYSTEM\CurrentControlSet\Enum\USB\VID_vvvv&PID_pppp\<instance id> (value "Driver").
#pragma once

#include "platform/devices.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct udev;
struct udev_device;
struct udev_monitor;

namespace rzd::devices {

// The backend kind of real units' entries.
inline constexpr std::string_view kLibusbBackend = "libusb";

// What udev tells of one USB device.
struct UsbDeviceFacts {
  std::string sysPath;  // the address of its entry
  std::string port;     // the sysfs name, the port the device sits on ("1-1.2")
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t revision = 0;  // bcdDevice
  std::string serial;     // sysfs `serial`; empty when the device has none
};

// The instance part of a unit's interface path: its serial number, when it has one that can
// stand in a path (1 to 126 printable ASCII characters, none of them '#', '\', '/' or ','), else
// nothing (the entry then gets "<number>&0&1").
std::optional<std::string> PathSerial(std::string_view serial);

// The entry of a real unit (its driver-key number looked up, or given on first sight). nullopt
// when no number can be had (the registry cannot be written, or all 10000 are taken).
std::optional<DeviceEntry> RealUnitEntry(const UsbDeviceFacts& facts);

// The model's units present now, in no particular order; empty when udev is not available.
std::vector<DeviceEntry> PresentRealUnits();
// The present real unit of an interface path (compared without regard to case).
std::optional<DeviceEntry> FindRealUnit(std::u16string_view interfacePath);

// Where a present USB device is: bus number and device address, from its sysfs path; nullopt
// when the device is gone or is no longer the unit of `entry` (another device on that port).
struct UsbBusAddress {
  uint8_t bus = 0;
  uint8_t address = 0;
};
std::optional<UsbBusAddress> LocateRealUnit(const DeviceEntry& entry);

// Arrival and removal of the model's units, from a udev monitor.
class RealUnitWatch {
 public:
  // nullptr when udev cannot be watched (no udev, or no netlink socket for this process).
  static std::unique_ptr<RealUnitWatch> Start();
  ~RealUnitWatch();
  RealUnitWatch(const RealUnitWatch&) = delete;
  RealUnitWatch& operator=(const RealUnitWatch&) = delete;

  // Readable when the monitor has something.
  int Fd() const;
  // The units present now; called once the monitor listens, so nothing is missed between.
  void ListPresent();
  struct Change {
    uint32_t eventType = 0;  // DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE
    std::u16string interfacePath;
  };
  // Reads what the monitor has and answers the arrivals and removals of the model's units.
  std::vector<Change> Read();

 private:
  RealUnitWatch(udev* context, udev_monitor* monitor);
  udev* udev_;
  udev_monitor* monitor_;
  std::map<std::string, std::u16string> known_;  // sysfs path -> interface path
};

}  // namespace rzd::devices
