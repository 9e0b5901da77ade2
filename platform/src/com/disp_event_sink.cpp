// The event sink for a dispinterface: connects to a source and hands Invoke to a handler until
// it is detached.
#include "platform/com_events.h"

#include <algorithm>

namespace rzd {

DispEventSink::DispEventSink(const IID& eventsIid, Handler handler) : iid_(eventsIid), handler_(std::move(handler)) {}

ComPtr<DispEventSink> DispEventSink::Create(const IID& eventsIid, Handler handler) {
  return MakeComObject<DispEventSink>(eventsIid, std::move(handler));
}

void* DispEventSink::FindInterface(const IID& iid) {
  if (iid == IID_IDispatch || iid == iid_) return static_cast<IDispatch*>(this);
  return nullptr;
}

HRESULT DispEventSink::Advise(IUnknown* source) {
  if (source == nullptr) return E_POINTER;
  {
    std::lock_guard guard(lock_);
    if (cookie_ != kNotConnected) return CONNECT_E_ADVISELIMIT;
  }
  ComPtr<IConnectionPointContainer> container;
  HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.OutVoid());
  if (FAILED(hr)) return hr;
  ComPtr<IConnectionPoint> point;
  hr = container->FindConnectionPoint(iid_, point.Out());
  if (FAILED(hr)) return hr;
  DWORD cookie = 0;
  hr = point->Advise(static_cast<IDispatch*>(this), &cookie);
  if (FAILED(hr)) return hr;
  std::lock_guard guard(lock_);
  if (cookie_ != kNotConnected) {
    // Another thread connected meanwhile: keep one connection.
    point->Unadvise(cookie);
    return CONNECT_E_ADVISELIMIT;
  }
  point_ = std::move(point);
  cookie_ = cookie;
  return S_OK;
}

HRESULT DispEventSink::Unadvise() {
  ComPtr<IConnectionPoint> point;
  DWORD cookie;
  {
    std::lock_guard guard(lock_);
    if (cookie_ == kNotConnected) return CONNECT_E_NOCONNECTION;
    point = std::move(point_);
    cookie = std::exchange(cookie_, kNotConnected);
  }
  // Outside the lock: the source may be firing at this sink right now.
  return point->Unadvise(cookie);
}

DWORD DispEventSink::Cookie() const {
  std::lock_guard guard(lock_);
  return cookie_;
}

void DispEventSink::Detach() {
  const std::thread::id self = std::this_thread::get_id();
  std::unique_lock guard(lock_);
  detached_ = true;
  idle_.wait(guard, [&] { return std::all_of(callers_.begin(), callers_.end(), [&](auto id) { return id == self; }); });
}

HRESULT DispEventSink::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT DispEventSink::GetTypeInfo(UINT /*index*/, LCID /*lcid*/, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT DispEventSink::GetIDsOfNames(const IID& /*iid*/, OLECHAR** /*names*/, UINT /*count*/, LCID /*lcid*/, DISPID* /*ids*/) {
  return E_NOTIMPL;
}

HRESULT DispEventSink::Invoke(DISPID id, const IID& /*iid*/, LCID /*lcid*/, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* /*exception*/, UINT* /*argError*/) {
  const std::thread::id self = std::this_thread::get_id();
  {
    std::lock_guard guard(lock_);
    if (detached_ || !handler_) return S_OK;
    callers_.push_back(self);
  }
  HRESULT hr;
  try {
    hr = handler_(id, flags, params, result);
  } catch (...) {
    hr = E_UNEXPECTED;  // an event handler's failure never reaches the source
  }
  std::lock_guard guard(lock_);
  callers_.erase(std::find(callers_.begin(), callers_.end(), self));
  idle_.notify_all();
  return hr;
}

}  // namespace rzd
