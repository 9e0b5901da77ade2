// Discovery of the installed unit through the image device class and its device class key, and
// the friendly-name list with the numbered units' scan profiles.
#include "apphal/zq4_hal.h"

#include "lowdrv/engine/model_ids.h"
#include "platform/devices.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/text.h"
#include "platform/types.h"

#include <chrono>
#include <system_error>
#include <thread>

namespace rzd::apphal {

namespace {

void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(kDiscoveryRetryMs)); }

bool Contains(std::u16string_view text, std::u16string_view part) {
  return !part.empty() && text.find(part) != std::u16string_view::npos;
}

// A registry string as the fixed buffers hold it.
std::u16string Bounded(std::u16string text) {
  if (text.size() >= kRegistryTextChars) text.resize(kRegistryTextChars - 1);
  return text;
}

bool ReadString(const RegKey& key, std::u16string_view name, std::u16string* value) {
  std::u16string text;
  if (key.GetString(name, &text) != ERROR_SUCCESS) return false;
  *value = Bounded(std::move(text));
  return true;
}

// FriendlyName as BuildProfileList accepts it: a string or expandable string of whole
// characters ending in a terminator.
bool ReadTerminatedName(const RegKey& key, std::u16string* name) {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (key.QueryValue(kValueFriendlyName, &type, &data) != ERROR_SUCCESS) return false;
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || data.size() < 2 || data.size() % 2 != 0 ||
      data[data.size() - 1] != 0 || data[data.size() - 2] != 0) {
    return false;
  }
  *name = Bounded(DecodeRegString(data));
  return true;
}

uint32_t ReadDwordOrZero(const RegKey& key, std::u16string_view name) {
  uint32_t value = 0;
  return key.GetDword(name, &value) == ERROR_SUCCESS ? value : 0;
}

bool MatchesAny(const std::vector<std::u16string>& lowerIds, std::u16string_view lowerId) {
  for (const std::u16string& id : lowerIds) {
    if (Contains(id, lowerId)) return true;
  }
  return false;
}

std::vector<std::u16string> LowerIds(const DeviceEntry& device) {
  std::vector<std::u16string> ids;
  for (const std::u16string& id : device.hardwareIds) ids.push_back(ToLower(id));
  return ids;
}

}  // namespace

std::filesystem::path ProfileFolder() {
  return KnownFolderPath(KnownFolder::ProgramFiles) / "Corvanite" / "Quickarc 4.0" / "Profiles";
}

std::filesystem::path ProfilePath(std::u16string_view friendlyName) {
  return ProfileFolder() / std::filesystem::path(std::u16string(friendlyName) + u".zq");
}

bool IsProfileFileName(std::u16string_view friendlyName) {
  return !friendlyName.empty() && friendlyName.find_first_of(u"\\/") == std::u16string_view::npos &&
         !Contains(friendlyName, u"..");
}

std::u16string DevicePathFromSymbolicName(std::u16string_view symbolicName) {
  size_t at = symbolicName.find(u"\\USB");
  if (at == std::u16string_view::npos) at = symbolicName.find(u"\\usb");
  if (at == std::u16string_view::npos) return {};
  std::u16string path = u"\\\\?" + ToLower(symbolicName.substr(at));
  // The USB device interface class becomes the image interface class, both as paths write them.
  const std::u16string from = ToLower(FormatGuid(GUID_DEVINTERFACE_USB_DEVICE));
  const std::u16string to = ToLower(FormatGuid(GUID_DEVINTERFACE_IMAGE));
  for (size_t found = path.find(from); found != std::u16string::npos; found = path.find(from, found + from.size())) {
    path.replace(found, from.size(), to);
  }
  return path;
}

bool CZQ4RZDHAL::ReadDeviceKey(std::u16string_view keyPath, std::u16string* friendlyName,
                               std::u16string* dataSourcePath, std::u16string* inprocClsid, std::u16string* halClsid,
                               int mode) const {
  // An empty path would open the hive's own root.
  if (keyPath.empty()) return false;
  RegKey key;
  if (RegKey::Open(Hive::LocalMachine, keyPath, &key) != ERROR_SUCCESS) return false;
  if (mode == 1) return ReadString(key, kValueFriendlyName, friendlyName);
  const bool path = ReadString(key, kValueTwainDsPath, dataSourcePath);
  const bool inproc = ReadString(key, kValueInprocClsid, inprocClsid);
  const bool hal = ReadString(key, kValueHalClsid, halClsid);
  return path && inproc && hal;
}

HRESULT CZQ4RZDHAL::FindDevice(LONG* found, bool /*optional*/) {
  LONG ignored = 0;
  if (found == nullptr) found = &ignored;
  *found = 0;
  m_devicePath.clear();
  m_dataSourcePath.clear();
  m_inprocClsid.clear();
  m_halClsid.clear();
  m_discoveryWaits = 0;

  const std::u16string deviceId = ToLower(m_deviceId);
  const std::u16string networkId = ToLower(m_networkHardwareId);
  const bool multiScanner =
      (static_cast<uint32_t>(m_defaults.SupportedDataTypes) & ZQSCANMODE_SUPPORT_MULTISCANNER) != 0;
  for (const DeviceEntry& device : EnumerateDevices(GUID_DEVINTERFACE_IMAGE)) {
    if (device.driverKey.empty()) continue;
    const std::u16string keyPath = kDeviceClassKeyRoot + Bounded(device.driverKey);

    // The hardware id and the node's state first: a device of another maker is left at once,
    // without waiting for a name it will never get.
    const std::vector<std::u16string> ids = LowerIds(device);
    const bool usbMatch = MatchesAny(ids, deviceId);
    const bool networkMatch = !networkId.empty() && MatchesAny(ids, networkId);
    if ((device.StatusFlags() & DN_STARTED) == 0 || !(usbMatch || networkMatch)) continue;

    // The installation may still be writing the key: wait for the name a little.
    std::u16string friendlyName;
    bool named = ReadDeviceKey(keyPath, &friendlyName, nullptr, nullptr, nullptr, 1);
    for (int reads = 1; !named && reads < kDiscoveryReads && Contains(ToUpper(device.driverKey), lowdrv::kImageClassGuidTextW);
         ++reads) {
      Pause();
      ++m_discoveryWaits;
      named = ReadDeviceKey(keyPath, &friendlyName, nullptr, nullptr, nullptr, 1);
    }
    if (multiScanner) {
      if (m_friendlyName == nullptr) return E_FAIL;
      if (!EqualsNoCase(friendlyName, BstrView(m_friendlyName))) continue;
    }
    if (!usbMatch) m_networkUnit = true;

    *found = 1;
    std::u16string dataSourcePath, inprocClsid, halClsid;
    bool complete = ReadDeviceKey(keyPath, nullptr, &dataSourcePath, &inprocClsid, &halClsid, 0);
    for (int reads = 1; !complete && reads < kDiscoveryReads; ++reads) {
      Pause();
      ++m_discoveryWaits;
      complete = ReadDeviceKey(keyPath, nullptr, &dataSourcePath, &inprocClsid, &halClsid, 0);
    }
    m_dataSourcePath = dataSourcePath;
    m_inprocClsid = inprocClsid;
    m_halClsid = halClsid;
    m_deviceKeyPath = keyPath;
    if (const DeviceValue* symbolic = device.FindValue(u"SymbolicName")) {
      if (const auto* name = std::get_if<std::u16string>(symbolic)) m_devicePath = DevicePathFromSymbolicName(*name);
    }
    RZD_LOG_INFO(u"FindDevice found %s at %s", friendlyName.c_str(), keyPath.c_str());
    break;
  }
  return S_OK;
}

void CZQ4RZDHAL::BuildProfileList() {
  SysFreeString(m_friendlyName);
  m_friendlyName = nullptr;

  const std::u16string deviceId = ToLower(m_deviceId);
  const std::u16string networkId = ToLower(m_networkHardwareId);
  std::u16string list;
  for (const DeviceEntry& device : EnumerateDevices(GUID_DEVINTERFACE_IMAGE)) {
    const std::vector<std::u16string> ids = LowerIds(device);
    if (!(MatchesAny(ids, deviceId) || (!networkId.empty() && MatchesAny(ids, networkId)))) continue;
    if (device.driverKey.empty()) continue;
    const std::u16string keyPath = kDeviceClassKeyRoot + Bounded(device.driverKey);

    std::u16string name;
    bool named = false;
    RegKey key;
    for (int reads = 0; reads < kDiscoveryReads; ++reads) {
      if (RegKey::Open(Hive::LocalMachine, keyPath, &key) != ERROR_SUCCESS) break;
      named = ReadTerminatedName(key, &name);
      if (named) break;
      key.Close();
      if (reads + 1 < kDiscoveryReads) Pause();
    }
    if (!named) continue;

    // A numbered unit gets its own profile, copied from the base unit's once.
    if (Contains(name, u"#")) {
      if (!IsProfileFileName(name)) {
        RZD_LOG_ERROR(u"BuildProfileList left the profile of %s because the name cannot name a file", name.c_str());
      } else {
        const std::filesystem::path target = ProfilePath(name);
        std::error_code error;
        if (!std::filesystem::exists(target, error) && ReadDwordOrZero(key, kValueUninstalled) == 0) {
          std::filesystem::copy_file(ProfilePath(m_baseFriendlyName), target, std::filesystem::copy_options::none,
                                     error);
        }
      }
    }
    if (!list.empty()) list += u":";
    list += name;
  }
  if (!list.empty()) m_friendlyName = AllocBstr(list);
}

}  // namespace rzd::apphal
