// The seam between the entry points (src/api: Control, Read, the open-device list) and the driver
// object (src/driver: CRZDBaseLLD <- CRZDREduzidLLD <- CScannerLLD).
//
// What the entry points need of a driver object is the abstract class IDriverObject below; its
// signatures are those of the driver chain's own operations. The chain adopts it by deriving its
// base from it, listed first so that the device handle is the object's own address:
//
//   class CRZDBaseLLD : public IDriverObject, public CLogClient { ... };
//
// DoControlCode, Read, GetLastError and GetLastErrorString of the base (16, 17, 20, 21) and
// OpenScanner and CloseScanner of the engine driver (25, 26) then override these (mark them
// `override`). The base driver alone has no unit: its OpenScanner and CloseScanner are the
// defaults here (0x800A), so the base stays a class that can be made on its own.
//
// The model driver is made by CreateModelDriver, which the driver side defines
// (src/driver/model_driver.cpp: a new CScannerLLD for the path). Tests of the entry points put
// objects of their own in its place (api::SetDriverFactory, src/api/device_open.h).
//
// How the entry points use an object:
// - Open (code 0x48000004): CreateModelDriver(path), then OpenScanner() once, on the calling
//   thread and outside every lock of the list. A non-zero result destroys the object at once (no
//   document is written). On success the object joins the open-device list, and its address as
//   an IDriverObject* is the device handle.
// - Every other code with bit 31 (except close 0x80000005 and 0x8000000F) goes to DoControlCode
//   with the arguments of Control as they were passed, once the code's argument bits were checked
//   (pointers the code's bits do not ask for may be null). Read goes to Read once its arguments
//   were checked (all pointers non-null, *pstActualSizeOut non-zero).
// - The list marks the object in use for each call: one call at a time per object, except the
//   driver notification 0x94000018 (force bit), which may run while another call on the same
//   object runs. Nothing of the list is locked while the object runs.
// - Whenever a Control call had the object at hand (its handle was locked, or the open code just
//   made it), GetLastError(result) gives the `Result` document that Control puts into its error
//   slot, success (0) included; Read asks for it only when its result is not 0 and puts it into
//   *pstrMetaOut. The entry points own (and hand on) the BSTR it returns. It runs on the call's
//   thread while the object is still marked in use.
// - Close (0x80000005): refused with 0x8008 while another call on the object runs. Otherwise the
//   object leaves the list (new calls on its handle get 0x8003), then CloseScanner() runs once and
//   the object is destroyed, both outside the list's lock. The result of CloseScanner is not
//   reported. Objects still open when the library unloads get CloseScanner() and are destroyed the
//   same way.
// - Objects of different units (and several objects of one unit) run on different threads at the
//   same time, their opens and closes included: process-wide state of the driver locks itself.
#pragma once

#include "lowdrv/core/driver_codes.h"
#include "platform/types.h"

#include <cstdint>
#include <memory>
#include <string>

namespace rzd::lowdrv {

class IDriverObject {
 public:
  virtual ~IDriverObject() = default;

  // A control code with bit 31 (not close). `pstActualSizeOut` is the output size, in and out.
  virtual LLDError DoControlCode(uint32_t dwControlCode, const char16_t* strIn, BSTR* pstrOut, void* pbyBufferIn,
                                 uint32_t stSizeIn, void* pbyBufferOut, uint32_t* pstActualSizeOut) = 0;
  // The image read: `*pstActualSizeOut` is the buffer size in and the bytes written out.
  virtual LLDError Read(uint8_t* pbyBufferOut, uint32_t* pstActualSizeOut, BSTR* pstrMetaOut,
                        uint32_t* pdwBoundary) = 0;
  // A new BSTR with the `Result` document of `error` (the caller frees it).
  virtual BSTR GetLastError(LLDError error) = 0;
  // The text of a code that the driver's own table does not name.
  virtual std::u16string GetLastErrorString(LLDError error) = 0;
  // Opens the unit of the path the object was made for; 0 on success.
  virtual LLDError OpenScanner() { return lld::kNotImplemented; }
  // Closes the unit; 0 on success.
  virtual LLDError CloseScanner() { return lld::kNotImplemented; }
};

// Makes the model driver (CScannerLLD) for a device path; null when it cannot be made.
// Defined by the driver side.
std::unique_ptr<IDriverObject> CreateModelDriver(const std::u16string& devicePath);

}  // namespace rzd::lowdrv
