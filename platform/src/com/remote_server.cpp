// The server side of local servers: a listening socket per visible class registration, one
// connection per activated object, and worker threads that run the calls.
//
// Workers wait together in one epoll set whose sockets are armed for one event at a time. The
// worker that takes a connection's event reads one whole request, re-arms the connection (so
// another worker can take the next request of the same connection), and runs the call itself:
// a call is never handed from one thread to another. The pool keeps at least one worker waiting
// and grows while calls run, so a call that waits (a long read) never holds up another (its
// cancel).
#include "remote_protocol.h"

#include "com_internal.h"
#include "ipc/file_lock.h"
#include "ipc/look_before_sleep.h"
#include "platform/process.h"
#include "platform/root.h"
#include "platform/session.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace rzd {

namespace {

using com_internal::FrameHeader;
using com_internal::FrameKind;

constexpr uint64_t kWakeToken = 0;
constexpr uint64_t kListenerFlag = 1ull << 63;
constexpr size_t kMaxWorkers = 128;
constexpr size_t kMaxSlots = 0xFFFF;
constexpr int kIdleExitMs = 30000;     // a worker beyond the spare ones ends after this long idle
constexpr uint32_t kStopJoinMs = 5000;  // how long the process end waits for running calls
constexpr uint32_t kOwnerWaitMs = 2000;  // how long a new server waits for an ending one

thread_local const PeerCredentials* t_caller = nullptr;

// Makes the peer of a connection the caller of what runs on this thread for a scope.
class CallerScope {
 public:
  explicit CallerScope(const PeerCredentials* caller) : previous_(t_caller) { t_caller = caller; }
  ~CallerScope() { t_caller = previous_; }
  CallerScope(const CallerScope&) = delete;
  CallerScope& operator=(const CallerScope&) = delete;

 private:
  const PeerCredentials* previous_;
};

// One activated object (or one waiting for its activation) and its connection.
struct ServerConnection {
  ServerConnection(LocalStream s, const CLSID& c, uint64_t l)
      : stream(std::move(s)), peer(stream.Peer()), clsid(c), listenerId(l) {}
  // The object's references go here, on whichever thread drops the last use of the connection.
  ~ServerConnection() {
    stubs.clear();
    identity.Reset();
  }

  LocalStream stream;
  PeerCredentials peer;
  CLSID clsid;
  uint64_t listenerId;  // the listener it came through
  std::mutex sendLock;
  std::mutex lock;  // guards what follows
  bool activated = false;
  ComPtr<IUnknown> identity;
  std::vector<ComPtr<IRemoteStub>> stubs;  // by slot
  std::vector<IID> slotIids;

  void Reply(uint32_t callId, HRESULT value, const std::vector<uint8_t>& body = {}) {
    FrameHeader header;
    header.size = static_cast<uint32_t>(body.size());
    header.callId = callId;
    header.kind = static_cast<uint16_t>(FrameKind::Reply);
    header.value = static_cast<uint32_t>(value);
    std::lock_guard guard(sendLock);
    stream.Send(&header, sizeof header, body.data(), body.size());  // a peer gone is the close's business
  }
};

// The listening socket of one class in one session, shared by this process's registrations
// of the class.
struct Listener {
  CLSID clsid{};
  uint32_t session = 0;
  LocalListener socket;
  int ownerLock = -1;  // held while listening: the one rightful server of the class
  std::vector<DWORD> cookies;
  bool singleUse = false;
};

class ServerEngine {
 public:
  static ServerEngine& Get() {
    // Lives as long as the process; Stop runs at exit (unless the program ran it before its own
    // end, EndLocalServer) so no worker outlives the objects it calls.
    static ServerEngine* engine = [] {
      auto* made = new ServerEngine;
      std::atexit([] { ServerEngine::Get().Stop(); });
      return made;
    }();
    return *engine;
  }

  HRESULT StartListening(DWORD cookie, const CLSID& clsid, DWORD flags);
  void StopListening(DWORD cookie);
  // False when calls still ran after kStopJoinMs.
  bool Stop();

 private:
  ServerEngine();

  void EnsureWorker();
  void JoinFinishedWorkersLocked();
  void WorkerMain(std::atomic<bool>* finished);
  int WaitForEvent(epoll_event* event, bool lookFirst);
  void Dispatch(uint64_t token);
  void Accept(uint64_t id);
  void Serve(const std::shared_ptr<ServerConnection>& connection, uint64_t id);
  void Arm(int fd, uint64_t token, bool add);
  void CloseConnection(uint64_t id);
  void HandedOut(uint64_t listenerId);
  void RemoveListenerLocked(std::map<uint64_t, Listener>::iterator found);
  HRESULT Activate(ServerConnection& connection, const std::vector<uint8_t>& body);
  HRESULT QueryInterface(ServerConnection& connection, const std::vector<uint8_t>& body, uint16_t* slot);

  int epoll_ = -1;
  int wake_ = -1;
  std::mutex listenLock_;
  std::mutex lock_;
  std::condition_variable workersChanged_;
  bool stopping_ = false;
  std::atomic<size_t> idle_{0};
  size_t alive_ = 0;
  struct Worker {
    std::thread thread;
    std::atomic<bool> finished{false};
  };
  std::list<Worker> workers_;
  uint64_t nextId_ = 1;
  std::map<uint64_t, Listener> listeners_;
  std::map<uint64_t, std::shared_ptr<ServerConnection>> connections_;
};

ServerEngine::ServerEngine() {
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  epoll_event event{};
  event.events = EPOLLIN;  // level-triggered: once written, every worker sees it
  event.data.u64 = kWakeToken;
  epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event);
}

void ServerEngine::Arm(int fd, uint64_t token, bool add) {
  epoll_event event{};
  event.events = EPOLLIN | EPOLLONESHOT | EPOLLRDHUP;
  event.data.u64 = token;
  epoll_ctl(epoll_, add ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd, &event);
}

void ServerEngine::EnsureWorker() {
  // Called with lock_ held.
  if (stopping_ || idle_.load() > 0 || alive_ >= kMaxWorkers) return;
  JoinFinishedWorkersLocked();
  Worker& worker = workers_.emplace_back();
  ++alive_;
  idle_.fetch_add(1);  // counts as waiting from now on, so callers do not start a second one
  worker.thread = std::thread([this, finished = &worker.finished] { WorkerMain(finished); });
}

// Joins the workers that have ended and drops their entries. Called with lock_ held.
void ServerEngine::JoinFinishedWorkersLocked() {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->finished.load()) {
      if (it->thread.joinable()) it->thread.join();  // Stop detaches those still inside a call
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

void ServerEngine::WorkerMain(std::atomic<bool>* finished) {
  ComInit apartment(COINIT_MULTITHREADED);
  bool counted = true;  // idle_ already counts this worker
  bool served = false;   // this worker has just run a call
  for (;;) {
    if (!counted) idle_.fetch_add(1);
    counted = false;
    epoll_event event{};
    int n = WaitForEvent(&event, served);
    const size_t idleNow = idle_.fetch_sub(1) - 1;
    {
      std::lock_guard guard(lock_);
      if (stopping_) break;
      if (n == 0 && idleNow >= 1) break;  // another worker still waits: this one may go
      if (n > 0 && event.data.u64 != kWakeToken) EnsureWorker();
    }
    served = n > 0 && event.data.u64 != kWakeToken;
    if (served) Dispatch(event.data.u64);
  }
  std::lock_guard guard(lock_);
  --alive_;
  finished->store(true);
  workersChanged_.notify_all();
}

// A client's next call often follows its answer at once: a worker that has just run a call looks
// for the next event a short while before it sleeps, which saves its wake-up.
int ServerEngine::WaitForEvent(epoll_event* event, bool lookFirst) {
  if (lookFirst) {
    ipc::LookBeforeSleep look;
    do {
      if (const int n = epoll_wait(epoll_, event, 1, 0); n != 0) return n;
    } while (look.Again());
  }
  return epoll_wait(epoll_, event, 1, kIdleExitMs);
}

void ServerEngine::Dispatch(uint64_t token) {
  if ((token & kListenerFlag) != 0) {
    Accept(token & ~kListenerFlag);
    return;
  }
  std::shared_ptr<ServerConnection> connection;
  {
    std::lock_guard guard(lock_);
    auto found = connections_.find(token);
    if (found == connections_.end()) return;
    connection = found->second;
  }
  Serve(connection, token);
}

void ServerEngine::Accept(uint64_t id) {
  LocalStream stream;
  CLSID clsid{};
  {
    std::lock_guard guard(lock_);
    auto found = listeners_.find(id);
    if (found == listeners_.end()) return;
    uint32_t error = found->second.socket.Accept(&stream, false);
    clsid = found->second.clsid;
    Arm(found->second.socket.Descriptor(), id | kListenerFlag, false);
    if (error != ERROR_SUCCESS) return;
  }
  auto connection = std::make_shared<ServerConnection>(std::move(stream), clsid, id);
  if (!connection->stream.PeerIsThisUser()) {
    // Another user's process: refused before it can ask anything.
    connection->Reply(com_internal::kRefusalCallId, E_ACCESSDENIED);
    return;
  }
  std::lock_guard guard(lock_);
  if (stopping_) return;
  const uint64_t connectionId = nextId_++;
  connections_[connectionId] = connection;
  Arm(connection->stream.Descriptor(), connectionId, true);
}

void ServerEngine::CloseConnection(uint64_t id) {
  std::shared_ptr<ServerConnection> connection;
  {
    std::lock_guard guard(lock_);
    auto found = connections_.find(id);
    if (found == connections_.end()) return;
    connection = std::move(found->second);
    connections_.erase(found);
    epoll_ctl(epoll_, EPOLL_CTL_DEL, connection->stream.Descriptor(), nullptr);
  }
  connection->stream.Shutdown();
  // The object's final release follows when the last call still running on it ends.
}

void ServerEngine::HandedOut(uint64_t listenerId) {
  // A single-use class object serves one activation; the next one starts another server.
  std::lock_guard guard(lock_);
  auto found = listeners_.find(listenerId);
  if (found != listeners_.end() && found->second.singleUse) RemoveListenerLocked(found);
}

void ServerEngine::Serve(const std::shared_ptr<ServerConnection>& connection, uint64_t id) {
  FrameHeader header;
  std::vector<uint8_t> body;
  if (com_internal::ReadFrame(connection->stream, &header, &body) != ERROR_SUCCESS) {
    CloseConnection(id);
    return;
  }
  {
    std::lock_guard guard(lock_);
    if (connections_.count(id) == 0) return;
    Arm(connection->stream.Descriptor(), id, false);  // the next request may now be taken
  }
  CallerScope caller(&connection->peer);
  switch (static_cast<FrameKind>(header.kind)) {
    case FrameKind::Activate: {
      HRESULT hr = Activate(*connection, body);
      if (SUCCEEDED(hr)) HandedOut(connection->listenerId);  // before the answer: no one waits on a used class
      connection->Reply(header.callId, hr);
      if (FAILED(hr)) CloseConnection(id);
      return;
    }
    case FrameKind::Call: {
      ComPtr<IRemoteStub> stub;
      {
        std::lock_guard guard(connection->lock);
        if (header.slot < connection->stubs.size()) stub = connection->stubs[header.slot];
      }
      if (!stub) {
        connection->Reply(header.callId, RPC_X_BAD_STUB_DATA);
        return;
      }
      RemoteReader request(body.data(), body.size());
      RemoteWriter reply;
      HRESULT hr;
      try {
        hr = stub->Invoke(header.value, request, reply);
      } catch (...) {
        hr = RPC_E_SERVERFAULT;
      }
      if (FAILED(hr)) reply.Clear();
      if (reply.Size() > kMaxRemoteMessageBytes) {
        hr = E_OUTOFMEMORY;
        reply.Clear();
      }
      connection->Reply(header.callId, hr, reply.Bytes());
      return;
    }
    case FrameKind::QueryInterface: {
      uint16_t slot = 0;
      HRESULT hr = QueryInterface(*connection, body, &slot);
      RemoteWriter answer;
      if (SUCCEEDED(hr)) answer.PutU16(slot);
      connection->Reply(header.callId, hr, answer.Bytes());
      return;
    }
    default:
      CloseConnection(id);  // not this protocol
      return;
  }
}

HRESULT ServerEngine::Activate(ServerConnection& connection, const std::vector<uint8_t>& body) {
  RemoteReader request(body.data(), body.size());
  uint32_t magic = 0;
  uint32_t version = 0;
  CLSID clsid{};
  IID iid{};
  if (!request.GetU32(&magic) || !request.GetU32(&version) || !request.GetGuid(&clsid) || !request.GetGuid(&iid) ||
      !request.AtEnd() || magic != com_internal::kProtocolMagic || version != com_internal::kProtocolVersion) {
    return RPC_X_BAD_STUB_DATA;
  }
  {
    std::lock_guard guard(connection.lock);
    if (connection.activated) return RPC_X_BAD_STUB_DATA;
    connection.activated = true;
  }
  if (clsid != connection.clsid) return REGDB_E_CLASSNOTREG;
  ComPtr<IUnknown> classObject = com_internal::FindRegisteredClassObject(clsid, CLSCTX_LOCAL_SERVER);
  if (!classObject) return com_internal::CO_E_SERVER_STOPPING;
  ComPtr<IClassFactory> factory;
  HRESULT hr = classObject->QueryInterface(IID_IClassFactory, factory.OutVoid());
  if (FAILED(hr)) return hr;

  ComPtr<IProxyStubFactory> stubs;
  if (iid != IID_IUnknown && FAILED(com_internal::GetProxyStubFactory(iid, &stubs))) return E_NOINTERFACE;
  ComPtr<IUnknown> object;
  try {
    hr = factory->CreateInstance(nullptr, iid, object.OutVoid());
  } catch (...) {
    hr = RPC_E_SERVERFAULT;
  }
  if (FAILED(hr)) return hr;
  if (!object) return E_UNEXPECTED;
  ComPtr<IUnknown> identity;
  hr = object->QueryInterface(IID_IUnknown, identity.OutVoid());
  if (FAILED(hr)) return hr;
  ComPtr<IRemoteStub> stub;
  if (stubs) {
    hr = stubs->CreateStub(iid, object.Get(), stub.Out());
    if (FAILED(hr)) return hr;
  }
  std::lock_guard guard(connection.lock);
  connection.identity = identity;
  connection.stubs.push_back(stub);
  connection.slotIids.push_back(iid);
  return S_OK;
}

HRESULT ServerEngine::QueryInterface(ServerConnection& connection, const std::vector<uint8_t>& body,
                                     uint16_t* slot) {
  RemoteReader request(body.data(), body.size());
  IID iid{};
  if (!request.GetGuid(&iid) || !request.AtEnd()) return RPC_X_BAD_STUB_DATA;
  ComPtr<IUnknown> identity;
  {
    std::lock_guard guard(connection.lock);
    if (!connection.identity) return E_UNEXPECTED;
    for (size_t i = 0; i < connection.slotIids.size(); ++i) {
      if (connection.slotIids[i] == iid && connection.stubs[i]) {
        *slot = static_cast<uint16_t>(i);
        return S_OK;
      }
    }
    if (connection.stubs.size() >= kMaxSlots) return E_OUTOFMEMORY;
    identity = connection.identity;
  }
  ComPtr<IUnknown> wanted;
  if (FAILED(identity->QueryInterface(iid, wanted.OutVoid()))) return E_NOINTERFACE;
  ComPtr<IProxyStubFactory> stubs;
  if (FAILED(com_internal::GetProxyStubFactory(iid, &stubs))) return E_NOINTERFACE;
  ComPtr<IRemoteStub> stub;
  HRESULT hr = stubs->CreateStub(iid, wanted.Get(), stub.Out());
  if (FAILED(hr)) return hr;
  std::lock_guard guard(connection.lock);
  *slot = static_cast<uint16_t>(connection.stubs.size());
  connection.stubs.push_back(stub);
  connection.slotIids.push_back(iid);
  return S_OK;
}

// The owner lock of a class socket: held by the one process that serves the class, whose id it
// records. An owner whose process has ended may hold it for a moment longer (its last threads
// are still ending): the lock is waited for then, never while the owner lives.
HRESULT AcquireOwnerLock(const std::filesystem::path& socketPath, int* lockFd) {
  std::filesystem::path lockPath = socketPath;
  lockPath += ".owner";
  ipc::FileLock lock(lockPath);
  if (!lock.Opened()) return E_ACCESSDENIED;
  auto ownerLives = [&lock] {
    uint32_t owner = 0;
    return lock.ReadTag(&owner) && IsProcessAlive(owner);
  };
  if (!lock.LockWithin(kOwnerWaitMs, ownerLives)) return CO_E_OBJISREG;
  if (!lock.WriteTag(CurrentProcessId())) return E_ACCESSDENIED;
  *lockFd = lock.Release();
  return S_OK;
}

HRESULT ServerEngine::StartListening(DWORD cookie, const CLSID& clsid, DWORD flags) {
  const uint32_t session = CurrentSessionId();
  std::lock_guard registering(listenLock_);  // one registration at a time in this process
  {
    std::lock_guard guard(lock_);
    if (stopping_) return com_internal::CO_E_SERVER_STOPPING;
    for (auto& [id, listener] : listeners_) {
      if (listener.clsid == clsid && listener.session == session) {
        listener.cookies.push_back(cookie);
        return S_OK;
      }
    }
  }
  const std::filesystem::path path = com_internal::ClassSocketPath(clsid, session);
  if (EnsurePrivateFolder(path.parent_path()) != ERROR_SUCCESS) return E_ACCESSDENIED;
  Listener listener;
  listener.clsid = clsid;
  listener.session = session;
  listener.cookies.push_back(cookie);
  listener.singleUse = (flags & 3) == REGCLS_SINGLEUSE;
  if (HRESULT hr = AcquireOwnerLock(path, &listener.ownerLock); FAILED(hr)) return hr;
  // Holding the owner lock, a socket file found there was left by a server that has gone.
  if (LocalListener::Listen(path, &listener.socket) != ERROR_SUCCESS) {
    close(listener.ownerLock);
    return E_ACCESSDENIED;
  }
  std::lock_guard guard(lock_);
  if (stopping_) {  // Stop ran while the socket was bound: it would never remove this one
    listener.socket.Close();
    listener.socket.RemoveFile();  // ours: the owner lock is still held
    close(listener.ownerLock);
    return com_internal::CO_E_SERVER_STOPPING;
  }
  const uint64_t id = nextId_++;
  const int fd = listener.socket.Descriptor();
  listeners_.emplace(id, std::move(listener));
  Arm(fd, id | kListenerFlag, true);
  EnsureWorker();
  return S_OK;
}

void ServerEngine::RemoveListenerLocked(std::map<uint64_t, Listener>::iterator found) {
  Listener& listener = found->second;
  epoll_ctl(epoll_, EPOLL_CTL_DEL, listener.socket.Descriptor(), nullptr);
  listener.socket.Close();
  listener.socket.RemoveFile();  // ours: the owner lock is still held
  close(listener.ownerLock);
  listeners_.erase(found);
}

void ServerEngine::StopListening(DWORD cookie) {
  std::lock_guard guard(lock_);
  for (auto it = listeners_.begin(); it != listeners_.end(); ++it) {
    auto& cookies = it->second.cookies;
    auto found = std::find(cookies.begin(), cookies.end(), cookie);
    if (found == cookies.end()) continue;
    cookies.erase(found);
    if (cookies.empty()) RemoveListenerLocked(it);
    return;
  }
}

bool ServerEngine::Stop() {
  std::vector<std::shared_ptr<ServerConnection>> connections;
  bool allEnded = false;
  {
    std::unique_lock guard(lock_);
    if (stopping_) return alive_ == 0;
    stopping_ = true;
    while (!listeners_.empty()) RemoveListenerLocked(listeners_.begin());
    for (auto& [id, connection] : connections_) {
      epoll_ctl(epoll_, EPOLL_CTL_DEL, connection->stream.Descriptor(), nullptr);
      connection->stream.Shutdown();
      connections.push_back(std::move(connection));
    }
    connections_.clear();
    uint64_t one = 1;
    ssize_t ignored = write(wake_, &one, sizeof one);
    (void)ignored;
    allEnded = workersChanged_.wait_for(guard, std::chrono::milliseconds(kStopJoinMs), [this] { return alive_ == 0; });
    if (!allEnded) std::fprintf(stderr, "local server: %zu call(s) still running at exit\n", alive_);
    JoinFinishedWorkersLocked();
    // Those left are still inside a call; the process end takes them. Their entries stay: a
    // worker marks its own finished should its call return before then.
    for (Worker& worker : workers_) {
      if (worker.thread.joinable()) worker.thread.detach();
    }
  }
  connections.clear();  // the objects' final releases, outside the lock
  return allEnded;
}

}  // namespace

namespace com_internal {

HRESULT StartListening(DWORD cookie, const CLSID& clsid, DWORD flags) {
  return ServerEngine::Get().StartListening(cookie, clsid, flags);
}

void StopListening(DWORD cookie) { ServerEngine::Get().StopListening(cookie); }

}  // namespace com_internal

bool EndLocalServer() { return ServerEngine::Get().Stop(); }

bool GetCallerIdentity(CallerIdentity* caller) {
  if (caller == nullptr || t_caller == nullptr) return false;
  caller->processId = t_caller->processId;
  caller->userId = t_caller->userId;
  caller->userName = UserName(t_caller->userId);
  return true;
}

}  // namespace rzd
