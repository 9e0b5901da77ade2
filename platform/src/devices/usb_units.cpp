// Real units from libudev: enumeration, their entries and driver keys, and the udev monitor.
#include "devices/usb_units.h"

#include "devices/device_files.h"
#include "model/model_ids.h"
#include "platform/registry.h"
#include "platform/text.h"

#include <libudev.h>

#include <charconv>
#include <set>

namespace rzd::devices {

namespace {

constexpr uint32_t kMaxDriverKeyNumber = 9999;
constexpr size_t kMaxPathSerial = 126;  // a USB string descriptor holds at most 126 characters

// Owns a udev reference.
struct UdevContext {
  udev* context = udev_new();
  ~UdevContext() {
    if (context) udev_unref(context);
  }
};

struct UdevDevice {
  udev_device* device;
  ~UdevDevice() {
    if (device) udev_device_unref(device);
  }
};

std::optional<uint32_t> ParseNumber(const char* text, int base) {
  if (text == nullptr) return std::nullopt;
  std::string_view view(text);
  while (!view.empty() && (view.back() == '\n' || view.back() == ' ')) view.remove_suffix(1);
  uint32_t value = 0;
  auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value, base);
  if (ec != std::errc() || end != view.data() + view.size() || view.empty()) return std::nullopt;
  return value;
}

// The facts of a USB device (not an interface, not a hub port); nullopt for anything else.
std::optional<UsbDeviceFacts> FactsOf(udev_device* device) {
  const char* type = udev_device_get_devtype(device);
  if (type == nullptr || std::string_view(type) != "usb_device") return std::nullopt;
  std::optional<uint32_t> vendor = ParseNumber(udev_device_get_sysattr_value(device, "idVendor"), 16);
  std::optional<uint32_t> product = ParseNumber(udev_device_get_sysattr_value(device, "idProduct"), 16);
  if (!vendor || !product || *vendor > 0xFFFF || *product > 0xFFFF) return std::nullopt;
  UsbDeviceFacts facts;
  facts.sysPath = udev_device_get_syspath(device);
  const char* name = udev_device_get_sysname(device);
  facts.port = name ? name : "";
  facts.vendorId = static_cast<uint16_t>(*vendor);
  facts.productId = static_cast<uint16_t>(*product);
  facts.revision = static_cast<uint16_t>(ParseNumber(udev_device_get_sysattr_value(device, "bcdDevice"), 16).value_or(0));
  if (const char* serial = udev_device_get_sysattr_value(device, "serial")) facts.serial = serial;
  return facts;
}

bool IsModelUnit(const UsbDeviceFacts& facts) {
  return facts.vendorId == model::kModelUsbVendorId && facts.productId == model::kModelUsbProductId;
}

std::u16string EnumKeyPath(const UsbDeviceFacts& facts) {
  return FormatW(u"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_%04X&PID_%04X", facts.vendorId, facts.productId);
}

// The unit's key under the Enum key: its serial number, or its port when it has none.
std::u16string InstanceKeyName(const UsbDeviceFacts& facts) {
  if (std::optional<std::string> serial = PathSerial(facts.serial)) return FromUtf8(*serial);
  return u"@" + FromUtf8(facts.port);
}

// The number of a driver key "{image class}\NNNN"; nullopt for any other text.
std::optional<uint32_t> DriverKeyNumber(std::u16string_view driverKey) {
  const std::u16string prefix = FormatGuid(GUID_DEVINTERFACE_IMAGE) + u"\\";
  if (driverKey.size() != prefix.size() + 4 || !EqualsNoCase(driverKey.substr(0, prefix.size()), prefix)) {
    return std::nullopt;
  }
  std::optional<std::string> digits = TryToUtf8(driverKey.substr(prefix.size()));
  if (!digits) return std::nullopt;
  return ParseNumber(digits->c_str(), 10);
}

std::optional<uint32_t> RecordedNumber(const RegKey& unitKey) {
  std::u16string driver;
  if (unitKey.GetString(u"Driver", &driver) != ERROR_SUCCESS) return std::nullopt;
  return DriverKeyNumber(driver);
}

// The unit's driver-key number: the recorded one, or the lowest free one, recorded now. Units are
// numbered under the table's lock, so two processes seeing a new unit at once agree.
std::optional<uint32_t> DriverNumberOf(const UsbDeviceFacts& facts) {
  const std::u16string enumPath = EnumKeyPath(facts);
  const std::u16string instance = InstanceKeyName(facts);
  RegKey unitKey;
  if (RegKey::Open(Hive::LocalMachine, enumPath + u"\\" + instance, &unitKey) == ERROR_SUCCESS) {
    if (std::optional<uint32_t> number = RecordedNumber(unitKey)) return number;
  }

  TableLock lock(TableFolder());
  if (!lock.Held()) return std::nullopt;
  RegKey enumKey;
  if (RegKey::Create(Hive::LocalMachine, enumPath, &enumKey) != ERROR_SUCCESS) return std::nullopt;
  std::set<uint32_t> taken;
  std::vector<std::u16string> names;
  enumKey.EnumKeys(&names);
  for (const std::u16string& name : names) {
    RegKey other;
    if (enumKey.OpenSubKey(name, &other) != ERROR_SUCCESS) continue;
    std::optional<uint32_t> number = RecordedNumber(other);
    if (!number) continue;
    if (EqualsNoCase(name, instance)) return number;  // recorded meanwhile by another process
    taken.insert(*number);
  }
  for (const DeviceEntry& entry : TableEntries(GUID_DEVINTERFACE_IMAGE)) {
    if (std::optional<uint32_t> number = DriverKeyNumber(entry.driverKey)) taken.insert(*number);
  }
  uint32_t free = 0;
  while (taken.count(free) != 0) ++free;
  if (free > kMaxDriverKeyNumber) return std::nullopt;
  RegKey created;
  if (enumKey.CreateSubKey(instance, &created) != ERROR_SUCCESS ||
      created.SetString(u"Driver", FormatGuid(GUID_DEVINTERFACE_IMAGE) + FormatW(u"\\%04u", free)) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return free;
}

template <typename Visit>
void ForEachModelUnit(udev* context, Visit visit) {
  udev_enumerate* enumeration = udev_enumerate_new(context);
  if (enumeration == nullptr) return;
  const std::string vendor = ToUtf8(FormatW(u"%04x", model::kModelUsbVendorId));
  const std::string product = ToUtf8(FormatW(u"%04x", model::kModelUsbProductId));
  udev_enumerate_add_match_subsystem(enumeration, "usb");
  udev_enumerate_add_match_sysattr(enumeration, "idVendor", vendor.c_str());
  udev_enumerate_add_match_sysattr(enumeration, "idProduct", product.c_str());
  udev_enumerate_scan_devices(enumeration);
  for (udev_list_entry* item = udev_enumerate_get_list_entry(enumeration); item != nullptr;
       item = udev_list_entry_get_next(item)) {
    UdevDevice device{udev_device_new_from_syspath(context, udev_list_entry_get_name(item))};
    if (device.device == nullptr) continue;  // gone since the scan
    std::optional<UsbDeviceFacts> facts = FactsOf(device.device);
    if (facts && IsModelUnit(*facts)) visit(*facts);
  }
  udev_enumerate_unref(enumeration);
}

}  // namespace

std::optional<std::string> PathSerial(std::string_view serial) {
  if (serial.empty() || serial.size() > kMaxPathSerial) return std::nullopt;
  for (char c : serial) {
    if (c < 0x21 || c > 0x7E || c == '#' || c == '\\' || c == '/' || c == ',') return std::nullopt;
  }
  return std::string(serial);
}

std::optional<DeviceEntry> RealUnitEntry(const UsbDeviceFacts& facts) {
  std::optional<uint32_t> number = DriverNumberOf(facts);
  if (!number) return std::nullopt;
  UsbImageDevice unit;
  unit.vendorId = facts.vendorId;
  unit.productId = facts.productId;
  unit.revision = facts.revision;
  unit.serialNumber = FromUtf8(PathSerial(facts.serial).value_or(""));
  unit.instance = *number;
  unit.friendlyName = model::kModelFriendlyNameW;
  unit.backend = std::string(kLibusbBackend);
  unit.address = facts.sysPath;
  DeviceEntry entry = MakeUsbImageDevice(unit);
  entry.serialNumber = FromUtf8(facts.serial);  // as the unit reports it, also where a path cannot carry it
  return entry;
}

std::vector<DeviceEntry> PresentRealUnits() {
  UdevContext udev;
  std::vector<DeviceEntry> units;
  if (udev.context == nullptr) return units;
  ForEachModelUnit(udev.context, [&](const UsbDeviceFacts& facts) {
    if (std::optional<DeviceEntry> entry = RealUnitEntry(facts)) units.push_back(std::move(*entry));
  });
  return units;
}

std::optional<DeviceEntry> FindRealUnit(std::u16string_view interfacePath) {
  for (DeviceEntry& entry : PresentRealUnits()) {
    if (EqualsNoCase(entry.interfacePath, interfacePath)) return std::move(entry);
  }
  return std::nullopt;
}

std::optional<UsbBusAddress> LocateRealUnit(const DeviceEntry& entry) {
  UdevContext udev;
  if (udev.context == nullptr) return std::nullopt;
  UdevDevice device{udev_device_new_from_syspath(udev.context, entry.address.c_str())};
  if (device.device == nullptr) return std::nullopt;
  std::optional<UsbDeviceFacts> facts = FactsOf(device.device);
  if (!facts || !IsModelUnit(*facts) || FromUtf8(facts->serial) != entry.serialNumber) return std::nullopt;
  std::optional<uint32_t> bus = ParseNumber(udev_device_get_sysattr_value(device.device, "busnum"), 10);
  std::optional<uint32_t> address = ParseNumber(udev_device_get_sysattr_value(device.device, "devnum"), 10);
  if (!bus || !address || *bus > 0xFF || *address > 0xFF) return std::nullopt;
  return UsbBusAddress{static_cast<uint8_t>(*bus), static_cast<uint8_t>(*address)};
}

// ---- The monitor

std::unique_ptr<RealUnitWatch> RealUnitWatch::Start() {
  udev* context = udev_new();
  if (context == nullptr) return nullptr;
  udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
  if (monitor == nullptr || udev_monitor_filter_add_match_subsystem_devtype(monitor, "usb", "usb_device") < 0 ||
      udev_monitor_enable_receiving(monitor) < 0) {
    if (monitor) udev_monitor_unref(monitor);
    udev_unref(context);
    return nullptr;
  }
  return std::unique_ptr<RealUnitWatch>(new RealUnitWatch(context, monitor));
}

RealUnitWatch::RealUnitWatch(udev* context, udev_monitor* monitor) : udev_(context), monitor_(monitor) {}

RealUnitWatch::~RealUnitWatch() {
  udev_monitor_unref(monitor_);
  udev_unref(udev_);
}

int RealUnitWatch::Fd() const { return udev_monitor_get_fd(monitor_); }

void RealUnitWatch::ListPresent() {
  ForEachModelUnit(udev_, [&](const UsbDeviceFacts& facts) {
    if (std::optional<DeviceEntry> entry = RealUnitEntry(facts)) known_[facts.sysPath] = entry->interfacePath;
  });
}

std::vector<RealUnitWatch::Change> RealUnitWatch::Read() {
  std::vector<Change> changes;
  while (udev_device* received = udev_monitor_receive_device(monitor_)) {
    UdevDevice device{received};
    const char* action = udev_device_get_action(received);
    const char* sysPath = udev_device_get_syspath(received);
    if (action == nullptr || sysPath == nullptr) continue;
    const std::string_view what(action);
    if (what == "add") {
      if (known_.count(sysPath) != 0) continue;  // listed already
      std::optional<UsbDeviceFacts> facts = FactsOf(received);
      if (!facts || !IsModelUnit(*facts)) continue;
      std::optional<DeviceEntry> entry = RealUnitEntry(*facts);
      if (!entry) continue;
      known_[facts->sysPath] = entry->interfacePath;
      changes.push_back({DBT_DEVICEARRIVAL, entry->interfacePath});
    } else if (what == "remove") {
      auto it = known_.find(sysPath);
      if (it == known_.end()) continue;
      changes.push_back({DBT_DEVICEREMOVECOMPLETE, std::move(it->second)});
      known_.erase(it);
    }
  }
  return changes;
}

}  // namespace rzd::devices
