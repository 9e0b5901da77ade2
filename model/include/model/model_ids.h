// The constants that name the one scanner model this stack serves. The driver (discovery, the
// information document, the device path checks), the simulated unit (its device-table entry) and
// the platform (which USB devices are the model's real units) all take them from here, so they
// always agree. The header depends on nothing: it sits below the platform and the driver alike.
// The driver's code and the simulated unit see the same constants as rzd::lowdrv::... through
// lowdrv/engine/model_ids.h, which defines none of its own.
#pragma once

#include <cstdint>

namespace rzd::model {

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

}  // namespace rzd::model
