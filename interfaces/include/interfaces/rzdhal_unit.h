// Opening and closing a unit on a service object, as every client of IRZDHAL does it.
#pragma once

#include "interfaces/rzdhal.h"

#include <string_view>

namespace rzd {

// Opens the unit whose service class is `halClsid` (code 14 with the class in its HAL_CLSID
// document); the service's answer.
HRESULT ConnectHalUnit(IRZDHAL* service, std::u16string_view halClsid);
// Closes the unit (code 15); the service's answer.
HRESULT DisconnectHalUnit(IRZDHAL* service);

}  // namespace rzd
