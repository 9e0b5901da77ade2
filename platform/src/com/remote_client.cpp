// The client side of a local-server connection: calls that wait for their replies, and the
// object that gives a remote object its identity and its interface proxies.
//
// A calling thread sends its request and reads the connection itself while no other thread is
// reading it; a reply that belongs to another waiting call is handed to that call. One call at a
// time thus costs one send and one receive on the calling thread, with no other thread woken.
#include "remote_protocol.h"

#include "com_internal.h"
#include "platform/com_object.h"

#include <condition_variable>
#include <new>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace rzd {

class RemoteConnection {
 public:
  explicit RemoteConnection(LocalStream stream) : stream_(std::move(stream)) {}
  ~RemoteConnection() { stream_.Shutdown(); }
  RemoteConnection(const RemoteConnection&) = delete;
  RemoteConnection& operator=(const RemoteConnection&) = delete;

  // Sends one request and waits for its reply: S_OK with the reply's value and body, or the
  // reason the connection ended (RPC_E_DISCONNECTED, or what a refusing server answered).
  HRESULT Request(com_internal::FrameKind kind, uint16_t slot, uint32_t value, const std::vector<uint8_t>& body,
                  uint32_t* replyValue, std::vector<uint8_t>* replyBody);

  // Ends the connection: waiting calls and later ones answer RPC_E_DISCONNECTED.
  void Close() { stream_.Shutdown(); }

 private:
  struct Pending {
    bool done = false;
    uint32_t value = 0;
    std::vector<uint8_t> body;
  };

  // Reads one frame and hands it to its call. Called with `lock_` held by `guard`, which is
  // released while reading.
  void ReadOne(std::unique_lock<std::mutex>& guard);
  void EndLocked(HRESULT reason);

  LocalStream stream_;
  std::mutex sendLock_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool reading_ = false;
  bool ended_ = false;
  HRESULT endReason_ = RPC_E_DISCONNECTED;
  uint32_t nextCallId_ = 1;
  std::unordered_map<uint32_t, Pending*> pending_;
};

void RemoteConnection::EndLocked(HRESULT reason) {
  if (!ended_) {
    ended_ = true;
    endReason_ = reason;
  }
  changed_.notify_all();
}

void RemoteConnection::ReadOne(std::unique_lock<std::mutex>& guard) {
  reading_ = true;
  guard.unlock();
  com_internal::FrameHeader header;
  std::vector<uint8_t> body;
  const uint32_t error = com_internal::ReadFrame(stream_, &header, &body);
  guard.lock();
  reading_ = false;
  if (error != ERROR_SUCCESS || header.kind != static_cast<uint16_t>(com_internal::FrameKind::Reply)) {
    EndLocked(RPC_E_DISCONNECTED);
    return;
  }
  if (header.callId == com_internal::kRefusalCallId) {
    EndLocked(static_cast<HRESULT>(header.value));
    return;
  }
  auto found = pending_.find(header.callId);
  if (found != pending_.end()) {
    Pending* call = found->second;
    call->done = true;
    call->value = header.value;
    call->body = std::move(body);
    pending_.erase(found);
  }
  // Another waiting call may now read, or find its reply delivered.
  changed_.notify_all();
}

HRESULT RemoteConnection::Request(com_internal::FrameKind kind, uint16_t slot, uint32_t value,
                                  const std::vector<uint8_t>& body, uint32_t* replyValue,
                                  std::vector<uint8_t>* replyBody) {
  if (body.size() > kMaxRemoteMessageBytes) return E_INVALIDARG;
  Pending call;
  com_internal::FrameHeader header;
  header.size = static_cast<uint32_t>(body.size());
  header.kind = static_cast<uint16_t>(kind);
  header.slot = slot;
  header.value = value;
  {
    std::lock_guard guard(lock_);
    if (ended_) return endReason_;
    header.callId = nextCallId_++;
    if (nextCallId_ == com_internal::kRefusalCallId) nextCallId_ = 1;
    pending_[header.callId] = &call;
  }
  uint32_t sent;
  {
    std::lock_guard guard(sendLock_);
    sent = stream_.Send(&header, sizeof header, body.data(), body.size());
  }
  std::unique_lock guard(lock_);
  if (sent != ERROR_SUCCESS) {
    pending_.erase(header.callId);
    EndLocked(RPC_E_DISCONNECTED);
    return endReason_;
  }
  while (!call.done) {
    if (ended_) {
      pending_.erase(header.callId);
      return endReason_;
    }
    if (reading_) {
      changed_.wait(guard);
    } else {
      ReadOne(guard);
    }
  }
  *replyValue = call.value;
  *replyBody = std::move(call.body);
  return S_OK;
}

HRESULT RemoteLink::Call(uint32_t method, const RemoteWriter& request, RemoteReply* reply) const {
  uint32_t transport = 0;
  HRESULT hr = connection_->Request(com_internal::FrameKind::Call, slot_, method, request.Bytes(), &transport,
                                    &reply->data);
  if (FAILED(hr)) return hr;
  return static_cast<HRESULT>(transport);
}

namespace {

// A remote object in this process: its identity, the connection to its server and a proxy per
// interface asked for. Its last release closes the connection, which is the object's final
// release in the server.
class RemoteObject final : public ObjectRoot {
 public:
  explicit RemoteObject(std::shared_ptr<RemoteConnection> connection) : connection_(std::move(connection)) {}

  // Adds the proxy of `iid` on `slot`.
  HRESULT AddProxy(const IID& iid, uint16_t slot) {
    ComPtr<IProxyStubFactory> factory;
    HRESULT hr = com_internal::GetProxyStubFactory(iid, &factory);
    if (FAILED(hr)) return hr;
    IUnknown* inner = nullptr;
    hr = factory->CreateProxy(Inner(), iid, RemoteLink(connection_, slot), &inner);
    if (FAILED(hr)) return hr;
    if (inner == nullptr) return E_UNEXPECTED;
    std::lock_guard guard(lock_);
    proxies_.push_back({iid, inner});
    return S_OK;
  }

 protected:
  void* FindInterface(const IID& /*iid*/) override { return nullptr; }

  HRESULT QueryAggregated(const IID& iid, void** object) override {
    *object = nullptr;
    if (SUCCEEDED(AskProxies(iid, object))) return S_OK;
    // A new interface: the server must have it, and this process its proxy.
    ComPtr<IProxyStubFactory> factory;
    if (FAILED(com_internal::GetProxyStubFactory(iid, &factory))) return E_NOINTERFACE;
    RemoteWriter body;
    body.PutGuid(iid);
    uint32_t answer = 0;
    std::vector<uint8_t> reply;
    HRESULT hr = connection_->Request(com_internal::FrameKind::QueryInterface, 0, 0, body.Bytes(), &answer, &reply);
    if (FAILED(hr)) return hr;
    if (FAILED(static_cast<HRESULT>(answer))) return static_cast<HRESULT>(answer);
    uint16_t slot = 0;
    RemoteReader reader(reply.data(), reply.size());
    if (!reader.GetU16(&slot) || !reader.AtEnd()) return RPC_X_BAD_STUB_DATA;
    if (SUCCEEDED(AskProxies(iid, object))) return S_OK;  // another thread added it meanwhile
    hr = AddProxy(iid, slot);
    if (FAILED(hr)) return hr;
    return AskProxies(iid, object);
  }

  void FinalRelease() override {
    std::vector<Proxy> proxies;
    {
      std::lock_guard guard(lock_);
      proxies.swap(proxies_);
    }
    for (auto& proxy : proxies) proxy.inner->Release();
    connection_->Close();
  }

 private:
  struct Proxy {
    IID iid;
    IUnknown* inner;
  };

  // An interface of one of the proxies made so far (a proxy may answer several, such as
  // IDispatch beside its own).
  HRESULT AskProxies(const IID& iid, void** object) {
    std::lock_guard guard(lock_);
    for (auto& proxy : proxies_) {
      if (proxy.iid == iid) return proxy.inner->QueryInterface(iid, object);
    }
    for (auto& proxy : proxies_) {
      if (SUCCEEDED(proxy.inner->QueryInterface(iid, object))) return S_OK;
    }
    return E_NOINTERFACE;
  }

  std::shared_ptr<RemoteConnection> connection_;
  std::mutex lock_;
  std::vector<Proxy> proxies_;
};

}  // namespace

namespace com_internal {

uint32_t ReadFrame(const LocalStream& stream, FrameHeader* header, std::vector<uint8_t>* body) {
  if (uint32_t error = stream.Receive(header, sizeof *header); error != ERROR_SUCCESS) return error;
  if (header->size > kMaxRemoteMessageBytes) return ERROR_INVALID_DATA;
  body->resize(header->size);
  if (header->size == 0) return ERROR_SUCCESS;
  return stream.Receive(body->data(), header->size);
}

HRESULT ActivateOverStream(LocalStream stream, const CLSID& clsid, const IID& iid, void** object) {
  *object = nullptr;
  // Only a server of this user is trusted with our calls.
  if (!stream.PeerIsThisUser()) return E_ACCESSDENIED;
  // An interface this process cannot call is refused before an object is made for it.
  if (iid != IID_IUnknown) {
    ComPtr<IProxyStubFactory> factory;
    if (FAILED(GetProxyStubFactory(iid, &factory))) return E_NOINTERFACE;
  }
  auto connection = std::make_shared<RemoteConnection>(std::move(stream));
  RemoteWriter body;
  body.PutU32(kProtocolMagic);
  body.PutU32(kProtocolVersion);
  body.PutGuid(clsid);
  body.PutGuid(iid);
  uint32_t answer = 0;
  std::vector<uint8_t> reply;
  HRESULT hr = connection->Request(FrameKind::Activate, 0, 0, body.Bytes(), &answer, &reply);
  if (FAILED(hr)) return hr;  // RPC_E_DISCONNECTED: the server went away before it answered
  if (FAILED(static_cast<HRESULT>(answer))) return static_cast<HRESULT>(answer);

  auto* remote = new (std::nothrow) RemoteObject(connection);
  if (remote == nullptr) return E_OUTOFMEMORY;
  IUnknown* identity = nullptr;
  hr = ObjectRoot::Activate(remote, nullptr, IID_IUnknown, reinterpret_cast<void**>(&identity));
  if (FAILED(hr)) return hr;
  ComPtr<IUnknown> holder = ComPtr<IUnknown>::Attach(identity);
  if (iid != IID_IUnknown) {
    hr = remote->AddProxy(iid, 0);
    if (FAILED(hr)) return hr;
  }
  return holder->QueryInterface(iid, object);
}

}  // namespace com_internal

}  // namespace rzd
