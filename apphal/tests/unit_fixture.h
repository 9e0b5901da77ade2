// An installed unit as the device installation and the service leave it: the device table's
// entry of the USB still-image unit and the values of its device class key (written here: the
// service that writes the class values in a real installation is not part of these tests).
#pragma once

#include "apphal/zq4_hal.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/devices.h"
#include "platform/registry.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace rzd::apphal::test {

// The class of the in-process bridge and the first instance of the service, as the service
// registers them.
inline constexpr char16_t kInprocClsidText[] = u"{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}";
inline constexpr char16_t kHalClsidText[] = u"{D5BE08B1-6646-45E2-BA71-D556CB1C272E}";

struct UnitSetup {
  uint16_t vendorId = lowdrv::kModelUsbVendorId;
  uint16_t productId = lowdrv::kModelUsbProductId;
  std::u16string serial = u"QX48A0001";
  uint32_t instance = 0;
  bool started = true;
  std::optional<std::u16string> friendlyName = std::u16string(lowdrv::kModelFriendlyNameW);
  std::optional<std::u16string> dataSourcePath = u"/opt/twain/rzdtwainds.so";
  std::optional<std::u16string> inprocClsid = std::u16string(kInprocClsidText);
  std::optional<std::u16string> halClsid = std::u16string(kHalClsidText);
  std::optional<uint32_t> dfdSkip;
  std::optional<uint32_t> uninstalled;
  std::optional<std::u16string> netName;
};

// "SYSTEM\CurrentControlSet\Control\Class\{6BDD1FC6-...}\000N".
inline std::u16string ClassKeyPath(uint32_t instance) {
  return std::u16string(kDeviceClassKeyRoot) + lowdrv::kImageClassGuidTextW + FormatW(u"\\%04u", instance);
}

// Adds the unit's device entry and writes its device class key; the key's path.
inline std::u16string InstallUnit(const UnitSetup& setup) {
  UsbImageDevice usb;
  usb.vendorId = setup.vendorId;
  usb.productId = setup.productId;
  usb.serialNumber = setup.serial;
  usb.instance = setup.instance;
  usb.friendlyName = setup.friendlyName.value_or(u"");
  DeviceEntry entry = MakeUsbImageDevice(usb);
  entry.started = setup.started;
  EXPECT_EQ(AddDevice(entry), ERROR_SUCCESS);

  const std::u16string path = ClassKeyPath(setup.instance);
  RegKey key;
  EXPECT_EQ(RegKey::Create(Hive::LocalMachine, path, &key), ERROR_SUCCESS);
  auto text = [&](const char16_t* name, const std::optional<std::u16string>& value) {
    if (value) {
      EXPECT_EQ(key.SetString(name, *value), ERROR_SUCCESS);
    }
  };
  auto number = [&](const char16_t* name, std::optional<uint32_t> value) {
    if (value) {
      EXPECT_EQ(key.SetDword(name, *value), ERROR_SUCCESS);
    }
  };
  text(kValueFriendlyName, setup.friendlyName);
  text(kValueTwainDsPath, setup.dataSourcePath);
  text(kValueInprocClsid, setup.inprocClsid);
  text(kValueHalClsid, setup.halClsid);
  text(kValueNetName, setup.netName);
  number(kValueDfdSkip, setup.dfdSkip);
  number(kValueUninstalled, setup.uninstalled);
  return path;
}

}  // namespace rzd::apphal::test
