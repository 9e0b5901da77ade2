#include "service/orphan_cleanup.h"

#include "serial/usb_serial.h"
#include "startup/module_name.h"

#include "scanhost/class_key_values.h"

#include "foundation/folders.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/modules.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/service.h"
#include "platform/text.h"

#include <set>
#include <vector>

namespace rzd::scanhost {

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kUnregisterWaitMs = 60000;

fs::path Canonical(const fs::path& path) {
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(path, ec);
  return ec ? path.lexically_normal() : canonical;
}

// The canonical paths that the units' device class keys name in `valueName`.
std::set<fs::path> NamedByUnits(std::u16string_view valueName) {
  std::set<fs::path> paths;
  RegKey classKey;
  if (RegKey::Open(Hive::LocalMachine, lowdrv::kImageClassKey, &classKey) != ERROR_SUCCESS) return paths;
  std::vector<std::u16string> subkeys;
  classKey.EnumKeys(&subkeys);
  for (const std::u16string& subkey : subkeys) {
    RegKey unit;
    std::u16string value;
    if (classKey.OpenSubKey(subkey, &unit) == ERROR_SUCCESS && unit.GetString(valueName, &value) == ERROR_SUCCESS &&
        !value.empty()) {
      paths.insert(Canonical(fs::path(value)));
    }
  }
  return paths;
}

bool IsRegularFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(fs::symlink_status(path, ec));
}

// The service base of a copy's file name: "scanhost" of "scanhost_0003_7".
std::u16string BaseOf(const ModuleName& name) { return name.service.substr(0, name.service.size() - 7); }

bool ServiceRuns(const std::u16string& name) {
  ServiceRunStatus status;
  return QueryServiceRunStatus(name, &status) == ERROR_SUCCESS && status.state != SERVICE_STOPPED;
}

void CleanUpCopies(const CLogClient& log, const fs::path& executable) {
  const std::optional<ModuleName> own = ParseModuleName(executable);
  if (!own) return;
  const std::u16string base = BaseOf(*own);
  fs::path folder;
  if (!GetProgramFilesFolder(executable.parent_path().filename().u16string(), &folder)) return;
  const fs::path running = Canonical(executable);
  const std::set<fs::path> halPaths = NamedByUnits(kValueHalPath);

  std::vector<std::pair<fs::path, ModuleName>> copies;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
    const std::optional<ModuleName> name = ParseModuleName(entry.path());
    if (!name || BaseOf(*name) != base || name->service != entry.path().filename().u16string()) continue;
    if (!IsRegularFile(entry.path())) continue;
    copies.emplace_back(entry.path(), *name);
  }
  for (const auto& [path, name] : copies) {
    const fs::path canonical = Canonical(path);
    if (canonical == running || halPaths.count(canonical) != 0) continue;
    if (ServiceRuns(name.service)) continue;  // its file stays while its service runs
    bool instanceServed = false;
    for (const auto& [other, otherName] : copies) {
      if (otherName.instance == name.instance && halPaths.count(Canonical(other)) != 0) instanceServed = true;
    }
    if (instanceServed) {
      // Only what belongs to this copy alone goes: its service record and its own name's key.
      const uint32_t deleted = DeleteServiceRecord(name.service);
      if (deleted != ERROR_SUCCESS && deleted != ERROR_SERVICE_DOES_NOT_EXIST) {
        RZD_LOG_ERROR_OF(log, u"DeviceEvent: Cannot open service %s", name.service.c_str());
      }
      RegKey::DeleteTree(Hive::LocalMachine, u"SOFTWARE\\Classes\\AppID\\" + name.service);
    } else if (auto child = ChildProcess::Start(path, {"-UnregServer"})) {
      child->Wait(kUnregisterWaitMs);
    }
    fs::remove(path, ec);
  }
}

// The model's data sources in <Windows>/<twainFolder>/<model folder> that no unit names.
void CleanUpDataSources(const fs::path& executable, const char* twainFolder, std::u16string_view valueName) {
  const std::u16string model = executable.parent_path().filename().u16string();
  const fs::path folder = KnownFolderPath(KnownFolder::Windows) / twainFolder / model;
  const std::set<fs::path> named = NamedByUnits(valueName);
  std::vector<fs::path> orphans;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
    const std::u16string file = entry.path().filename().u16string();
    if (!IsRegularFile(entry.path()) || file.size() < model.size() ||
        !EqualsNoCase(std::u16string_view(file).substr(0, model.size()), model) ||
        !EqualsNoCase(entry.path().extension().u16string(), u".ds")) {
      continue;
    }
    if (named.count(Canonical(entry.path())) == 0) orphans.push_back(entry.path());
  }
  for (const fs::path& orphan : orphans) {
    fs::path library = orphan;
    library.replace_extension(".dll");
    fs::remove(orphan, ec);
    if (IsRegularFile(library)) fs::remove(library, ec);
  }
}

}  // namespace

void CleanUpOrphansFor(const CLogClient& log, const std::u16string& ownSymbolicName,
                       const std::u16string& arrivedName, const std::filesystem::path& executable) {
  const bool rootEnumerated = arrivedName.find(u"ROOT") != std::u16string::npos ||
                              arrivedName.find(u"root") != std::u16string::npos;
  if (!rootEnumerated) {
    const std::optional<UsbIds> own = ParseUsbIds(ownSymbolicName);
    const std::optional<UsbIds> arrived = ParseUsbIds(arrivedName);
    if (!own || !arrived || *own != *arrived) return;
  }
  CleanUpCopies(log, executable);
  CleanUpDataSources(executable, "twain_32", kValueTwainDsPath);
  CleanUpDataSources(executable, "twain_64", kValueTwain64Path);
}

void CleanUpOrphans(const CLogClient& log, const std::u16string& ownSymbolicName, const std::u16string& arrivedName) {
  CleanUpOrphansFor(log, ownSymbolicName, arrivedName, ExecutablePath());
}

}  // namespace rzd::scanhost
