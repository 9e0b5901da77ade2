// Which proxy/stub class serves an interface: CoRegisterPSClsid's entries of this process, then
// HKEY_CLASSES_ROOT\Interface\{iid}\ProxyStubClsid32.
#include "com_internal.h"
#include "remote_protocol.h"

#include "platform/registry.h"

#include <map>
#include <mutex>
#include <optional>

namespace rzd {

namespace {

struct ProxyStubTable {
  std::mutex lock;
  std::map<IID, CLSID> classes;
};

ProxyStubTable& Table() {
  static ProxyStubTable* table = new ProxyStubTable;  // used until the process ends
  return *table;
}

std::optional<CLSID> RegisteredClass(const IID& iid) {
  {
    ProxyStubTable& table = Table();
    std::lock_guard guard(table.lock);
    auto found = table.classes.find(iid);
    if (found != table.classes.end()) return found->second;
  }
  RegKey key;
  if (RegKey::Open(Hive::ClassesRoot, u"Interface\\" + FormatGuid(iid) + u"\\ProxyStubClsid32", &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::u16string text;
  if (key.GetString(u"", &text) != ERROR_SUCCESS) return std::nullopt;
  return ParseGuid(text);
}

}  // namespace

namespace com_internal {

HRESULT GetProxyStubFactory(const IID& iid, ComPtr<IProxyStubFactory>* factory) {
  std::optional<CLSID> clsid = RegisteredClass(iid);
  if (!clsid) return E_NOINTERFACE;
  HRESULT hr = GetClassObjectOnAnyThread(*clsid, CLSCTX_INPROC_SERVER, IID_IProxyStubFactory, factory->OutVoid());
  return FAILED(hr) ? E_NOINTERFACE : S_OK;
}

}  // namespace com_internal

}  // namespace rzd

HRESULT CoRegisterPSClsid(const IID& iid, const CLSID& clsid) {
  rzd::ProxyStubTable& table = rzd::Table();
  std::lock_guard guard(table.lock);
  table.classes[iid] = clsid;
  return S_OK;
}
