// The driver library's two entry points, `Control` and `Read`, as the service loads them.
//
// The library is the shared object kLowLevelDriverFileName; it exports these two functions and
// nothing else. A caller loads it by file name and binds both by name (ControlFunction,
// ReadFunction). Both return TRUE exactly when the call's driver result code is 0.
//
// Control(handle, code, string in, BSTR result, input buffer, input size, output buffer, size
// pointer, BSTR error):
// - code 0x8000000F is refused at once (nothing is looked at or written);
// - a null error pointer fails at once (nothing is locked, logged or written);
// - the code's argument bits (lowdrv/core/driver_codes.h) are checked: the handle first (0x8003
//   unknown, 0x8008 in use by another call), then the string, the BSTR result, the input buffer
//   and the output buffer (0x8005);
// - when a driver object took part in the call (its handle was locked, or the open code made it),
//   *error receives a new BSTR with the object's `Result` document for the result, success
//   included; otherwise *error is left as it was. A BSTR already in *error is not freed: pass
//   the slot empty.
// - the open code (0x48000004) takes the device path as the string and writes the device handle
//   (one pointer, sizeof(void*) bytes) into the output buffer, whose size must be at least that.
//
// Read(handle, buffer, size in/out, metadata BSTR, boundary): the driver object's image read.
// Argument failures return FALSE with *metadata untouched; a failure of the driver object frees
// a BSTR already in *metadata and replaces it with the `Result` document.
#pragma once

#include "platform/types.h"

#include <cstdint>

// The file name of the driver library.
inline constexpr char kLowLevelDriverFileName[] = "liblowdrv.so";

#if defined(__GNUC__)
#define RZD_LOWDRV_EXPORT __attribute__((visibility("default")))
#else
#define RZD_LOWDRV_EXPORT
#endif

extern "C" {

RZD_LOWDRV_EXPORT BOOL Control(void* pvDevHandle, uint32_t dwControlCode, const char16_t* strIn, BSTR* pstrOut,
                               void* pbyBufferIn, uint32_t stInBufferSize, void* pbyBufferOut,
                               uint32_t* pstOutBufferSize, BSTR* pstrError);

RZD_LOWDRV_EXPORT BOOL Read(void* pvDevHandle, uint8_t* pbyBufferOut, uint32_t* pstActualSizeOut, BSTR* pstrMetaOut,
                            uint32_t* pdwBoundary);

}  // extern "C"

// The types to bind the exports by name.
using ControlFunction = BOOL (*)(void* pvDevHandle, uint32_t dwControlCode, const char16_t* strIn, BSTR* pstrOut,
                                 void* pbyBufferIn, uint32_t stInBufferSize, void* pbyBufferOut,
                                 uint32_t* pstOutBufferSize, BSTR* pstrError);
using ReadFunction = BOOL (*)(void* pvDevHandle, uint8_t* pbyBufferOut, uint32_t* pstActualSizeOut,
                              BSTR* pstrMetaOut, uint32_t* pdwBoundary);
