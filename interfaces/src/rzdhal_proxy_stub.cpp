// The IRZDHAL proxy/stub class: its class object, its registration in this process and in the
// registry.
#include "interfaces/rzdhal_proxy_stub.h"

#include "platform/registry.h"
#include "platform/text.h"
#include "rzdhal_marshal.h"

namespace rzd {

namespace rzdhal_internal {

ComModule& ProxyStubModule() {
  static ComModule module;
  return module;
}

namespace {

class RzdHalProxyStubFactory final : public ComObject<IProxyStubFactory> {
 public:
  HRESULT CreateProxy(IUnknown* outer, const IID& iid, const RemoteLink& link, IUnknown** inner) override {
    if (inner == nullptr) return E_POINTER;
    *inner = nullptr;
    if (iid != IID_IRZDHAL) return E_NOINTERFACE;
    return CreateRzdHalProxy(outer, link, inner);
  }

  HRESULT CreateStub(const IID& iid, IUnknown* server, IRemoteStub** stub) override {
    if (stub == nullptr) return E_POINTER;
    *stub = nullptr;
    if (iid != IID_IRZDHAL) return E_NOINTERFACE;
    return CreateRzdHalStub(server, stub);
  }

 protected:
  void* FindInterface(const IID& iid) override {
    return iid == IID_IProxyStubFactory ? static_cast<IProxyStubFactory*>(this) : nullptr;
  }
};

// The keys the library registration writes, under the machine's classes.
const std::u16string& InterfaceKey() {
  static const std::u16string key = u"SOFTWARE\\Classes\\Interface\\" + FormatGuid(IID_IRZDHAL);
  return key;
}
const std::u16string& ClassKey() {
  static const std::u16string key = u"SOFTWARE\\Classes\\CLSID\\" + FormatGuid(CLSID_RZDHALProxyStub);
  return key;
}

}  // namespace

}  // namespace rzdhal_internal

HRESULT GetRzdHalProxyStubClassObject(const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  return CreateComObject<rzdhal_internal::RzdHalProxyStubFactory>(nullptr, iid, object);
}

bool RzdHalProxyStubInUse() { return rzdhal_internal::ProxyStubModule().LockCount() != 0; }

HRESULT RegisterRzdHalProxyStub() {
  static const HRESULT result = [] {
    ComPtr<IUnknown> factory;
    HRESULT hr = GetRzdHalProxyStubClassObject(IID_IUnknown, factory.OutVoid());
    if (FAILED(hr)) return hr;
    DWORD cookie = 0;
    hr = CoRegisterClassObject(CLSID_RZDHALProxyStub, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    if (FAILED(hr)) return hr;
    return CoRegisterPSClsid(IID_IRZDHAL, CLSID_RZDHALProxyStub);
  }();
  return result;
}

HRESULT RegisterRzdHalProxyStubLibrary(const std::filesystem::path& library) {
  RegKey key;
  uint32_t error = RegKey::Create(Hive::LocalMachine, rzdhal_internal::InterfaceKey(), &key);
  if (error == ERROR_SUCCESS) error = key.SetString(u"", u"IRZDHAL");
  RegKey proxyStub;
  if (error == ERROR_SUCCESS) error = key.CreateSubKey(u"ProxyStubClsid32", &proxyStub);
  if (error == ERROR_SUCCESS) error = proxyStub.SetString(u"", FormatGuid(CLSID_RZDHALProxyStub));
  RegKey server;
  if (error == ERROR_SUCCESS) error = RegKey::Create(Hive::LocalMachine, rzdhal_internal::ClassKey() + u"\\InprocServer32", &server);
  if (error == ERROR_SUCCESS) error = server.SetString(u"", FromUtf8(library.string()));
  if (error == ERROR_SUCCESS) error = server.SetString(u"ThreadingModel", u"Both");
  return HRESULT_FROM_WIN32(error);
}

HRESULT UnregisterRzdHalProxyStubLibrary() {
  uint32_t first = RegKey::DeleteTree(Hive::LocalMachine, rzdhal_internal::InterfaceKey());
  uint32_t second = RegKey::DeleteTree(Hive::LocalMachine, rzdhal_internal::ClassKey());
  if (first == ERROR_FILE_NOT_FOUND) first = ERROR_SUCCESS;
  if (second == ERROR_FILE_NOT_FOUND) second = ERROR_SUCCESS;
  return HRESULT_FROM_WIN32(first != ERROR_SUCCESS ? first : second);
}

}  // namespace rzd
