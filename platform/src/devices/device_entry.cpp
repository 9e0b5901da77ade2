#include "platform/devices.h"
#include "platform/text.h"

namespace rzd {

const DeviceValue* DeviceEntry::FindValue(std::u16string_view name) const {
  for (const auto& [valueName, value] : hardwareValues) {
    if (EqualsNoCase(valueName, name)) return &value;
  }
  return nullptr;
}

void DeviceEntry::SetValue(std::u16string_view name, DeviceValue value) {
  for (auto& [valueName, current] : hardwareValues) {
    if (EqualsNoCase(valueName, name)) {
      current = std::move(value);
      return;
    }
  }
  hardwareValues.emplace_back(std::u16string(name), std::move(value));
}

DeviceEntry MakeUsbImageDevice(const UsbImageDevice& unit) {
  std::u16string instancePart = unit.serialNumber;
  if (instancePart.empty()) instancePart = FormatW(u"%u&0&1", unit.instance);
  std::u16string ids = FormatW(u"VID_%04X&PID_%04X", unit.vendorId, unit.productId);

  DeviceEntry entry;
  entry.classGuid = GUID_DEVINTERFACE_IMAGE;
  entry.interfacePath =
      ToLower(u"\\\\?\\usb#" + ids + u"#" + instancePart + u"#" + FormatGuid(GUID_DEVINTERFACE_IMAGE));
  entry.hardwareIds = {u"USB\\" + ids + FormatW(u"&REV_%04X", unit.revision), u"USB\\" + ids};
  entry.driverKey = FormatGuid(GUID_DEVINTERFACE_IMAGE) + FormatW(u"\\%04u", unit.instance);
  entry.started = true;
  entry.friendlyName = unit.friendlyName;
  entry.serialNumber = unit.serialNumber;
  entry.backend = unit.backend;
  entry.address = unit.address;
  entry.SetValue(u"SymbolicName", u"\\??\\USB#" + ids + u"#" + instancePart + u"#" +
                                      ToLower(FormatGuid(GUID_DEVINTERFACE_USB_DEVICE)));
  return entry;
}

}  // namespace rzd
