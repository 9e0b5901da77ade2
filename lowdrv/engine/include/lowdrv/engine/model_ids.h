// The constants that name the one scanner model this stack serves. The driver (discovery, the
// information document, the device path checks) and the simulated unit (its device-table entry)
// both take them from here, so the two sides always agree.
#pragma once

#include <cstdint>

namespace rzd::lowdrv {

// USB identifiers of the model. Device interface paths carry them as "vid_%04x&pid_%04x".
inline constexpr uint16_t kModelUsbVendorId = 0x2E5A;
inline constexpr uint16_t kModelUsbProductId = 0x0148;

// The model's short name: HAL_MODEL of the device class key, the model's folders and keys.
inline constexpr char16_t kModelName[] = u"M48tz";

// The unit's friendly name as the device installation records it.
inline constexpr char kModelFriendlyName[] = "Quarx M48tz Scanner";
inline constexpr char16_t kModelFriendlyNameW[] = u"Quarx M48tz Scanner";

// The device class key of the image class, below HKLM; a unit's key is its four-digit subkey.
inline constexpr char16_t kImageClassKey[] =
    u"SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";

// The still-image (image) device interface class, as text with braces.
inline constexpr char kImageClassGuidText[] = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";
inline constexpr char16_t kImageClassGuidTextW[] = u"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";

// The ten instance classes of the scanner service, braced, in instance order: the copy of the
// service named with instance N serves class N, the device class key's HAL_CLSID names it, and
// the in-process bridge lists them in this order.
inline constexpr const char16_t* kInstanceClassTexts[10] = {
    u"{D5BE08B1-6646-45E2-BA71-D556CB1C272E}", u"{130C11E5-0FDB-4290-B181-78CBA13EE4B5}",
    u"{6393C123-09DB-45CE-9792-362F5D00CE58}", u"{C925717E-ACF5-42F8-9F6A-068633FA1F4F}",
    u"{34EC484C-97FE-4824-AF37-A4129F599F62}", u"{FD3FD7BD-58BB-45A5-9BF1-7DD0E5A5A10E}",
    u"{F8151FD3-6026-454F-BCD8-51AC5752D4A2}", u"{BDB9D1B1-E5C1-47E5-A23F-9728066C61DF}",
    u"{716EC41A-6F64-41D6-B05C-872A8BED81A6}", u"{A1504AC6-C399-4D6B-BC69-F04B074E4019}",
};

// The in-process bridge's class (the device class key's INPROC_CLSID), braced.
inline constexpr char16_t kBridgeClassText[] = u"{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}";

}  // namespace rzd::lowdrv
