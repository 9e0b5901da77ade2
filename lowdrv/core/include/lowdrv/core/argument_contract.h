// The argument contracts of the driver's exports, checked in one place: what the bits of a
// control code's top six require of the arguments of Control, and what Read requires of its
// own. The driver runs these checks before any work; so does every library that stands in for
// the driver in tests, so that a call missing an argument is refused the same way everywhere.
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

// The arguments of Read: every one is required, and the buffer's size is not 0. The check that
// fails names the argument for the driver's log ("Read failed because <reason>").
struct ReadArgumentCheck {
  LLDError error;
  const char16_t* reason;  // null when the arguments pass
};
constexpr ReadArgumentCheck CheckReadArguments(const void* handle, const uint8_t* bufferOut,
                                               const uint32_t* actualSize, const BSTR* metaOut,
                                               const uint32_t* boundary) {
  if (handle == nullptr) return {lld::kInvalidDeviceHandle, u"pvDevHandle = NULL"};
  if (bufferOut == nullptr) return {lld::kInvalidParameter, u"pbyBufferOut = NULL"};
  if (actualSize == nullptr) return {lld::kInvalidParameter, u"pstActualSizeOut = NULL"};
  if (*actualSize == 0) return {lld::kInvalidParameter, u"bufSize = 0"};
  if (metaOut == nullptr) return {lld::kInvalidParameter, u"pstrMetaOut = NULL"};
  if (boundary == nullptr) return {lld::kInvalidParameter, u"pdwBoundary = NULL"};
  return {lld::kSuccess, nullptr};
}

}  // namespace rzd::lowdrv
