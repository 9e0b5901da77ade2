#include "host.h"

#include "interfaces/rzdhal_codes.h"
#include "interfaces/rzdhal_unit.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "scanhost/class_key_values.h"

namespace rzd::confighost {

namespace fs = std::filesystem;

namespace {

std::string Hex(HRESULT value) { return FormatA("0x%08X", static_cast<unsigned>(value)); }

}  // namespace

std::optional<Unit> FindUnit(const std::u16string& subkey, std::string* error) {
  RegKey classKey;
  if (RegKey::Open(Hive::LocalMachine, lowdrv::kImageClassKey, &classKey) != 0) {
    *error = "no scanner is installed";
    return std::nullopt;
  }
  std::vector<std::u16string> names;
  if (subkey.empty()) {
    classKey.EnumKeys(&names);
  } else {
    names.push_back(subkey);
  }
  for (const std::u16string& name : names) {
    RegKey key;
    if (classKey.OpenSubKey(name, &key) != 0) continue;
    Unit unit;
    unit.subkey = name;
    if (key.GetString(scanhost::kValueHalClsid, &unit.halClsid) != 0 || unit.halClsid.empty()) continue;
    key.GetString(scanhost::kValueInprocClsid, &unit.inprocClsid);
    key.GetString(scanhost::kValueConfigUi, &unit.configUi);
    key.GetString(scanhost::kValueFriendlyName, &unit.friendlyName);
    return unit;
  }
  *error = subkey.empty() ? "no installed scanner has a service class (HAL_CLSID)"
                          : "the unit " + ToUtf8(subkey) + " is not installed or has no service class (HAL_CLSID)";
  return std::nullopt;
}

std::optional<fs::path> PanelPath(const Unit& unit, const fs::path& given, std::string* error) {
  if (!given.empty()) return given;
  if (unit.configUi.empty()) {
    *error = "the unit names no settings panel (CONFIG_UI)";
    return std::nullopt;
  }
  const fs::path name = fs::path(ToUtf8(unit.configUi)).filename();
  if (std::optional<fs::path> found = FindBesideProgram(name)) return found;
  *error = "the settings panel " + name.string() + " was not found beside this program";
  return std::nullopt;
}

ComPtr<IRZDHAL> OpenUnit(const Unit& unit, std::string* error) {
  const std::u16string& classText = unit.inprocClsid.empty() ? unit.halClsid : unit.inprocClsid;
  const std::optional<GUID> clsid = ParseGuid(std::u16string_view(classText));
  if (!clsid) {
    *error = "the unit's service class is not a class id: " + ToUtf8(classText);
    return {};
  }
  ComPtr<IRZDHAL> service;
  const HRESULT created = CoCreateInstance(*clsid, nullptr, CLSCTX_ALL, IID_IRZDHAL, service.OutVoid());
  if (created != S_OK || !service) {
    *error = "the unit's service could not be started (" + Hex(created) + ")";
    return {};
  }
  const HRESULT opened = ConnectHalUnit(service.Get(), unit.halClsid);
  if (opened != S_OK) {
    *error = opened == kHalBusy ? "the scanner is in use by another application"
                                                        : "the unit could not be opened (" + Hex(opened) + ")";
    return {};
  }
  return service;
}

void CloseUnit(ComPtr<IRZDHAL>& service) {
  if (!service) return;
  DisconnectHalUnit(service.Get());
  service.Reset();
}

}  // namespace rzd::confighost
