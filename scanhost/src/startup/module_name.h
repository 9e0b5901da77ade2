// What a copy of the service learns from its own file name: its service name, its unit's device
// class subkey and its instance number.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace rzd::scanhost {

struct ModuleName {
  std::u16string service;  // the file name without folder (and without a Windows ".exe")
  std::u16string subkey;   // the unit's four-character device class subkey
  uint32_t instance = 0;   // 0 to 9
};

// Reads the file name of `module` (never its folders): a name of exactly the form
// <base>_<four characters>_<digit>, the base not empty and the four characters holding no
// underscore, gives the service name, the subkey and the instance number. Anything else
// (underscores in a folder name, "_0003_x", "_00031_7", "_0003_75") names no instance.
std::optional<ModuleName> ParseModuleName(const std::filesystem::path& module);

}  // namespace rzd::scanhost
