// CreateInstanceInConsoleSession: a session moniker bound to the class factory.
#include "foundation/com_utils.h"

#include "platform/text.h"

namespace rzd {

HRESULT CreateInstanceInConsoleSession(const CLSID& clsid, const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  const std::u16string braced = FormatGuid(clsid);
  const std::u16string name = u"Session:Console!clsid:" + braced.substr(1, braced.size() - 2);
  ComPtr<IClassFactory> factory;
  HRESULT hr = CoGetObject(name.c_str(), nullptr, IID_IClassFactory, factory.OutVoid());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, iid, object);
}

}  // namespace rzd
