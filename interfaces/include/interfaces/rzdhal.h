// IRZDHAL, the interface of the scanner HAL service (scanhost) that the bridge, the panel and the
// front-ends call, and IRZDHALEvents, the outgoing interface of its instance classes.
//
// Across processes the proxy/stub of interfaces/rzdhal_proxy_stub.h carries the calls:
// - BSTRs by byte length (odd lengths and embedded NULs kept) or null;
// - VARIANTs of VT_EMPTY, the integer types and VT_BOOL (the 8 value bytes as they are),
//   VT_BSTR and VT_ARRAY | VT_UI1; any other type answers DISP_E_BADVARTYPE;
// - a null pointer argument stays null on the far side;
// - pointer arguments are in-out: the value the caller passes travels to the object, and the
//   object's value comes back, whatever the method answers (a present BSTR or VARIANT is freed
//   by whoever replaces it).
// IDispatch gives no type information: GetTypeInfoCount answers 0.
#pragma once

#include "platform/com.h"

struct IRZDHAL : IDispatch {
  // Locks the unit for process `lPID`; *lpStatus is a status out-value; `dwTimeout` in ms.
  virtual HRESULT LockScanner(LONG lPID, LONG* lpStatus, DWORD dwTimeout) = 0;
  virtual HRESULT UnlockScanner(LONG* lpStatus) = 0;
  // A HAL control code with XML in and out and a buffer in and out.
  virtual HRESULT Control(LONG lCC, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn, VARIANT* pvBufOut) = 0;
  // Reads image data into the client's named raster and metadata buffers up to a boundary level.
  virtual HRESULT Read(BSTR strMMRasterName, BSTR strMMMetaData, LONG lSessionBoundary) = 0;

 protected:
  ~IRZDHAL() = default;
};

// The outgoing (dispatch-only) interface of the instance classes; it is never fired.
struct IRZDHALEvents : IDispatch {
 protected:
  ~IRZDHALEvents() = default;
};

// {7844D642-12BB-435B-B110-636EBA93D706}
constexpr IID IID_IRZDHAL{0x7844D642, 0x12BB, 0x435B, {0xB1, 0x10, 0x63, 0x6E, 0xBA, 0x93, 0xD7, 0x06}};
// {49297061-DDA0-4B33-B9AE-B39F47EF854D}
constexpr IID DIID_IRZDHALEvents{0x49297061, 0xDDA0, 0x4B33, {0xB9, 0xAE, 0xB3, 0x9F, 0x47, 0xEF, 0x85, 0x4D}};

// The method numbers of IRZDHAL after the IDispatch methods, as the proxy and stub number them.
enum class RzdHalMethod : uint32_t {
  LockScanner = 1,
  UnlockScanner = 2,
  Control = 3,
  Read = 4,
};
