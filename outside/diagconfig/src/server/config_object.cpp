// Operations of the configuration server's object.
#include "config_object.h"

#include "diagconfig/config_store.h"

namespace cordiag {

HRESULT CorDiagConfig::Create(IUnknown* outer, const IID& iid, void** object) {
  HRESULT hr = OperationHook(u"CreateInstance");
  if (FAILED(hr)) {
    *object = nullptr;
    return hr;
  }
  return rzd::CreateComObject<CorDiagConfig>(outer, iid, object);
}

CorDiagConfig::~CorDiagConfig() {
  // The watcher's handler uses the connection point: it ends first.
  std::unique_ptr<ChangeWatcher> watcher;
  {
    std::lock_guard guard(lock_);
    watcher = std::move(watcher_);
  }
  watcher.reset();
  events_.DisconnectAll();
}

void* CorDiagConfig::FindInterface(const IID& iid) {
  if (iid == IID_ICorDiagConfig || iid == IID_IDispatch) return static_cast<ICorDiagConfig*>(this);
  if (iid == IID_IConnectionPointContainer) return static_cast<IConnectionPointContainer*>(this);
  return nullptr;
}

std::u16string CorDiagConfig::Product() const {
  std::lock_guard guard(lock_);
  return product_;
}

HRESULT CorDiagConfig::GetFeatureLevel(BSTR feature, LONG* level) {
  if (level == nullptr) return E_POINTER;
  *level = 0;
  HRESULT hr = OperationHook(u"GetFeatureLevel");
  if (FAILED(hr)) return hr;
  *level = static_cast<LONG>(EffectiveLevel(Product(), rzd::BstrView(feature)));
  return S_OK;
}

HRESULT CorDiagConfig::GetConfiguredFeatureLevel(BSTR feature, LONG* level) {
  if (level == nullptr) return E_POINTER;
  *level = 0;
  HRESULT hr = OperationHook(u"GetConfiguredFeatureLevel");
  if (FAILED(hr)) return hr;
  *level = static_cast<LONG>(ConfiguredLevel(Product(), rzd::BstrView(feature)).value_or(0));
  return S_OK;
}

HRESULT CorDiagConfig::SetFeatureLevel(BSTR feature, LONG level) {
  HRESULT hr = OperationHook(u"SetFeatureLevel");
  if (FAILED(hr)) return hr;
  const std::u16string product = Product();
  if (product.empty()) return E_UNEXPECTED;
  uint32_t error = cordiag::SetFeatureLevel(product, rzd::BstrView(feature), static_cast<uint32_t>(level));
  return HRESULT_FROM_WIN32(error);
}

HRESULT CorDiagConfig::NotifyChanged() {
  HRESULT hr = OperationHook(u"NotifyChanged");
  if (FAILED(hr)) return hr;
  cordiag::NotifyChanged();
  return S_OK;
}

HRESULT CorDiagConfig::SetCompany(BSTR company) {
  HRESULT hr = OperationHook(u"SetCompany");
  if (FAILED(hr)) return hr;
  std::lock_guard guard(lock_);
  if (companySet_) return E_UNEXPECTED;  // accepted once
  companySet_ = true;
  company_ = std::u16string(rzd::BstrView(company));
  return S_OK;
}

HRESULT CorDiagConfig::GetCompany(BSTR* company) {
  if (company == nullptr) return E_POINTER;
  std::lock_guard guard(lock_);
  *company = rzd::AllocBstr(company_);
  return S_OK;
}

HRESULT CorDiagConfig::SetProduct(BSTR product) {
  HRESULT hr = OperationHook(u"SetProduct");
  if (FAILED(hr)) return hr;
  std::lock_guard guard(lock_);
  product_ = std::u16string(rzd::BstrView(product));
  return S_OK;
}

HRESULT CorDiagConfig::GetProduct(BSTR* product) {
  if (product == nullptr) return E_POINTER;
  *product = rzd::AllocBstr(Product());
  return S_OK;
}

HRESULT CorDiagConfig::GetFeatureList(BSTR product, IUnknown** list) {
  if (list == nullptr) return E_POINTER;
  *list = nullptr;
  HRESULT hr = OperationHook(u"GetFeatureList");
  if (FAILED(hr)) return hr;
  return rzd::CreateComObject<CorDiagFeatureList>(nullptr, IID_IUnknown, reinterpret_cast<void**>(list),
                                                  ConfiguredFeatures(rzd::BstrView(product)));
}

HRESULT CorDiagConfig::GetEmitterPath(BSTR* path) {
  if (path == nullptr) return E_POINTER;
  *path = nullptr;
  HRESULT hr = OperationHook(u"GetEmitterPath");
  if (FAILED(hr)) return hr;
  *path = rzd::AllocBstr(EmitterPath());
  return S_OK;
}

HRESULT CorDiagConfig::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points != nullptr) *points = nullptr;
  return E_NOTIMPL;
}

HRESULT CorDiagConfig::FindConnectionPoint(const IID& iid, IConnectionPoint** point) {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  if (iid != events_.Interface()) return CONNECT_E_NOCONNECTION;
  HRESULT hr = OperationHook(u"FindConnectionPoint");
  if (FAILED(hr)) return hr;
  {
    std::lock_guard guard(lock_);
    if (!watcher_) {
      watcher_ = ChangeWatcher::Start([this] { events_.FireInvoke(DISPID_CorDiagConfigChanged); });
      if (!watcher_) return E_FAIL;
    }
  }
  events_.AddRef();
  *point = &events_;
  return S_OK;
}

void* CorDiagFeatureList::FindInterface(const IID& iid) {
  if (iid == IID_ICorDiagFeatureList || iid == IID_IDispatch) return static_cast<ICorDiagFeatureList*>(this);
  return nullptr;
}

HRESULT CorDiagFeatureList::GetNewEnum(IUnknown** enumerator) {
  if (enumerator != nullptr) *enumerator = nullptr;
  return E_NOTIMPL;
}

HRESULT CorDiagFeatureList::Item(LONG index, BSTR* feature) {
  if (feature == nullptr) return E_POINTER;
  *feature = nullptr;
  HRESULT hr = OperationHook(u"Item");
  if (FAILED(hr)) return hr;
  if (index < 1 || static_cast<size_t>(index) > names_.size()) return E_INVALIDARG;
  *feature = rzd::AllocBstr(names_[static_cast<size_t>(index) - 1]);
  return S_OK;
}

HRESULT CorDiagFeatureList::Count(LONG* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  HRESULT hr = OperationHook(u"Count");
  if (FAILED(hr)) return hr;
  *count = static_cast<LONG>(names_.size());
  return S_OK;
}

}  // namespace cordiag
