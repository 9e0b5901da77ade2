// The server library's exports: class object, unloading, self-registration.
#include "config_object.h"

#include "diagconfig/config_store.h"
#include "platform/modules.h"

namespace cordiag {

rzd::ComModule g_module;

HRESULT OperationHook(std::u16string_view operation) {
  if (OperationHangs(operation)) HangHere();
  return OperationFails(operation) ? E_FAIL : S_OK;
}

HRESULT NoTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT NoTypeInfo(ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return E_NOTIMPL;
}

}  // namespace cordiag

#define CORDIAG_EXPORT extern "C" __attribute__((visibility("default")))

CORDIAG_EXPORT HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_CorDiagConfig) return CLASS_E_CLASSNOTAVAILABLE;
  return rzd::CreateComObject<rzd::ClassFactory>(nullptr, iid, object, &cordiag::CorDiagConfig::Create,
                                                 &cordiag::g_module);
}

CORDIAG_EXPORT HRESULT DllCanUnloadNow() { return cordiag::g_module.CanUnloadNow(); }

CORDIAG_EXPORT HRESULT DllRegisterServer() {
  const std::filesystem::path self = rzd::ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
  if (self.empty()) return E_UNEXPECTED;
  return HRESULT_FROM_WIN32(cordiag::RegisterServer(self));
}

CORDIAG_EXPORT HRESULT DllUnregisterServer() { return HRESULT_FROM_WIN32(cordiag::UnregisterServer()); }
