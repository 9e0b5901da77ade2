// rzd-install: what the device installation does outside the system, for the units of the
// root's device table.
//
//   rzd-install [--service-exe PATH] [--twain-ds PATH]
//   rzd-install --remove
//
// Without --remove it installs every unit of the model that is not installed yet:
// - the unit's device class key (the four-digit subkey of its driver key under the image
//   class) gets SymbolicName (the image-class interface path), FriendlyName, DeviceInstanceID,
//   HAL_MODEL, TWAIN_DS_PATH and TWAIN_64_PATH (both the one data source: this system's build is
//   the only one there is, and a 64-bit driver reads the second) and HAL_PATH;
// - the service executable is copied once into Program Files/Corvanite/<model>, and the unit
//   gets a hard link to it named <service>_NNNN_N (device class subkey, instance 0 to 9), so its
//   own file name carries the unit;
// - the link registers itself (`-Service`: its class, AppID and service record);
// - the component libraries are registered: the IRZDHAL proxy/stub, the image-transfer buffers
//   and the in-process bridge that data sources load;
// - the firmware updater (rzd-fwupdater beside this program) is copied into the maker's common
//   files folder under the name the service writes into FIRMWARE_UPDATER, where the settings
//   panel starts it.
// A unit counts as installed while its HAL_PATH names an existing file. --remove undoes all of
// it for every installed unit and removes the updater. The service executable defaults to
// "scanhost" beside this program, the TWAIN data source to the model's data source
// (rzdtwainds.so) beside it or in the build's library folder, else
// Windows/twain_32/<model>/<model>.ds.
#include "lowdrv/engine/model_ids.h"
#include "scanhost/class_key_values.h"
#include "platform/devices.h"
#include "platform/modules.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/text.h"

#include <cstdio>
#include <iterator>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kRegistrationTimeoutMs = 60000;
// The component libraries the installation registers, in this order (removed in the other).
constexpr const char* kComponentLibraries[] = {"librzdhalps.so", "librzdrasterblocks.so", "libnethal.so"};
constexpr char kTwainDataSource[] = "rzdtwainds.so";
constexpr char kFirmwareUpdater[] = "rzd-fwupdater";

using rzd::lowdrv::kImageClassKey;

std::u16string UnitKey(const std::u16string& subkey) { return std::u16string(kImageClassKey) + u"\\" + subkey; }

fs::path ProgramFolder() {
  return rzd::KnownFolderPath(rzd::KnownFolder::ProgramFiles) / "Corvanite" / rzd::ToUtf8(rzd::lowdrv::kModelName);
}

// Where the settings panel looks for the firmware updater: the maker's folder among the 32-bit
// common program files, and in it the file the service names in FIRMWARE_UPDATER.
fs::path FirmwareUpdaterPath() {
  return rzd::KnownFolderPath(rzd::KnownFolder::CommonFilesX86) / "Corvanite" /
         rzd::ToUtf8(rzd::scanhost::kFirmwareUpdaterFile);
}

// Installed units: device class subkey -> HAL_PATH.
std::vector<std::pair<std::u16string, fs::path>> InstalledUnits() {
  std::vector<std::pair<std::u16string, fs::path>> units;
  rzd::RegKey classKey;
  if (rzd::RegKey::Open(rzd::Hive::LocalMachine, kImageClassKey, &classKey) != ERROR_SUCCESS) return units;
  std::vector<std::u16string> subkeys;
  classKey.EnumKeys(&subkeys);
  for (const std::u16string& subkey : subkeys) {
    rzd::RegKey unit;
    std::u16string path;
    if (classKey.OpenSubKey(subkey, &unit) == ERROR_SUCCESS &&
        unit.GetString(rzd::scanhost::kValueHalPath, &path) == ERROR_SUCCESS && !path.empty()) {
      units.emplace_back(subkey, fs::path(rzd::ToUtf8(path)));
    }
  }
  return units;
}

bool IsModelUnit(const rzd::DeviceEntry& entry) {
  const std::u16string id = rzd::FormatW(u"USB\\VID_%04X&PID_%04X", rzd::lowdrv::kModelUsbVendorId,
                                         rzd::lowdrv::kModelUsbProductId);
  for (const std::u16string& hardwareId : entry.hardwareIds) {
    if (rzd::EqualsNoCase(hardwareId, id)) return true;
  }
  return false;
}

// "USB\VID_vvvv&PID_pppp\<instance>", the instance being the interface path's third part.
std::u16string DeviceInstanceId(const rzd::DeviceEntry& entry) {
  std::vector<std::u16string> parts;
  size_t at = 0;
  for (size_t hash; (hash = entry.interfacePath.find(u'#', at)) != std::u16string::npos; at = hash + 1) {
    parts.push_back(entry.interfacePath.substr(at, hash - at));
  }
  const std::u16string instance = parts.size() >= 3 ? rzd::ToUpper(parts[2]) : std::u16string();
  return entry.hardwareIds.back() + u"\\" + instance;
}

// Runs a unit's service executable with one switch; true when it succeeds.
bool RunRegistration(const fs::path& program, const char* option) {
  auto child = rzd::ChildProcess::Start(program, {option});
  if (!child) return false;
  return child->Wait(kRegistrationTimeoutMs) == 0;
}

// Calls DllRegisterServer or DllUnregisterServer of a component library beside this program.
bool RegisterLibrary(const char* name, bool install) {
  auto path = rzd::FindBesideProgram(name);
  if (!path) return false;
  auto library = rzd::Module::Load(*path);
  if (!library) return false;
  using Entry = int32_t (*)();
  auto entry = library->Bind<Entry>(install ? "DllRegisterServer" : "DllUnregisterServer");
  return entry != nullptr && entry() >= 0;
}

// Copies the firmware updater into place (replacing an older copy); a missing updater is only
// reported, the units work without it.
void InstallFirmwareUpdater() {
  const std::optional<fs::path> updater = rzd::FindBesideProgram(kFirmwareUpdater);
  const fs::path target = FirmwareUpdaterPath();
  std::error_code ec;
  if (!updater) {
    std::fprintf(stderr, "rzd-install: no %s to install\n", kFirmwareUpdater);
    return;
  }
  rzd::CreatePrivateFolders(target.parent_path());
  if (!fs::copy_file(*updater, target, fs::copy_options::overwrite_existing, ec)) {
    std::fprintf(stderr, "rzd-install: cannot copy %s: %s\n", updater->c_str(), ec.message().c_str());
  }
  rzd::MakeOwnerOnly(target);  // the copy took the build's mode
}

void RemoveFirmwareUpdater() {
  const fs::path target = FirmwareUpdaterPath();
  std::error_code ec;
  fs::remove(target, ec);
  fs::remove(target.parent_path(), ec);  // only when empty
}

void RegisterLibraries(bool install) {
  const size_t count = std::size(kComponentLibraries);
  for (size_t i = 0; i < count; ++i) {
    const char* name = kComponentLibraries[install ? i : count - 1 - i];
    if (!RegisterLibrary(name, install)) {
      std::fprintf(stderr, "rzd-install: %s could not be %s\n", name, install ? "registered" : "unregistered");
    }
  }
}

int Install(const fs::path& serviceExe, const std::u16string& twainDataSource) {
  if (!fs::exists(serviceExe)) {
    std::fprintf(stderr, "rzd-install: no service executable at %s\n", serviceExe.c_str());
    return 1;
  }
  const fs::path folder = ProgramFolder();
  const fs::path installed = folder / serviceExe.filename();
  std::error_code ec;
  rzd::CreatePrivateFolders(folder);
  if (!fs::exists(installed) && !fs::copy_file(serviceExe, installed, ec)) {
    std::fprintf(stderr, "rzd-install: cannot copy %s: %s\n", serviceExe.c_str(), ec.message().c_str());
    return 1;
  }
  rzd::MakeOwnerOnly(installed);  // the copy took the build's mode; the units' links share it
  RegisterLibraries(true);
  InstallFirmwareUpdater();

  std::set<uint32_t> usedInstances;
  std::set<std::u16string> installedSubkeys;
  for (const auto& [subkey, path] : InstalledUnits()) {
    if (!fs::exists(path)) continue;
    installedSubkeys.insert(rzd::ToUpper(subkey));
    const std::string name = path.filename().string();
    if (!name.empty() && name.back() >= '0' && name.back() <= '9') usedInstances.insert(name.back() - '0');
  }

  int status = 0;
  for (const rzd::DeviceEntry& entry : rzd::EnumerateDevices(GUID_DEVINTERFACE_IMAGE)) {
    if (!IsModelUnit(entry)) continue;
    const size_t slash = entry.driverKey.rfind(u'\\');
    const std::u16string subkey = slash == std::u16string::npos ? std::u16string() : entry.driverKey.substr(slash + 1);
    if (subkey.size() != 4 || installedSubkeys.count(rzd::ToUpper(subkey)) != 0) continue;
    uint32_t instance = 0;
    while (instance < 10 && usedInstances.count(instance) != 0) ++instance;
    if (instance == 10) {
      std::fprintf(stderr, "rzd-install: no instance left for %s\n", rzd::ToUtf8(entry.interfacePath).c_str());
      status = 1;
      continue;
    }
    const fs::path link = folder / (serviceExe.filename().string() + "_" + rzd::ToUtf8(subkey) + "_" +
                                    std::to_string(instance));
    fs::remove(link, ec);
    fs::create_hard_link(installed, link, ec);
    rzd::RegKey unit;
    uint32_t error = ec ? ERROR_ACCESS_DENIED : rzd::RegKey::Create(rzd::Hive::LocalMachine, UnitKey(subkey), &unit);
    if (error == ERROR_SUCCESS) error = unit.SetString(rzd::scanhost::kValueSymbolicName, entry.interfacePath);
    if (error == ERROR_SUCCESS) error = unit.SetString(rzd::scanhost::kValueFriendlyName, entry.friendlyName);
    if (error == ERROR_SUCCESS) error = unit.SetString(rzd::scanhost::kValueDeviceInstanceId, DeviceInstanceId(entry));
    if (error == ERROR_SUCCESS) error = unit.SetString(rzd::scanhost::kValueHalModel, rzd::lowdrv::kModelName);
    if (error == ERROR_SUCCESS) error = unit.SetString(rzd::scanhost::kValueTwainDsPath, twainDataSource);
    if (error == ERROR_SUCCESS) error = unit.SetString(rzd::scanhost::kValueTwain64Path, twainDataSource);
    if (error == ERROR_SUCCESS) error = unit.SetString(rzd::scanhost::kValueHalPath, rzd::FromUtf8(link.string()));
    if (error != ERROR_SUCCESS || !RunRegistration(link, "-Service")) {
      std::fprintf(stderr, "rzd-install: %s could not be installed\n", rzd::ToUtf8(entry.interfacePath).c_str());
      status = 1;
      continue;
    }
    usedInstances.insert(instance);
    std::printf("installed %s as %s\n", rzd::ToUtf8(entry.interfacePath).c_str(), link.filename().c_str());
  }
  return status;
}

int Remove() {
  int status = 0;
  const fs::path folder = ProgramFolder();
  std::set<fs::path> copies;
  for (const auto& [subkey, path] : InstalledUnits()) {
    std::error_code ec;
    if (fs::exists(path)) {
      if (!RunRegistration(path, "-UnregServer")) status = 1;
      const std::string name = path.filename().string();
      const size_t unitPart = name.size() >= 7 ? name.size() - 7 : std::string::npos;  // "_NNNN_N"
      if (unitPart != std::string::npos) copies.insert(path.parent_path() / name.substr(0, unitPart));
      fs::remove(path, ec);
    }
    rzd::RegKey::DeleteTree(rzd::Hive::LocalMachine, UnitKey(subkey));
    std::printf("removed %s\n", path.filename().c_str());
  }
  std::error_code ec;
  for (const fs::path& copy : copies) fs::remove(copy, ec);
  fs::remove(folder, ec);  // only when empty
  RemoveFirmwareUpdater();
  RegisterLibraries(false);
  return status;
}

int Usage() {
  std::fprintf(stderr, "usage: rzd-install [--service-exe PATH] [--twain-ds PATH]\n       rzd-install --remove\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path serviceExe = rzd::ExecutablePath().parent_path() / "scanhost";
  const std::string model = rzd::ToUtf8(rzd::lowdrv::kModelName);
  std::u16string twain = rzd::FromUtf8(
      rzd::FindBesideProgram(kTwainDataSource)
          .value_or(rzd::KnownFolderPath(rzd::KnownFolder::Windows) / "twain_32" / model / (model + ".ds"))
          .string());
  bool remove = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--remove") {
      remove = true;
    } else if (arg == "--service-exe" && i + 1 < argc) {
      serviceExe = argv[++i];
    } else if (arg == "--twain-ds" && i + 1 < argc) {
      twain = rzd::FromUtf8(argv[++i]);
    } else {
      return Usage();
    }
  }
  return remove ? Remove() : Install(fs::absolute(serviceExe), twain);
}
