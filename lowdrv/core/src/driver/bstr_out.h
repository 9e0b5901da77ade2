// Writing a BSTR result slot of a driver operation.
#pragma once

#include "platform/types.h"

#include <string_view>

namespace rzd::lowdrv {

// Puts a new BSTR with `text` into the slot (a null slot is left). What the slot held is not
// freed: callers of Control pass their result slot empty.
inline void SetBstrOut(BSTR* slot, std::u16string_view text) {
  if (!slot) return;
  *slot = SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
}

}  // namespace rzd::lowdrv
