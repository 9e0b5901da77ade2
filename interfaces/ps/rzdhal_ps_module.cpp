// librzdhalps.so: the IRZDHAL proxy/stub as a component library, found through the registry by
// processes that do not link it.
#include "interfaces/rzdhal_proxy_stub.h"

#include "platform/modules.h"

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid,
                                                                            void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_RZDHALProxyStub) return CLASS_E_CLASSNOTAVAILABLE;
  return rzd::GetRzdHalProxyStubClassObject(iid, object);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
  return rzd::RzdHalProxyStubInUse() ? S_FALSE : S_OK;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {
  return rzd::RegisterRzdHalProxyStubLibrary(rzd::ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer)));
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
  return rzd::UnregisterRzdHalProxyStubLibrary();
}
