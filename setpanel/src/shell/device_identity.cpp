#include "device_identity.h"

#include "lowdrv/engine/model_ids.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "scanhost/class_key_values.h"

#include <vector>

namespace rzd::panel {

DeviceIdentity FindDeviceIdentity(std::u16string_view device) {
  DeviceIdentity identity;
  identity.device = std::u16string(device);
  RegKey classKey;
  if (RegKey::Open(Hive::LocalMachine, lowdrv::kImageClassKey, &classKey) != ERROR_SUCCESS) return identity;
  std::vector<std::u16string> units;
  classKey.EnumKeys(&units);
  for (const std::u16string& unit : units) {
    RegKey key;
    if (classKey.OpenSubKey(unit, &key) != ERROR_SUCCESS) continue;
    std::u16string halClsid;
    if (key.GetString(scanhost::kValueHalClsid, &halClsid) != ERROR_SUCCESS || halClsid != device) continue;
    identity.classKey = std::u16string(lowdrv::kImageClassKey) + u"\\" + unit;
    key.GetString(scanhost::kValueFriendlyName, &identity.friendlyName);
    key.GetString(scanhost::kValueHalModel, &identity.halModel);
    key.GetString(scanhost::kValueImageProcessing, &identity.imageProcessing);
    key.GetString(scanhost::kValueCombineWith, &identity.combineWith);
    key.GetString(scanhost::kValueFirmwareUpdater, &identity.firmwareUpdater);
    key.GetString(scanhost::kValueSymbolicName, &identity.symbolicName);
    break;
  }
  return identity;
}

HwPropsFile HwPropsOf(const DeviceIdentity& identity) { return HwPropsFile(identity.halModel); }

std::u16string FirmwareUnitName(std::u16string_view friendlyName) {
  const size_t hash = friendlyName.find(u'#');
  if (hash != std::u16string_view::npos && hash >= 2) return std::u16string(friendlyName.substr(0, hash - 1));
  return std::u16string(friendlyName);
}

std::filesystem::path PresetsFolder(std::u16string_view halModel) {
  return KnownFolderPath(KnownFolder::CommonAppData) / "Corvanite" / "TWAIN" / std::u16string(halModel);
}

std::filesystem::path LocalAppDataFolder() { return KnownFolderPath(KnownFolder::LocalAppData); }

}  // namespace rzd::panel
