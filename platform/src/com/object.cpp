// The reference count and identity of component objects, and the generic class object.
#include "platform/com_object.h"

namespace rzd {

namespace {
// The count while an object is being destroyed, so that references taken and dropped by its
// FinalRelease or destructor cannot start a second destruction.
constexpr ULONG kDestroying = 1u << 30;
}  // namespace

ObjectRoot::ObjectRoot(ComModule* module) : module_(module) {
  if (module_ != nullptr) module_->Lock();
}

ObjectRoot::~ObjectRoot() = default;

HRESULT ObjectRoot::Activate(ObjectRoot* object, IUnknown* outer, const IID& iid, void** result) {
  *result = nullptr;
  object->outer_ = outer;
  object->InnerAddRef();  // keeps the object alive through FinalConstruct
  HRESULT hr = object->FinalConstruct();
  if (SUCCEEDED(hr)) hr = object->InnerQueryInterface(iid, result);
  object->InnerRelease();  // destroys it when nothing was handed out
  return hr;
}

HRESULT ObjectRoot::QueryAggregated(const IID& /*iid*/, void** object) {
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT ObjectRoot::InnerQueryInterface(const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown) {
    *object = static_cast<IUnknown*>(&inner_);
    InnerAddRef();
    return S_OK;
  }
  if (void* found = FindInterface(iid)) {
    *object = found;
    // Every interface counts on the controlling unknown: the outer object when aggregated.
    DelegatingAddRef();
    return S_OK;
  }
  return QueryAggregated(iid, object);
}

ULONG ObjectRoot::InnerAddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG ObjectRoot::InnerRelease() {
  const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left != 0) return left;
  refs_.store(kDestroying, std::memory_order_relaxed);
  FinalRelease();
  ComModule* module = module_;
  delete this;
  // The module count drops after the object's code has run, so its library can only be unloaded
  // once nothing of the object is left.
  if (module != nullptr) module->Unlock();
  return 0;
}

HRESULT ObjectRoot::DelegatingQueryInterface(const IID& iid, void** object) {
  if (outer_ != nullptr) return outer_->QueryInterface(iid, object);
  return InnerQueryInterface(iid, object);
}

ULONG ObjectRoot::DelegatingAddRef() { return outer_ != nullptr ? outer_->AddRef() : InnerAddRef(); }

ULONG ObjectRoot::DelegatingRelease() { return outer_ != nullptr ? outer_->Release() : InnerRelease(); }

HRESULT ClassFactory::CreateInstance(IUnknown* outer, const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  return create_(outer, iid, object);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
  if (lockModule_ == nullptr) return S_OK;
  if (lock) {
    lockModule_->Lock();
  } else {
    lockModule_->Unlock();
  }
  return S_OK;
}

void* ClassFactory::FindInterface(const IID& iid) {
  if (iid == IID_IClassFactory) return static_cast<IClassFactory*>(this);
  return nullptr;
}

}  // namespace rzd
