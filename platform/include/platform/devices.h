// The device table: the present devices of the machine, their interfaces and properties, and
// notifications of device-interface arrival and removal.
//
// Simulated units: each present device interface is one file in SystemRoot()/devices/. A
// simulated unit adds its entry when it starts and removes it when it stops; every process that
// registered a notification for the entry's class hears of it. Entries are written whole
// (temporary file + rename), so a reader never sees half an entry.
//
// Real units: every USB device whose vendor and product id are the model's is an entry of the
// image class too, found with udev (backend "libusb", address its sysfs path), in the same form
// as a simulated unit's entry; its arrival and removal come from a udev monitor and reach the
// same registrations. Its driver-key number is given the first time it is seen and kept (under
// HKLM\SYSTEM\CurrentControlSet\Enum\USB\VID_vvvv&PID_pppp\<serial number>). Real units are not in
// the table's files: AddDevice, RemoveDevice and UpdateDevice do not reach them.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

// The still-image (image) device interface class {6BDD1FC6-810F-11D0-BEC7-08002BE2092F}.
constexpr GUID GUID_DEVINTERFACE_IMAGE{0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};
// The generic USB device interface class {A5DCBF10-6530-11D2-901F-00C04FB951ED}; the hardware
// key's `SymbolicName` names the unit's interface of this class.
constexpr GUID GUID_DEVINTERFACE_USB_DEVICE{0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// Event types of a device-interface notification.
constexpr uint32_t DBT_DEVICEARRIVAL = 0x8000;
constexpr uint32_t DBT_DEVICEREMOVECOMPLETE = 0x8004;

// Device node status bits.
constexpr uint32_t DN_DRIVER_LOADED = 0x00000002;
constexpr uint32_t DN_STARTED = 0x00000008;

namespace rzd {

// A value of a device's hardware key: a string (REG_SZ) or a 32-bit number (REG_DWORD).
using DeviceValue = std::variant<std::u16string, uint32_t>;

// One present device interface and the properties of its device.
struct DeviceEntry {
  // \\?\usb#vid_vvvv&pid_pppp#<instance>#{class guid}, always lower case (AddDevice lowers it).
  std::u16string interfacePath;
  GUID classGuid = GUID_NULL;
  // Hardware ids, most specific first, e.g. "USB\VID_04C5&PID_1234&REV_0100", "USB\VID_04C5&PID_1234".
  std::vector<std::u16string> hardwareIds;
  // Driver key name: "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\0000".
  std::u16string driverKey;
  bool started = true;
  std::u16string friendlyName;
  // The USB serial-number string of the unit; empty when it has none.
  std::u16string serialNumber;
  // Values of the device's hardware key (`SymbolicName`, ...), in the order they were set.
  std::vector<std::pair<std::u16string, DeviceValue>> hardwareValues;
  // How the unit is reached: backend kind and its address ("sim": the unit's socket path;
  // "libusb": the sysfs path of a real unit).
  std::string backend;
  std::string address;

  // Device node status: DN_DRIVER_LOADED | DN_STARTED while started, else 0.
  uint32_t StatusFlags() const { return started ? (DN_DRIVER_LOADED | DN_STARTED) : 0; }
  // The hardware-key value of that name (compared without regard to case), or nullptr.
  const DeviceValue* FindValue(std::u16string_view name) const;
  // Sets a hardware-key value, replacing one of the same name (compared without regard to case).
  void SetValue(std::u16string_view name, DeviceValue value);
};

// What describes a USB still-image unit; MakeUsbImageDevice turns it into its entry.
struct UsbImageDevice {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t revision = 0x0100;   // bcdDevice, for the most specific hardware id
  std::u16string serialNumber;  // also the instance part of the interface path
  uint32_t instance = 0;        // driver key number, 0 to 9999
  std::u16string friendlyName;
  std::string backend = "sim";
  std::string address;
};

// The entry of a USB still-image unit:
//   interface path  \\?\usb#vid_vvvv&pid_pppp#<serial, lower case>#{6bdd1fc6-810f-11d0-bec7-08002be2092f}
//   hardware ids    USB\VID_VVVV&PID_PPPP&REV_RRRR, USB\VID_VVVV&PID_PPPP
//   driver key      {6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\NNNN
//   hardware key    SymbolicName = \??\USB#VID_VVVV&PID_PPPP#<serial>#{a5dcbf10-6530-11d2-901f-00c04fb951ed}
// A unit without a serial number gets the instance part "<instance>&0&1", the kind of instance
// id the bus makes up for such a unit.
DeviceEntry MakeUsbImageDevice(const UsbImageDevice& unit);

// ---- The table. Functions answer Win32 error numbers (0 on success).

// Adds the entry, or replaces the entry of the same interface path (an update, not an arrival).
// The interface path must have the form \\?\<...>#{class guid} for the entry's class:
// ERROR_INVALID_PARAMETER otherwise.
uint32_t AddDevice(const DeviceEntry& entry);
// Removes the entry of this interface path (compared without regard to case): a removal.
// ERROR_FILE_NOT_FOUND when there is none.
uint32_t RemoveDevice(std::u16string_view interfacePath);
// Changes an entry in place under the table's lock (one writer at a time across processes).
// ERROR_FILE_NOT_FOUND when there is none; the interface path and class cannot change.
uint32_t UpdateDevice(std::u16string_view interfacePath, const std::function<void(DeviceEntry&)>& change);

// The entry of an interface path (compared without regard to case), when present: the table's,
// else a real unit's.
std::optional<DeviceEntry> FindDevice(std::u16string_view interfacePath);
// The present interfaces of a class, simulated and real, in a stable order: by driver key, then
// interface path. Where a simulated and a real unit have one path, the simulated unit's entry is
// listed.
std::vector<DeviceEntry> EnumerateDevices(const GUID& classGuid);

// ---- Device-interface notifications.

struct DeviceInterfaceEvent {
  uint32_t eventType = 0;  // DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE
  GUID classGuid = GUID_NULL;
  std::u16string interfacePath;
};

// A registration for arrival and removal of the interfaces of one class, made by any process.
// The callback runs on the registration's own thread, one event at a time, in the order the
// table changed. Entries present when the registration is made are not announced.
class DeviceNotification {
 public:
  using Callback = std::function<void(const DeviceInterfaceEvent& event)>;

  // nullptr with a Win32 error in `error` when the table cannot be watched.
  static std::unique_ptr<DeviceNotification> Register(const GUID& classGuid, Callback callback,
                                                      uint32_t* error = nullptr);
  ~DeviceNotification();  // unregisters
  DeviceNotification(const DeviceNotification&) = delete;
  DeviceNotification& operator=(const DeviceNotification&) = delete;

  // Stops the thread and joins it: no callback runs once this returns. Called from the
  // callback itself it only asks the thread to stop after the callback. Idempotent.
  void Unregister();

  struct State;

 private:
  explicit DeviceNotification(std::shared_ptr<State> state);
  std::shared_ptr<State> state_;
};

}  // namespace rzd
