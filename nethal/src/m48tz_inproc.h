// CRZDHALM48tzInProc: the COM class RZDHALM48tzInProc, the bridge object with the M48tz's model
// name, instance classes and library names. Interfaces, in this order: IDispatch (answered by the
// IRZDHAL part), IRZDHAL, IRZDModule, IRZDMemMgr, IRZDUIModule; each method calls the bridge
// operation of the same name (both Controls reach raw_Control). No type information is offered:
// GetTypeInfoCount answers 0.
#pragma once

#include "scanner_inproc.h"

#include "platform/com_object.h"

namespace rzd::nethal {

// The library's lock count.
ComModule& BridgeModule();

// The model's facts: "M48tz", its ten instance classes, the bridge's and the panel's libraries.
ModelFacts M48tzFacts();

class CRZDHALM48tzInProc final : public DispatchWithoutTypeInfo<ComObject<IRZDHAL, IRZDModule, IRZDMemMgr, IRZDUIModule>>,
                                 public CRZDHALScannerInProc {
 public:
  CRZDHALM48tzInProc();

  // IRZDHAL and IRZDModule.
  HRESULT LockScanner(LONG lPID, LONG* lpStatus, DWORD dwTimeout) override {
    return raw_LockScanner(lPID, lpStatus, dwTimeout);
  }
  HRESULT UnlockScanner(LONG* lpStatus) override { return raw_UnlockScanner(lpStatus); }
  HRESULT Control(LONG lCC, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn, VARIANT* pvBufOut) override {
    return raw_Control(lCC, strXMLIn, strXMLOut, pvBufIn, pvBufOut);
  }
  HRESULT Read(BSTR strMMRasterName, BSTR strMMMetaData, LONG lSessionBoundary) override {
    return raw_Read(strMMRasterName, strMMMetaData, lSessionBoundary);
  }
  HRESULT Configure(LONG lReserved1, IUnknown* modPrecursor, LONG lReserved2, IUnknown* callback,
                    BSTR strSettings) override {
    return CRZDHALScannerInProc::Configure(lReserved1, modPrecursor, lReserved2, callback, strSettings);
  }
  HRESULT Produce(IUnknown* plData) override { return CRZDHALScannerInProc::Produce(plData); }
  // IRZDMemMgr.
  HRESULT CreateMMFile(BSTR strName, LONG lReqSize) override {
    return CRZDHALScannerInProc::CreateMMFile(strName, lReqSize);
  }
  HRESULT ReleaseMMFile(BSTR strName) override { return CRZDHALScannerInProc::ReleaseMMFile(strName); }
  // IRZDUIModule.
  HRESULT DLLPath(BSTR* strDLLPath) override { return raw_DLLPath(strDLLPath); }

  IRZDMemMgr* GetMemMgr() override { return static_cast<IRZDMemMgr*>(this); }

 protected:
  void* FindInterface(const IID& iid) override;
};

}  // namespace rzd::nethal
