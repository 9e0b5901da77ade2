// Who the panel's unit is: the device class key whose HAL_CLSID is the panel's device string,
// the values the panel reads from it, and the unit's HWProps.ini.
#pragma once

#include "foundation/hwprops.h"

#include <filesystem>
#include <string>

namespace rzd::panel {

struct DeviceIdentity {
  std::u16string device;           // the HAL_CLSID text given to setGuid
  std::u16string classKey;         // path below HKLM; empty when no key matched
  std::u16string friendlyName;     // FriendlyName
  std::u16string halModel;         // HAL_MODEL
  std::u16string imageProcessing;  // IMAGE_PROCESSING
  std::u16string combineWith;      // CombineWith
  std::u16string firmwareUpdater;  // FIRMWARE_UPDATER
  std::u16string symbolicName;     // SymbolicName
};

// Enumerates the image class's subkeys in order; the first whose HAL_CLSID equals `device`
// exactly gives the values (none: only `device` is set).
DeviceIdentity FindDeviceIdentity(std::u16string_view device);

// The unit's HWProps.ini (from HAL_MODEL; without a model the file is refused: reads give the
// defaults and writes fail).
HwPropsFile HwPropsOf(const DeviceIdentity& identity);

// The name the firmware preference is stored under: the friendly name cut before the character
// that precedes a "#" standing after its second character ("Scanner #2" gives "Scanner").
std::u16string FirmwareUnitName(std::u16string_view friendlyName);

// The presets folder of the model: the common application-data folder / Corvanite / TWAIN /
// HAL_MODEL.
std::filesystem::path PresetsFolder(std::u16string_view halModel);

// The calling user's local application-data folder (where the per-user redirected copies of
// machine files lie).
std::filesystem::path LocalAppDataFolder();

}  // namespace rzd::panel
