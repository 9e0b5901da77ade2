// The installed units: the bridge's instance list (code 0) matched with the device class keys
// that name an instance class (HAL_CLSID).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace rzd::frontend {

struct Unit {
  uint32_t number = 0;          // the instance number, 0 to 9
  std::u16string friendlyName;  // the device class key's FriendlyName
  std::u16string instanceClass;  // braced
};

// The classes of a HALIDList document by instance number (the text of each HALGUID without its
// outer pair of braces); nullopt for a document that is not one.
std::optional<std::vector<std::u16string>> ParseHalIdList(const std::u16string& document);

// Every installed unit whose device class key names one of `classes`, by instance number.
std::vector<Unit> InstalledUnits(const std::vector<std::u16string>& classes);

}  // namespace rzd::frontend
