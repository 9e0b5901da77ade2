// Small system queries of the driver: code page conversion, the power time-out limits of the
// model, the system's region, the machine's power-off switch and installed product versions.
#pragma once

#include "foundation/system_queries.h"
#include "lowdrv/settings/settings_base.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace rzd::lowdrv {

// The text in the ANSI code page (Windows-1252; characters without a form there become '?').
std::string WideToNarrow(std::u16string_view text);

// The power time-out limits, found from the device description (resource 110 of the module that
// holds `addressInModule`) and HKLM "Software\Corvanite\<halModel>\SleepTime" Max/Min. Result bits
// as RZDPowerTimeoutLimits::found; 0 when the description cannot be loaded (the limits are then
// left as given).
uint32_t LoadPowerTimeoutLimitsFrom(const void* addressInModule, std::u16string_view halModel,
                                    RZDPowerTimeoutLimits& limits);

// TRUE for the listed regions (geographical ids 39, 166, 244), and when the region is unknown.
// The region comes from the territory of the locale ($LC_ALL, else $LANG): CA 39, MX 166, US 244.
bool CheckSystemGeoId();

// HKLM "software\corvanite" DisablePowerOff present and not 0 (foundation/system_queries.h).
using rzd::IsDisablePowerOff;

// The braced product code from the installer's packed form (32 hexadecimal characters; the first
// three groups reversed, the rest swapped in pairs); empty for text of another form.
std::u16string UnpackProductCode(std::u16string_view packed);

// The DisplayVersion of the product registered under the packed upgrade code, or "Not installed".
std::u16string GetInstalledProductVersion(std::u16string_view packedUpgradeCode);

// The FileVersion text of a file's version record (foundation/system_queries.h).
using rzd::GetFileVersionString;

}  // namespace rzd::lowdrv
