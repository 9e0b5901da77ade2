// The instance class CRZDHALScanner_N of a copy of the service: one COM object per client
// connection, with the dual IRZDHAL and a connection point for IRZDHALEvents (never fired). It
// carries a client's scanner HAL object, which the module's scanner list holds with it. A
// process serves only the class of its own instance number.
#pragma once

#include "service/service_module.h"

#include "interfaces/rzdhal.h"
#include "platform/com.h"
#include "platform/com_events.h"
#include "platform/com_object.h"

#include <memory>

namespace rzd::scanhost {

class CRZDHALScannerCoclass final : public ComObject<IRZDHAL, IConnectionPointContainer> {
 public:
  explicit CRZDHALScannerCoclass(ServiceModule* module);
  ~CRZDHALScannerCoclass() override;

  // IDispatch: no type information.
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(const IID& iid, OLECHAR** names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID id, const IID& iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* exception, UINT* argError) override;

  // IRZDHAL. Each call holds the scanner object for as long as it runs; once the object was
  // reaped, calls answer RPC_E_DISCONNECTED.
  HRESULT LockScanner(LONG lPID, LONG* lpStatus, DWORD dwTimeout) override;
  HRESULT UnlockScanner(LONG* lpStatus) override;
  HRESULT Control(LONG lCC, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn, VARIANT* pvBufOut) override;
  HRESULT Read(BSTR strMMRasterName, BSTR strMMMetaData, LONG lSessionBoundary) override;

  // IConnectionPointContainer.
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** point) override;

  // The scanner object (null once it was reaped).
  std::shared_ptr<CRZDHALScannerBase> Scanner() const;

 protected:
  void* FindInterface(const IID& iid) override;
  HRESULT FinalConstruct() override;
  void FinalRelease() override;

 private:
  ServiceModule* module_;
  std::shared_ptr<ScannerSlot> slot_;
  ConnectionPoint events_;
};

// The class object of the instance class, creating objects for `module`.
ComPtr<IUnknown> MakeClassFactory(ServiceModule* module);

}  // namespace rzd::scanhost
