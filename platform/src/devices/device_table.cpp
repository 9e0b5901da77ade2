// The device table's writers and readers. Writers hold an exclusive lock on the table's lock file,
// so a read-modify-write of one process never loses the write of another; readers need no lock,
// since every entry file is replaced whole by a rename.
#include "devices/device_files.h"
#include "devices/usb_units.h"
#include "errors/errno_map.h"
#include "platform/text.h"
#include "root/kept_line.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

namespace rzd {

namespace {

namespace fs = std::filesystem;
using devices::EntryFileName;
using devices::TableLock;

// Replaces the entry's file whole, the user's alone.
uint32_t WriteEntry(const fs::path& folder, const std::string& fileName, const DeviceEntry& entry) {
  const int err = root_internal::ReplaceOwnerOnlyFile(folder / fileName, devices::SerializeEntry(entry));
  return err == 0 ? ERROR_SUCCESS : oserror::Win32FromErrno(err, "write of a device entry");
}

// The entry as it must be stored: lower-case path matching its class.
std::optional<DeviceEntry> Normalised(const DeviceEntry& entry) {
  std::optional<GUID> pathClass = devices::ClassOfInterfacePath(entry.interfacePath);
  if (!pathClass || *pathClass != entry.classGuid || !EntryFileName(entry.interfacePath)) return std::nullopt;
  DeviceEntry stored = entry;
  stored.interfacePath = ToLower(entry.interfacePath);
  return stored;
}

}  // namespace

uint32_t AddDevice(const DeviceEntry& entry) {
  std::optional<DeviceEntry> stored = Normalised(entry);
  if (!stored) return ERROR_INVALID_PARAMETER;
  fs::path folder = devices::TableFolder();
  TableLock lock(folder);
  if (!lock.Held()) return ERROR_ACCESS_DENIED;
  return WriteEntry(folder, *EntryFileName(stored->interfacePath), *stored);
}

uint32_t RemoveDevice(std::u16string_view interfacePath) {
  std::optional<std::string> name = EntryFileName(interfacePath);
  if (!name) return ERROR_FILE_NOT_FOUND;
  fs::path folder = devices::TableFolder();
  TableLock lock(folder);
  if (!lock.Held()) return ERROR_ACCESS_DENIED;
  if (::unlink((folder / *name).c_str()) != 0) return oserror::Win32FromErrno(errno, "removal of a device entry");
  return ERROR_SUCCESS;
}

uint32_t UpdateDevice(std::u16string_view interfacePath, const std::function<void(DeviceEntry&)>& change) {
  std::optional<std::string> name = EntryFileName(interfacePath);
  if (!name) return ERROR_FILE_NOT_FOUND;
  fs::path folder = devices::TableFolder();
  TableLock lock(folder);
  if (!lock.Held()) return ERROR_ACCESS_DENIED;
  std::optional<DeviceEntry> entry = devices::ReadEntryFile(folder / *name);
  if (!entry) return ERROR_FILE_NOT_FOUND;
  DeviceEntry changed = *entry;
  change(changed);
  changed.interfacePath = entry->interfacePath;
  changed.classGuid = entry->classGuid;
  return WriteEntry(folder, *name, changed);
}

std::optional<DeviceEntry> FindDevice(std::u16string_view interfacePath) {
  if (std::optional<std::string> name = EntryFileName(interfacePath)) {
    if (std::optional<DeviceEntry> entry = devices::ReadEntryFile(devices::TableFolder() / *name)) return entry;
  }
  if (devices::ClassOfInterfacePath(interfacePath) != GUID_DEVINTERFACE_IMAGE) return std::nullopt;
  return devices::FindRealUnit(interfacePath);
}

namespace devices {

std::vector<DeviceEntry> TableEntries(const GUID& classGuid) {
  std::vector<DeviceEntry> entries;
  std::error_code ec;
  for (const fs::directory_entry& file : fs::directory_iterator(TableFolder(), ec)) {
    std::string fileName = file.path().filename().string();
    std::optional<std::u16string> path = InterfacePathFromFileName(fileName);
    if (!path || ClassOfInterfacePath(*path) != classGuid) continue;
    // An entry removed between the listing and the read is simply no longer present.
    std::optional<DeviceEntry> entry = ReadEntryFile(file.path());
    if (entry && entry->classGuid == classGuid) entries.push_back(std::move(*entry));
  }
  return entries;
}

}  // namespace devices

std::vector<DeviceEntry> EnumerateDevices(const GUID& classGuid) {
  std::vector<DeviceEntry> entries = devices::TableEntries(classGuid);
  if (classGuid == GUID_DEVINTERFACE_IMAGE) {
    // Real units sit beside the simulated ones; where both claim one path the table's entry
    // stands.
    for (DeviceEntry& unit : devices::PresentRealUnits()) {
      const bool taken = std::any_of(entries.begin(), entries.end(), [&](const DeviceEntry& e) {
        return EqualsNoCase(e.interfacePath, unit.interfacePath);
      });
      if (!taken) entries.push_back(std::move(unit));
    }
  }
  std::sort(entries.begin(), entries.end(), [](const DeviceEntry& a, const DeviceEntry& b) {
    int byKey = CompareNoCase(a.driverKey, b.driverKey);
    if (byKey != 0) return byKey < 0;
    return a.interfacePath < b.interfacePath;
  });
  return entries;
}

}  // namespace rzd
