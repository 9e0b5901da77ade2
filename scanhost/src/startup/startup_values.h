// The start-up values of a copy of the service: what its file name says (module_name.h), the
// identifiers of its instance, and the unit's values read from its device class key.
#pragma once

#include "startup/module_name.h"

#include "platform/types.h"

#include <filesystem>
#include <optional>
#include <string>

namespace rzd::scanhost {

struct StartupValues {
  ModuleName name;
  std::u16string instanceText;      // the instance number in decimal
  std::filesystem::path modulePath;  // MODULE: the executable's full path
  CLSID halClsid = GUID_NULL;       // HAL_CLSID of the instance
  GUID appId = GUID_NULL;           // APPID of the instance
  std::u16string modelName;         // SHORT_NAME
  std::u16string driverFileName;    // the driver library every scanner HAL object loads
  std::u16string driverPathFileName;
  // HKLM\SYSTEM\CurrentControlSet\Control\Class\{6BDD1FC6-...}\<subkey>.
  std::u16string classKeyPath;
  // Read from the device class key at start; empty when missing.
  std::u16string firmwareUpdater;
  std::u16string friendlyName;
  std::u16string symbolicName;
  std::u16string deviceInstanceId;
};

// The values of the copy at `module`; nullopt when its file name names no instance.
std::optional<StartupValues> ReadStartupValues(const std::filesystem::path& module);

// A string value (REG_SZ or REG_EXPAND_SZ) of the local machine's key `keyPath`; empty when the
// key or the value is missing or of another type.
std::u16string ReadMachineString(std::u16string_view keyPath, std::u16string_view name);

}  // namespace rzd::scanhost
