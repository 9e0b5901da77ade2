#include "startup/startup_values.h"

#include "scanhost/class_key_values.h"
#include "scanhost/instance_ids.h"

#include "lowdrv/core/api.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace rzd::scanhost {

std::u16string ReadMachineString(std::u16string_view keyPath, std::u16string_view name) {
  RegKey key;
  std::u16string value;
  if (RegKey::Open(Hive::LocalMachine, keyPath, &key) != ERROR_SUCCESS) return value;
  if (key.GetString(name, &value) != ERROR_SUCCESS) value.clear();
  return value;
}

std::optional<StartupValues> ReadStartupValues(const std::filesystem::path& module) {
  std::optional<ModuleName> name = ParseModuleName(module);
  if (!name) return std::nullopt;
  StartupValues values;
  values.name = *name;
  values.instanceText = FormatW(u"%u", name->instance);
  values.modulePath = module;
  values.halClsid = kInstanceClasses[name->instance];
  values.appId = kInstanceAppIds[name->instance];
  values.modelName = lowdrv::kModelName;
  values.driverFileName = FromUtf8(kLowLevelDriverFileName);
  values.driverPathFileName = kDriverPathFile;
  values.classKeyPath = std::u16string(lowdrv::kImageClassKey) + u"\\" + name->subkey;
  values.firmwareUpdater = ReadMachineString(values.classKeyPath, kValueFirmwareUpdater);
  values.friendlyName = ReadMachineString(values.classKeyPath, kValueFriendlyName);
  values.symbolicName = ReadMachineString(values.classKeyPath, kValueSymbolicName);
  values.deviceInstanceId = ReadMachineString(values.classKeyPath, kValueDeviceInstanceId);
  return values;
}

}  // namespace rzd::scanhost
