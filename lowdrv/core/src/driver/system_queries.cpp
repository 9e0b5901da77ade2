#include "lowdrv/core/driver_system.h"

#include "foundation/xml_store.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/text.h"

#include <algorithm>
#include <optional>

namespace rzd::lowdrv {

namespace {

constexpr char16_t kUpgradeCodesKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes\\";
constexpr char16_t kUninstallKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The geographical id of a locale territory; nullopt when the locale names none.
std::optional<int32_t> GeoIdOfLocale(const std::string& locale) {
  const size_t underscore = locale.find('_');
  if (underscore == std::string::npos) return std::nullopt;
  std::string territory = locale.substr(underscore + 1, 2);
  if (territory.size() != 2) return std::nullopt;
  if (territory == "US") return 244;
  if (territory == "CA") return 39;
  if (territory == "MX") return 166;
  return 0;  // a region outside the listed ones
}

int32_t AttributeOr(MSXML6StoreSTL& store, std::u16string_view name, int32_t fallback) {
  return store.GetAttributeInt(name, fallback);
}

}  // namespace

std::string WideToNarrow(std::u16string_view text) { return ToAnsi(text); }

uint32_t LoadPowerTimeoutLimitsFrom(const void* addressInModule, std::u16string_view halModel,
                                    RZDPowerTimeoutLimits& limits) {
  const std::optional<std::u16string> description =
      FindUtf16TextResource(addressInModule, kResourceTypeXml, IDR_XML_SUPPORTED_SETTINGS);
  if (!description) return 0;
  MSXML6StoreSTL store;
  if (!store.LoadFromString(*description)) return 0;

  uint32_t found = 0;
  const bool listedRegion = CheckSystemGeoId();
  if (store.SelectNode(u"//HardwareSettings/OffTimeout/Range/Value")) {
    found |= kPowerLimitsOff;
    limits.offMin = listedRegion ? 0 : 15;
    limits.offDefault = listedRegion ? 0 : 240;
    limits.offMax = static_cast<uint16_t>(AttributeOr(store, u"Maximum", 4320));
  }
  if (store.SelectNode(u"//HardwareSettings/ERPTimeout/Range/Value")) {
    found |= kPowerLimitsERP;
    limits.erpMin = listedRegion ? 0 : 15;
    limits.erpDefault = listedRegion ? 0 : 240;
    limits.erpMax = static_cast<uint16_t>(AttributeOr(store, u"Maximum", 4320));
  }
  if (store.SelectNode(u"//HardwareSettings/SleepTimeout/Range/Value")) {
    found |= kPowerLimitsSleep;
    limits.sleepMin = static_cast<uint16_t>(AttributeOr(store, u"Minimum", 0));
    limits.sleepMax = static_cast<uint16_t>(AttributeOr(store, u"Maximum", 240));
    limits.sleepDefault = static_cast<uint16_t>(AttributeOr(store, u"Default", 15));
  }

  // The machine's own sleep limits replace the description's when both are there and in order.
  RegKey key;
  if (RegKey::Open(Hive::LocalMachine, u"Software\\Corvanite\\" + std::u16string(halModel) + u"\\SleepTime", &key) ==
      ERROR_SUCCESS) {
    uint32_t maximum = 0;
    uint32_t minimum = 0;
    if (key.GetDword(u"Min", &minimum) == ERROR_SUCCESS && key.GetDword(u"Max", &maximum) == ERROR_SUCCESS &&
        maximum >= minimum) {
      limits.sleepMax = static_cast<uint16_t>(std::min<uint32_t>(maximum, 0xFFFF));
      limits.sleepMin = static_cast<uint16_t>(std::min<uint32_t>(minimum, 0xFFFF));
    }
  }
  if (limits.sleepDefault < limits.sleepMin) limits.sleepDefault = limits.sleepMin;
  if (limits.sleepDefault > limits.sleepMax) limits.sleepDefault = limits.sleepMax;
  limits.found = found;
  return found;
}

bool CheckSystemGeoId() {
  std::optional<std::string> locale = GetEnv("LC_ALL");
  if (!locale || locale->empty()) locale = GetEnv("LANG");
  // The region query fails without a locale that names a territory: counted as a listed region.
  const std::optional<int32_t> geoId = locale ? GeoIdOfLocale(*locale) : std::nullopt;
  const int32_t id = geoId.value_or(244);
  return id == 39 || id == 166 || id == 244;
}

std::u16string UnpackProductCode(std::u16string_view packed) {
  if (packed.size() != 32) return {};
  for (char16_t c : packed) {
    if (HexDigitValue(c) < 0) return {};
  }
  std::u16string plain;
  auto reversed = [&](size_t from, size_t count) {
    for (size_t i = 0; i < count; ++i) plain.push_back(packed[from + count - 1 - i]);
  };
  reversed(0, 8);
  reversed(8, 4);
  reversed(12, 4);
  for (size_t i = 16; i < 32; i += 2) {
    plain.push_back(packed[i + 1]);
    plain.push_back(packed[i]);
  }
  return u"{" + plain.substr(0, 8) + u"-" + plain.substr(8, 4) + u"-" + plain.substr(12, 4) + u"-" +
         plain.substr(16, 4) + u"-" + plain.substr(20, 12) + u"}";
}

std::u16string GetInstalledProductVersion(std::u16string_view packedUpgradeCode) {
  const std::u16string notInstalled = u"Not installed";
  RegKey upgrade;
  if (RegKey::Open(Hive::LocalMachine, kUpgradeCodesKey + std::u16string(packedUpgradeCode), &upgrade) !=
      ERROR_SUCCESS)
    return notInstalled;
  std::vector<RegValue> values;
  if (upgrade.EnumValues(&values) != ERROR_SUCCESS || values.empty()) return notInstalled;
  const std::u16string productCode = UnpackProductCode(values.front().name);
  if (productCode.empty()) return notInstalled;
  RegKey product;
  if (RegKey::Open(Hive::LocalMachine, kUninstallKey + productCode, &product) != ERROR_SUCCESS) return notInstalled;
  std::u16string version;
  if (product.GetString(u"DisplayVersion", &version) != ERROR_SUCCESS) return notInstalled;
  return version;
}

}  // namespace rzd::lowdrv
