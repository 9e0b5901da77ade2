#include "startup/registration.h"

#include "startup/launch_permission.h"

#include "scanhost/class_key_values.h"
#include "scanhost/instance_ids.h"

#include "foundation/log_interface.h"
#include "platform/registrar.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/root.h"
#include "platform/service.h"
#include "platform/text.h"

namespace rzd::scanhost {

namespace {

constexpr char16_t kRegistryResourceType[] = u"REGISTRY";
constexpr uint32_t kAppIdScriptId = 101;
constexpr uint32_t kClassScriptId = 102;
constexpr uint32_t kServiceStopWaitMs = 30000;
constexpr char16_t kDriverFolder[] = u"REDIRIV";
constexpr char16_t kScanDriverFolder[] = u"SCANDRV";

// The registrations' failures a person must see: there is no desktop to show a box on, so they
// go to the standard error of whoever ran the registration.
void ShowMessage(std::u16string_view text) { OutputDebugText(text); }

std::optional<std::u16string> Script(uint32_t id) {
  const std::optional<std::span<const uint8_t>> bytes = FindResource(reinterpret_cast<const void*>(&ShowMessage), kRegistryResourceType, id);
  if (!bytes) return std::nullopt;
  return FromUtf8(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

Registrar MakeRegistrar(const StartupValues& values, bool perUser) {
  Registrar registrar;
  registrar.SetPerUser(perUser);
  registrar.AddReplacement(u"SHORT_NAME", values.modelName);
  registrar.AddReplacement(u"INSTANCE_NUMBER", values.instanceText);
  registrar.AddReplacement(u"APPID", FormatGuid(values.appId));
  registrar.AddReplacement(u"HAL_CLSID", FormatGuid(values.halClsid));
  registrar.AddReplacement(u"TLB_ID", FormatGuid(kTypeLibraryId));
  registrar.AddReplacement(u"MODULE", QuotedModulePath(values));
  registrar.AddReplacement(u"RZD_HAL_CATEGORY_ID", FormatGuid(kHalCategoryId));
  registrar.AddReplacement(u"HAL_NAME", values.name.service);
  return registrar;
}

HRESULT RunScript(const StartupValues& values, uint32_t id, bool perUser, bool doRegister) {
  const std::optional<std::u16string> script = Script(id);
  if (!script) return E_FAIL;
  Registrar registrar = MakeRegistrar(values, perUser);
  return doRegister ? registrar.Register(*script) : registrar.Unregister(*script);
}

// AppID\{APPID} in the machine's classes, or the current user's.
uint32_t OpenAppIdKey(const StartupValues& values, bool perUser, RegKey* key) {
  const std::u16string path = u"Software\\Classes\\AppID\\" + FormatGuid(values.appId);
  return RegKey::Open(perUser ? Hive::CurrentUser : Hive::LocalMachine, path, key);
}

HRESULT FromWin32(uint32_t error) { return HRESULT_FROM_WIN32(error); }

}  // namespace

std::u16string QuotedModulePath(const StartupValues& values) {
  const std::u16string path = values.modulePath.u16string();
  if (path.find(u' ') == std::u16string::npos) return path;
  return u"\"" + path + u"\"";
}

Switch ParseSwitch(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg.empty() || (arg[0] != '-' && arg[0] != '/')) continue;
    const std::u16string name = FromUtf8(std::string_view(arg).substr(1));
    if (EqualsNoCase(name, u"RegServer")) return Switch::kRegServer;
    if (EqualsNoCase(name, u"UnregServer")) return Switch::kUnregServer;
    if (EqualsNoCase(name, u"RegServerPerUser")) return Switch::kRegServerPerUser;
    if (EqualsNoCase(name, u"UnregServerPerUser")) return Switch::kUnregServerPerUser;
    if (EqualsNoCase(name, u"Service")) return Switch::kService;
  }
  return Switch::kRun;
}

HRESULT SetClsid(const StartupValues& values) {
  RegKey key;
  if (RegKey::Open(Hive::LocalMachine, values.classKeyPath, &key) != ERROR_SUCCESS) return E_FAIL;
  const std::filesystem::path driverPath = KnownFolderPath(KnownFolder::Windows) / kDriverFolder /
                                           kScanDriverFolder / values.modelName / values.driverPathFileName;
  const std::pair<const char16_t*, std::u16string> strings[] = {
      {kValueHalClsid, FormatGuid(values.halClsid)},
      {kValueInprocClsid, FormatGuid(kInprocBridgeClass)},
      {kValueConfigUi, kConfigUiFile},
      {kValueWiaDriver, kWiaDriverFile},
      {kValueWiaUi, kWiaUiFile},
      {kValueFirmwareUpdater, kFirmwareUpdaterFile},
      {kValueColorQa, kColorQaFile},
      {kValueDriverPath, driverPath.u16string()},
      {kValueImageProcessing, kImageProcessing},
  };
  for (const auto& [name, text] : strings) {
    if (uint32_t error = key.SetString(name, text); error != ERROR_SUCCESS) return FromWin32(error);
  }
  if (uint32_t error = key.SetDword(kValueStiEsc, kStiEsc); error != ERROR_SUCCESS) return FromWin32(error);
  return S_OK;
}

HRESULT RegisterServer(const StartupValues& values, bool perUser) {
  if (HRESULT hr = RunScript(values, kClassScriptId, perUser, true); FAILED(hr)) return hr;
  return SetClsid(values);
}

HRESULT UnregisterServer(const StartupValues& values, bool perUser) {
  return RunScript(values, kClassScriptId, perUser, false);
}

HRESULT RegisterAppId(const StartupValues& values, bool service, bool perUser) {
  if (HRESULT hr = RunScript(values, kAppIdScriptId, perUser, true); FAILED(hr)) return hr;
  RegKey key;
  if (uint32_t error = OpenAppIdKey(values, perUser, &key); error != ERROR_SUCCESS) return FromWin32(error);
  key.DeleteValue(u"LocalService");
  if (!service) return S_OK;
  if (uint32_t error = key.SetString(u"LocalService", values.name.service); error != ERROR_SUCCESS) {
    return FromWin32(error);
  }
  const std::vector<uint8_t> descriptor = LaunchPermissionDescriptor();
  for (const char16_t* name : {u"LaunchPermission", u"AccessPermission"}) {
    if (uint32_t error = key.SetBinary(name, descriptor); error != ERROR_SUCCESS) return FromWin32(error);
  }
  return InstallService(values) ? S_OK : E_FAIL;
}

HRESULT UnregisterAppId(const StartupValues& values, bool perUser) {
  return RunScript(values, kAppIdScriptId, perUser, false);
}

bool InstallService(const StartupValues& values) {
  if (ServiceRecordExists(values.name.service)) return true;
  ServiceCreateInfo info;
  info.name = values.name.service;
  info.displayName = values.name.service;
  info.commandLine = u"\"" + values.modulePath.u16string() + u"\"";
  info.serviceType = SERVICE_WIN32_OWN_PROCESS;
  info.startType = SERVICE_AUTO_START;
  info.dependencies = {u"RPCSS"};
  const uint32_t error = CreateServiceRecord(info);
  if (error == ERROR_SUCCESS) return true;
  ShowMessage(error == ERROR_ACCESS_DENIED ? u"Could not open Service Manager" : u"Could not start service");
  return false;
}

bool UninstallService(const StartupValues& values) {
  const std::u16string& name = values.name.service;
  if (!ServiceRecordExists(name)) return true;
  ServiceRunStatus status;
  if (QueryServiceRunStatus(name, &status) != ERROR_SUCCESS) {
    ShowMessage(u"Could not open service");
    return false;
  }
  if (status.state != SERVICE_STOPPED) {
    const uint32_t asked = ControlServiceByName(name, SERVICE_CONTROL_STOP);
    if ((asked != ERROR_SUCCESS && asked != ERROR_SERVICE_NOT_ACTIVE) ||
        WaitForServiceState(name, SERVICE_STOPPED, kServiceStopWaitMs) != ERROR_SUCCESS) {
      ShowMessage(u"Could not stop service");
      return false;
    }
  }
  if (DeleteServiceRecord(name) != ERROR_SUCCESS) {
    ShowMessage(u"Could not delete service");
    return false;
  }
  return true;
}

HRESULT RunRegistration(Switch what, const StartupValues& values) {
  const bool perUser = what == Switch::kRegServerPerUser || what == Switch::kUnregServerPerUser;
  switch (what) {
    case Switch::kRegServer:
    case Switch::kRegServerPerUser:
      if (HRESULT hr = RegisterAppId(values, false, perUser); FAILED(hr)) return hr;
      return RegisterServer(values, perUser);
    case Switch::kService:
      if (HRESULT hr = RegisterAppId(values, true, false); FAILED(hr)) return hr;
      return RegisterServer(values, false);
    case Switch::kUnregServer:
    case Switch::kUnregServerPerUser: {
      if (!UninstallService(values)) return E_FAIL;
      HRESULT hr = UnregisterAppId(values, perUser);
      const HRESULT classes = UnregisterServer(values, perUser);
      return FAILED(hr) ? hr : classes;
    }
    case Switch::kRun:
      break;
  }
  return S_OK;
}

}  // namespace rzd::scanhost
