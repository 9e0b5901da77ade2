// The interfaces of the in-process bridge (nethal) beside IRZDHAL: the module protocol
// (IRZDModule and its produce callback), the transfer-buffer registration (IRZDMemMgr) and the
// settings panel's library (IRZDUIModule). All are dual: their methods follow IDispatch's.
#pragma once

#include "platform/com.h"

struct IRZDModule : IDispatch {
  // The same control codes as IRZDHAL::Control.
  virtual HRESULT Control(LONG lCC, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn, VARIANT* pvBufOut) = 0;
  // Configures the module once: `modPrecursor` must be null; `callback` (or null) is asked for
  // ProduceCallback; `strSettings` is the settings document. The first and third arguments are
  // not read.
  virtual HRESULT Configure(LONG lReserved1, IUnknown* modPrecursor, LONG lReserved2, IUnknown* callback,
                            BSTR strSettings) = 0;
  // Produces one page into the caller's raster-block payload.
  virtual HRESULT Produce(IUnknown* plData) = 0;

 protected:
  ~IRZDModule() = default;
};

struct IRZDMemMgr : IDispatch {
  // Registers (and releases) a transfer buffer, a named file mapping of the caller, with the service.
  virtual HRESULT CreateMMFile(BSTR strName, LONG lReqSize) = 0;
  virtual HRESULT ReleaseMMFile(BSTR strName) = 0;

 protected:
  ~IRZDMemMgr() = default;
};

struct IRZDUIModule : IDispatch {
  // The full path of the settings panel's library (a new BSTR).
  virtual HRESULT DLLPath(BSTR* strDLLPath) = 0;

 protected:
  ~IRZDUIModule() = default;
};

// What IRZDModule::Produce asks after each page: whether to abort the scan.
struct ProduceCallback : IUnknown {
  virtual HRESULT QueryAbort(VARIANT_BOOL* pbAbort) = 0;

 protected:
  ~ProduceCallback() = default;
};

// {699829B9-C68F-4EC1-8F14-63AA81244094}
constexpr IID IID_IRZDModule{0x699829B9, 0xC68F, 0x4EC1, {0x8F, 0x14, 0x63, 0xAA, 0x81, 0x24, 0x40, 0x94}};
// {DD4462D5-8845-4260-AD64-3F6F4D726759}
constexpr IID IID_IRZDMemMgr{0xDD4462D5, 0x8845, 0x4260, {0xAD, 0x64, 0x3F, 0x6F, 0x4D, 0x72, 0x67, 0x59}};
// {2A03A99C-C197-40AF-8B87-78F308E56CED}
constexpr IID IID_IRZDUIModule{0x2A03A99C, 0xC197, 0x40AF, {0x8B, 0x87, 0x78, 0xF3, 0x08, 0xE5, 0x6C, 0xED}};
// {B3B5978A-710C-4353-88EF-89A74F41700A}
constexpr IID IID_ProduceCallback{0xB3B5978A, 0x710C, 0x4353, {0x88, 0xEF, 0x89, 0xA7, 0x4F, 0x41, 0x70, 0x0A}};
