// The HAL control codes of IRZDHAL::Control (their names: interfaces/rzdhal_codes.h, shared with
// the clients): each maps to one driver call or is answered by the scanner HAL object itself.
#pragma once

#include "interfaces/rzdhal_codes.h"
#include "platform/types.h"

#include <cstdint>

namespace rzd::scanhost {

// A one-dimensional array of bytes with element size 1 and lower bound 0 (VT_ARRAY | VT_UI1), as
// codes 29 and 30 take them: its data and element count. False for anything else, a null array
// or a null data pointer included.
bool ByteArrayOf(const VARIANT* value, uint8_t** data, uint32_t* count);

}  // namespace rzd::scanhost
