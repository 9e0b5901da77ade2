// A HAL control code with a value in, sent through a Control-shaped member: IRZDHAL::Control (an
// object in this process or, through the proxy, in a service) or the scanner object's raw_Control.
#pragma once

#include "interfaces/rzdhal.h"
#include "platform/types.h"

#include <cstdint>

namespace rzd::scanhost::test {

template <typename Hal>
HRESULT ControlWithValue(Hal& hal, HRESULT (Hal::*control)(LONG, BSTR, BSTR*, VARIANT*, VARIANT*), LONG code,
                         uint32_t value, VARTYPE type = VT_UI4) {
  VARIANT in;
  VARIANT out;
  VariantInit(&in);
  VariantInit(&out);
  in.vt = type;
  in.ulVal = value;
  Bstr text;
  return (hal.*control)(code, nullptr, text.Out(), &in, &out);
}

// A VT_UI4 value in, through IRZDHAL.
inline HRESULT ControlWithValue(IRZDHAL* hal, LONG code, uint32_t value) {
  return ControlWithValue(*hal, &IRZDHAL::Control, code, value);
}

}  // namespace rzd::scanhost::test
