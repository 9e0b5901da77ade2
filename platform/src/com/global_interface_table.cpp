// The global interface table: interface references registered under a cookie, taken back from
// any thread. Calls within a process are direct, so a registered reference is handed out as is.
#include "com_internal.h"

#include <map>
#include <mutex>

namespace rzd {

namespace {

class GlobalInterfaceTable final : public IGlobalInterfaceTable {
 public:
  HRESULT QueryInterface(const IID& iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IGlobalInterfaceTable) {
      *object = static_cast<IGlobalInterfaceTable*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // The table lives as long as the process: references are not counted.
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }

  HRESULT RegisterInterfaceInGlobal(IUnknown* object, const IID& iid, DWORD* cookie) override {
    if (cookie == nullptr) return E_INVALIDARG;
    *cookie = 0;
    if (object == nullptr) return E_INVALIDARG;
    if (!com_internal::ThreadCanUseCom()) return CO_E_NOTINITIALIZED;
    ComPtr<IUnknown> held;
    HRESULT hr = object->QueryInterface(iid, held.OutVoid());
    if (FAILED(hr)) return hr;
    std::lock_guard guard(lock_);
    DWORD assigned = next_++;
    if (next_ == 0) next_ = 1;
    entries_.emplace(assigned, std::move(held));
    *cookie = assigned;
    return S_OK;
  }

  HRESULT RevokeInterfaceFromGlobal(DWORD cookie) override {
    ComPtr<IUnknown> dropped;  // released after the lock is left: a destructor may use the table
    {
      std::lock_guard guard(lock_);
      auto found = entries_.find(cookie);
      if (found == entries_.end()) return E_INVALIDARG;
      dropped = std::move(found->second);
      entries_.erase(found);
    }
    return S_OK;
  }

  HRESULT GetInterfaceFromGlobal(DWORD cookie, const IID& iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!com_internal::ThreadCanUseCom()) return CO_E_NOTINITIALIZED;
    ComPtr<IUnknown> held;
    {
      std::lock_guard guard(lock_);
      auto found = entries_.find(cookie);
      if (found == entries_.end()) return E_INVALIDARG;
      held = found->second;
    }
    return held->QueryInterface(iid, object);
  }

 private:
  std::mutex lock_;
  std::map<DWORD, ComPtr<IUnknown>> entries_;
  DWORD next_ = 1;
};

GlobalInterfaceTable& Table() {
  // Never destroyed: references in it may be taken back until the process ends.
  static GlobalInterfaceTable* table = new GlobalInterfaceTable;
  return *table;
}

// The built-in class object of the table: CreateInstance answers the one table.
class TableClassObject final : public IClassFactory {
 public:
  HRESULT QueryInterface(const IID& iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return Table().QueryInterface(iid, object);
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
};

}  // namespace

HRESULT GetGlobalInterfaceTable(IGlobalInterfaceTable** table) {
  if (table == nullptr) return E_POINTER;
  *table = &Table();
  return S_OK;
}

namespace com_internal {
HRESULT GetGlobalInterfaceTableClassObject(const IID& iid, void** object) {
  static TableClassObject classObject;
  return classObject.QueryInterface(iid, object);
}
}  // namespace com_internal

}  // namespace rzd
