#include "coclass/hal_coclass.h"

#include "interfaces/rzdhal_codes.h"
#include "platform/com_remote.h"
#include "platform/errors.h"
#include "platform/process.h"

namespace rzd::scanhost {

namespace {

HRESULT CreateForCurrentModule(IUnknown* outer, const IID& iid, void** object) {
  ServiceModule* module = ServiceModule::Current();
  if (module == nullptr) return E_UNEXPECTED;
  return CreateComObject<CRZDHALScannerCoclass>(outer, iid, object, module);
}

}  // namespace

CRZDHALScannerCoclass::CRZDHALScannerCoclass(ServiceModule* module)
    : ComObject(&module->ComLock()), module_(module), events_(this, DIID_IRZDHALEvents) {}

CRZDHALScannerCoclass::~CRZDHALScannerCoclass() = default;

HRESULT CRZDHALScannerCoclass::FinalConstruct() {
  // The process behind the connection that asked for this object, when one did.
  std::optional<ProcessIdentity> peer;
  CallerIdentity caller;
  if (GetCallerIdentity(&caller)) {
    if (const ProcessIdentity who = ProcessIdentity::Of(caller.processId); who.startTime != 0) peer = who;
  }
  slot_ = module_->AddClient(peer);
  // The service is ending its client objects: no new one is made.
  return slot_ ? S_OK : E_FAIL;
}

void CRZDHALScannerCoclass::FinalRelease() {
  events_.DisconnectAll();
  if (!slot_) return;
  if (std::shared_ptr<CRZDHALScannerBase> scanner = slot_->Get()) module_->DestroyScanner(scanner.get());
  slot_->Drop();
}

std::shared_ptr<CRZDHALScannerBase> CRZDHALScannerCoclass::Scanner() const { return slot_->Get(); }

void* CRZDHALScannerCoclass::FindInterface(const IID& iid) {
  if (iid == IID_IRZDHAL) return static_cast<IRZDHAL*>(this);
  if (iid == IID_IDispatch) return static_cast<IDispatch*>(this);
  if (iid == IID_IConnectionPointContainer) return static_cast<IConnectionPointContainer*>(this);
  return nullptr;
}

HRESULT CRZDHALScannerCoclass::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT CRZDHALScannerCoclass::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT CRZDHALScannerCoclass::GetIDsOfNames(const IID&, OLECHAR**, UINT, LCID, DISPID*) { return DISP_E_UNKNOWNNAME; }

HRESULT CRZDHALScannerCoclass::Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT CRZDHALScannerCoclass::LockScanner(LONG lPID, LONG* lpStatus, DWORD dwTimeout) {
  module_->ReapDeadClients();
  std::shared_ptr<CRZDHALScannerBase> scanner = Scanner();
  if (!scanner) return RPC_E_DISCONNECTED;
  return scanner->raw_LockScanner(lPID, lpStatus, dwTimeout);
}

HRESULT CRZDHALScannerCoclass::UnlockScanner(LONG* lpStatus) {
  std::shared_ptr<CRZDHALScannerBase> scanner = Scanner();
  if (!scanner) return RPC_E_DISCONNECTED;
  return scanner->raw_UnlockScanner(lpStatus);
}

HRESULT CRZDHALScannerCoclass::Control(LONG lCC, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn, VARIANT* pvBufOut) {
  if (lCC == RZDHAL_CC_CONNECT) module_->ReapDeadClients();
  std::shared_ptr<CRZDHALScannerBase> scanner = Scanner();
  if (!scanner) return RPC_E_DISCONNECTED;
  return scanner->raw_Control(lCC, strXMLIn, strXMLOut, pvBufIn, pvBufOut);
}

HRESULT CRZDHALScannerCoclass::Read(BSTR strMMRasterName, BSTR strMMMetaData, LONG lSessionBoundary) {
  std::shared_ptr<CRZDHALScannerBase> scanner = Scanner();
  if (!scanner) return RPC_E_DISCONNECTED;
  return scanner->raw_Read(strMMRasterName, strMMMetaData, lSessionBoundary);
}

HRESULT CRZDHALScannerCoclass::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points != nullptr) *points = nullptr;
  return E_NOTIMPL;
}

HRESULT CRZDHALScannerCoclass::FindConnectionPoint(const IID& iid, IConnectionPoint** point) {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  if (iid != DIID_IRZDHALEvents) return CONNECT_E_NOCONNECTION;
  events_.AddRef();
  *point = &events_;
  return S_OK;
}

ComPtr<IUnknown> MakeClassFactory(ServiceModule* module) {
  ComPtr<IUnknown> factory;
  if (FAILED(CreateComObject<ClassFactory>(nullptr, IID_IUnknown, factory.OutVoid(), &CreateForCurrentModule,
                                           &module->ComLock()))) {
    return nullptr;
  }
  return factory;
}

}  // namespace rzd::scanhost
