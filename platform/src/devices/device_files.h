// How the device table lies on disk: one file per interface, named after the interface path, in
// a line-based text form. Shared by the table and the notification thread.
#pragma once

#include "platform/devices.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::devices {

// SystemRoot()/devices, created when missing.
std::filesystem::path TableFolder();

// Entry files end in this suffix; temporary files and the lock file begin with a dot.
inline constexpr std::string_view kEntrySuffix = ".dev";

// The file name of an interface path: the path after "\\?\", lower-cased, with every byte outside
// [a-z0-9#&_{}-] written as %XX, then ".dev". nullopt when the path is not of the form
// \\?\<name>#{guid} or the name would be too long for the file system.
std::optional<std::string> EntryFileName(std::u16string_view interfacePath);
// The interface path an entry file name stands for; nullopt for any other file name.
std::optional<std::u16string> InterfacePathFromFileName(std::string_view fileName);
// The class of an interface path: the braced GUID after its last '#'.
std::optional<GUID> ClassOfInterfacePath(std::u16string_view interfacePath);

// Text form of an entry (UTF-8 lines "key<TAB>value"; '%', TAB, CR and LF escaped as %XX).
std::string SerializeEntry(const DeviceEntry& entry);
// nullopt when the text is not an entry (wrong header, missing path or class).
std::optional<DeviceEntry> ParseEntry(std::string_view text);

// Reads and parses one entry file; nullopt when it is missing, too large or not an entry.
std::optional<DeviceEntry> ReadEntryFile(const std::filesystem::path& file);

// The entries of a class in the table (the simulated units), in no particular order.
std::vector<DeviceEntry> TableEntries(const GUID& classGuid);

// Exclusive lock on "<table>/.lock" for the lifetime of the object: one writer of the table (and
// of the real units' driver-key records) at a time, across processes.
class TableLock {
 public:
  explicit TableLock(const std::filesystem::path& folder);
  ~TableLock();  // closing the file drops the lock
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace rzd::devices
