// A HAL control code with a value in, sent through a Control-shaped member: IRZDHAL::Control (an
// object in this process or, through the proxy, in a service) or the scanner object's raw_Control.
#pragma once

#include "interfaces/rzdhal.h"
#include "platform/com.h"
#include "platform/types.h"

#include <cstdint>

namespace rzd::scanhost::test {

// The value goes in as `type`, VT_UI4 unless another numeric type is asked.
template <typename Hal>
HRESULT ControlWithValue(Hal& hal, HRESULT (Hal::*control)(LONG, BSTR, BSTR*, VARIANT*, VARIANT*), LONG code,
                         uint32_t value, VARTYPE type = VT_UI4) {
  LocalVariant in;
  LocalVariant out;
  in.value.vt = type;
  in.value.ulVal = value;
  Bstr text;
  return (hal.*control)(code, nullptr, text.Out(), &in.value, &out.value);
}

// A VT_UI4 value in, through IRZDHAL.
inline HRESULT ControlWithValue(IRZDHAL* hal, LONG code, uint32_t value) {
  return ControlWithValue(*hal, &IRZDHAL::Control, code, value);
}

}  // namespace rzd::scanhost::test
