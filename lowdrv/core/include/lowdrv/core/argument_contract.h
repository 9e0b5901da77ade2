// The argument contract of a driver control code: what the bits of its top six require of the
// arguments of Control, checked in one place. The driver's Control runs this check before any
// code; so does every library that stands in for the driver in tests, so that a call missing an
// argument is refused the same way everywhere.
//
// Order: with bit 31 the handle is locked first (its failure is the answer: 0x8003 unknown,
// 0x8008 in use by another call; bit 26 lets the call pass while the unit is in use); then bits
// 30, 29, 28 and 27 in this order, the first that fails giving 0x8005.
#pragma once

#include "lowdrv/core/driver_codes.h"
#include "platform/types.h"

#include <cstdint>

namespace rzd::lowdrv {

// The arguments of one Control call, as the code's bits see them (the error slot is not among
// them: Control refuses a null one before any check).
struct ControlArguments {
  void* handle;
  uint32_t code;
  const char16_t* strIn;
  BSTR* pstrOut;
  void* bufferIn;
  uint32_t inSize;
  void* bufferOut;
  uint32_t* outSize;
};

// Bits 30 to 27 against the arguments: 0, or 0x8005 for the first one missing.
constexpr LLDError CheckArgumentBits(const ControlArguments& a) {
  if ((a.code & ccbit::kString) != 0 && a.strIn == nullptr) return lld::kInvalidParameter;
  if ((a.code & ccbit::kBstrOut) != 0 && a.pstrOut == nullptr) return lld::kInvalidParameter;
  if ((a.code & ccbit::kBufferIn) != 0 && (a.bufferIn == nullptr || a.inSize == 0)) return lld::kInvalidParameter;
  if ((a.code & ccbit::kBufferOut) != 0 && (a.bufferOut == nullptr || a.outSize == nullptr || *a.outSize == 0)) {
    return lld::kInvalidParameter;
  }
  return lld::kSuccess;
}

// The whole check. `lockHandle(handle, force)` runs only for a code with bit 31 and answers 0 or
// its failure; the caller's own table of open units stands behind it.
template <typename LockHandle>
LLDError CheckCommandArguments(const ControlArguments& a, LockHandle&& lockHandle) {
  if ((a.code & ccbit::kDevice) != 0) {
    const LLDError locked = lockHandle(a.handle, (a.code & ccbit::kForce) != 0);
    if (locked != lld::kSuccess) return locked;
  }
  return CheckArgumentBits(a);
}

}  // namespace rzd::lowdrv
