#include "unit_list.h"

#include "foundation/xml_store.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "scanhost/class_key_values.h"

#include <algorithm>

namespace rzd::frontend {

std::optional<std::vector<std::u16string>> ParseHalIdList(const std::u16string& document) {
  MSXML6StoreSTL store;
  if (!store.LoadFromString(document) || !store.SelectNode(u"/HALIDList/HALGUID")) return std::nullopt;
  std::vector<std::u16string> classes(10);
  do {
    std::u16string id;
    std::u16string text;
    if (!store.GetNodeAttribute(u"ID", id) || !store.GetText(text)) continue;
    const std::optional<uint32_t> number = ParseUInt32(id);
    if (!number || *number >= classes.size()) continue;
    if (text.size() >= 2 && text.front() == u'{' && text.back() == u'}') text = text.substr(1, text.size() - 2);
    classes[*number] = text;
  } while (store.MoveToNextNode());
  return classes;
}

std::vector<Unit> InstalledUnits(const std::vector<std::u16string>& classes) {
  std::vector<Unit> units;
  RegKey classKey;
  if (RegKey::Open(Hive::LocalMachine, lowdrv::kImageClassKey, &classKey) != ERROR_SUCCESS) return units;
  std::vector<std::u16string> subkeys;
  classKey.EnumKeys(&subkeys);
  for (const std::u16string& subkey : subkeys) {
    RegKey unit;
    std::u16string halClass;
    if (classKey.OpenSubKey(subkey, &unit) != ERROR_SUCCESS || unit.GetString(scanhost::kValueHalClsid, &halClass) != ERROR_SUCCESS)
      continue;
    for (uint32_t number = 0; number < classes.size(); ++number) {
      if (classes[number].empty() || !EqualsNoCase(classes[number], halClass)) continue;
      Unit found;
      found.number = number;
      found.instanceClass = classes[number];
      unit.GetString(scanhost::kValueFriendlyName, &found.friendlyName);
      units.push_back(found);
    }
  }
  std::sort(units.begin(), units.end(), [](const Unit& a, const Unit& b) { return a.number < b.number; });
  return units;
}

}  // namespace rzd::frontend
