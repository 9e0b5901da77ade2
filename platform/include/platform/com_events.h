// Events between component objects: a connection point a source object keeps for one outgoing
// interface, an event sink for a dispinterface, and small helpers for dispatch calls.
#pragma once

#include "platform/com.h"
#include "platform/com_object.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace rzd {

// One outgoing interface of a source object. It is a member of the source (the container): its
// AddRef and Release are the container's, so the container's FindConnectionPoint hands out
// `&point` after AddRef. Cookies are never 0 nor DispEventSink::kNotConnected.
class ConnectionPoint final : public IConnectionPoint {
 public:
  // `container` is the owning object (not counted). `maxConnections` 0 means no limit.
  ConnectionPoint(IConnectionPointContainer* container, const IID& iid, uint32_t maxConnections = 0);
  ~ConnectionPoint();
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  HRESULT QueryInterface(const IID& iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetConnectionInterface(IID* iid) override;
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
  HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT Unadvise(DWORD cookie) override;
  HRESULT EnumConnections(IEnumConnections** connections) override;

  const IID& Interface() const { return iid_; }
  size_t ConnectionCount() const;
  // The connected sinks (queried for the outgoing interface), each a new reference: fire events
  // on this copy, outside any lock of the source, so a sink may unadvise from its handler.
  std::vector<ComPtr<IUnknown>> Connections() const;
  // Invokes `id` as a method on every connected sink's IDispatch, with `args` in their natural
  // order (first argument first). Answers how many sinks were called.
  size_t FireInvoke(DISPID id, std::span<const VARIANT> args = {}) const;
  // Drops every connection (the source is shutting down).
  void DisconnectAll();

 private:
  IConnectionPointContainer* container_;
  IID iid_;
  uint32_t maxConnections_;
  mutable std::mutex lock_;
  std::map<DWORD, ComPtr<IUnknown>> sinks_;
  DWORD nextCookie_ = 1;
};

// An event sink for a dispinterface of a source object: a reference-counted IDispatch that
// answers QueryInterface for the dispinterface id, connects itself to the source's connection
// point, and hands every Invoke to a handler.
//
// The source may keep (and call) the sink after its owner is gone. Detach() makes that safe: once
// it returns, the handler is not running on any other thread and is never called again (later
// calls answer S_OK and do nothing). An owner calls Unadvise() and Detach() before it goes away.
class DispEventSink final : public ComObject<IDispatch> {
 public:
  // The connection cookie while not connected.
  static constexpr DWORD kNotConnected = 0xFEFEFEFE;
  using Handler = std::function<HRESULT(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result)>;

  static ComPtr<DispEventSink> Create(const IID& eventsIid, Handler handler);

  // Connects to `source`'s connection point for the dispinterface. CONNECT_E_ADVISELIMIT when
  // this sink is connected already; the source's answer otherwise.
  HRESULT Advise(IUnknown* source);
  // Ends the connection; CONNECT_E_NOCONNECTION when not connected.
  HRESULT Unadvise();
  DWORD Cookie() const;
  bool IsConnected() const { return Cookie() != kNotConnected; }
  // Stops calls into the handler (see above). May be called from inside the handler: it then
  // does not wait for its own call.
  void Detach();

  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(const IID& iid, OLECHAR** names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID id, const IID& iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* exception, UINT* argError) override;

  DispEventSink(const IID& eventsIid, Handler handler);

 protected:
  void* FindInterface(const IID& iid) override;

 private:
  const IID iid_;
  const Handler handler_;
  mutable std::mutex lock_;
  std::condition_variable idle_;
  bool detached_ = false;
  std::vector<std::thread::id> callers_;  // threads inside the handler now
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = kNotConnected;
};

// Connects `sink` to `source`'s connection point for `iid` (FindConnectionPoint + Advise).
HRESULT AdviseConnection(IUnknown* source, IUnknown* sink, const IID& iid, DWORD* cookie);
HRESULT UnadviseConnection(IUnknown* source, const IID& iid, DWORD cookie);

// Argument `position` (0 = first) of a dispatch call, or nullptr when there are not that many.
VARIANT* DispArgument(DISPPARAMS* params, UINT position);
// Calls `target`'s Invoke(id) as a method with `args` in natural order.
HRESULT InvokeMethod(IDispatch* target, DISPID id, std::span<const VARIANT> args = {}, VARIANT* result = nullptr);

}  // namespace rzd
