// Connection points of source objects, and the client-side helpers that connect to them.
#include "platform/com_events.h"

#include <algorithm>

namespace rzd {

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, const IID& iid, uint32_t maxConnections)
    : container_(container), iid_(iid), maxConnections_(maxConnections) {}

ConnectionPoint::~ConnectionPoint() { DisconnectAll(); }

HRESULT ConnectionPoint::QueryInterface(const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG ConnectionPoint::AddRef() { return container_->AddRef(); }

ULONG ConnectionPoint::Release() { return container_->Release(); }

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (container == nullptr) return E_POINTER;
  *container = container_;
  container_->AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  ComPtr<IUnknown> connected;
  if (FAILED(sink->QueryInterface(iid_, connected.OutVoid())) || !connected) return CONNECT_E_CANNOTCONNECT;
  std::lock_guard guard(lock_);
  if (maxConnections_ != 0 && sinks_.size() >= maxConnections_) return CONNECT_E_ADVISELIMIT;
  auto advance = [this] {
    if (++nextCookie_ == 0 || nextCookie_ == DispEventSink::kNotConnected) nextCookie_ = 1;
  };
  while (sinks_.count(nextCookie_) != 0) advance();
  const DWORD assigned = nextCookie_;
  advance();
  sinks_.emplace(assigned, std::move(connected));
  *cookie = assigned;
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
  ComPtr<IUnknown> dropped;  // released after the lock is left: the sink may call back
  std::lock_guard guard(lock_);
  auto found = sinks_.find(cookie);
  if (found == sinks_.end()) return CONNECT_E_NOCONNECTION;
  dropped = std::move(found->second);
  sinks_.erase(found);
  return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** connections) {
  if (connections != nullptr) *connections = nullptr;
  return E_NOTIMPL;
}

size_t ConnectionPoint::ConnectionCount() const {
  std::lock_guard guard(lock_);
  return sinks_.size();
}

std::vector<ComPtr<IUnknown>> ConnectionPoint::Connections() const {
  std::lock_guard guard(lock_);
  std::vector<ComPtr<IUnknown>> copy;
  copy.reserve(sinks_.size());
  for (const auto& entry : sinks_) copy.push_back(entry.second);
  return copy;
}

size_t ConnectionPoint::FireInvoke(DISPID id, std::span<const VARIANT> args) const {
  size_t called = 0;
  for (const ComPtr<IUnknown>& sink : Connections()) {
    ComPtr<IDispatch> dispatch;
    if (FAILED(sink.As(IID_IDispatch, &dispatch))) continue;
    InvokeMethod(dispatch.Get(), id, args);
    ++called;
  }
  return called;
}

void ConnectionPoint::DisconnectAll() {
  std::map<DWORD, ComPtr<IUnknown>> dropped;
  {
    std::lock_guard guard(lock_);
    dropped.swap(sinks_);
  }
}

HRESULT AdviseConnection(IUnknown* source, IUnknown* sink, const IID& iid, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (source == nullptr || sink == nullptr) return E_POINTER;
  ComPtr<IConnectionPointContainer> container;
  HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.OutVoid());
  if (FAILED(hr)) return hr;
  ComPtr<IConnectionPoint> point;
  hr = container->FindConnectionPoint(iid, point.Out());
  if (FAILED(hr)) return hr;
  return point->Advise(sink, cookie);
}

HRESULT UnadviseConnection(IUnknown* source, const IID& iid, DWORD cookie) {
  if (source == nullptr) return E_POINTER;
  ComPtr<IConnectionPointContainer> container;
  HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.OutVoid());
  if (FAILED(hr)) return hr;
  ComPtr<IConnectionPoint> point;
  hr = container->FindConnectionPoint(iid, point.Out());
  if (FAILED(hr)) return hr;
  return point->Unadvise(cookie);
}

VARIANT* DispArgument(DISPPARAMS* params, UINT position) {
  if (params == nullptr || params->rgvarg == nullptr || position >= params->cArgs) return nullptr;
  return &params->rgvarg[params->cArgs - 1 - position];
}

HRESULT InvokeMethod(IDispatch* target, DISPID id, std::span<const VARIANT> args, VARIANT* result) {
  if (target == nullptr) return E_POINTER;
  // Dispatch arguments travel last first; the copies are shallow (the callee does not own them).
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params;
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  params.cArgs = static_cast<UINT>(reversed.size());
  return target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, nullptr);
}

}  // namespace rzd
