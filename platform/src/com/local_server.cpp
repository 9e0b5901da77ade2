// Activation of classes served by another process: where the server listens, how it is started
// (its service through the service control manager when its AppID names one, else its
// LocalServer32 program), and session monikers.
#include "com_internal.h"
#include "remote_protocol.h"

#include "ipc/file_lock.h"
#include "platform/com_object.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/service.h"
#include "platform/session.h"
#include "platform/text.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace rzd {

namespace {

// Longest wait for a started server to serve its class.
constexpr uint32_t kStartTimeoutMs = 30000;

// How a class's server is started.
struct LocalRegistration {
  std::u16string serviceName;           // its AppID's LocalService, when it names one
  std::vector<std::string> commandLine;  // else its LocalServer32 program and arguments
};

// A string value of a key, expanded when it is REG_EXPAND_SZ; nullopt when missing or not text.
std::optional<std::u16string> ReadText(const RegKey& key, std::u16string_view name) {
  uint32_t type = REG_NONE;
  std::vector<uint8_t> data;
  if (key.QueryValue(name, &type, &data) != ERROR_SUCCESS) return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  std::u16string text = DecodeRegString(data);
  return type == REG_EXPAND_SZ ? ExpandEnvironmentStrings(text) : text;
}

// The class's local-server registration: REGDB_E_CLASSNOTREG when it has none.
HRESULT ReadLocalRegistration(const CLSID& clsid, LocalRegistration* registration) {
  const std::u16string classKey = u"CLSID\\" + FormatGuid(clsid);
  RegKey entry;
  if (RegKey::Open(Hive::ClassesRoot, classKey, &entry) != ERROR_SUCCESS) return REGDB_E_CLASSNOTREG;
  if (auto appId = ReadText(entry, u"AppID"); appId && !appId->empty()) {
    RegKey app;
    if (RegKey::Open(Hive::ClassesRoot, u"AppID\\" + *appId, &app) == ERROR_SUCCESS) {
      if (auto service = ReadText(app, u"LocalService"); service && !service->empty()) {
        registration->serviceName = *service;
        return S_OK;
      }
    }
  }
  RegKey server;
  if (RegKey::Open(Hive::ClassesRoot, classKey + u"\\LocalServer32", &server) != ERROR_SUCCESS) {
    return REGDB_E_CLASSNOTREG;
  }
  auto line = ReadText(server, u"");
  if (!line) return REGDB_E_CLASSNOTREG;
  registration->commandLine = SplitCommandLine(*line);
  if (registration->commandLine.empty()) return CO_E_SERVER_EXEC_FAILURE;
  return S_OK;
}

// The session a class is served in: services run in session 0, other servers in the session
// they were started for.
uint32_t ServingSession(const LocalRegistration& registration, uint32_t wanted) {
  return registration.serviceName.empty() ? wanted : kServicesSessionId;
}

HRESULT ConnectResult(uint32_t error) {
  return error == ERROR_ACCESS_DENIED ? E_ACCESSDENIED : RPC_S_SERVER_UNAVAILABLE;
}

// Starts the server and waits until it listens: the service through the service control
// manager, else the program, detached, in the session it serves.
HRESULT StartAndConnect(const CLSID& clsid, const LocalRegistration& registration, uint32_t session,
                        LocalStream* stream) {
  const fs::path path = com_internal::ClassSocketPath(clsid, session);
  if (EnsurePrivateFolder(path.parent_path()) != ERROR_SUCCESS) return E_ACCESSDENIED;
  // Held while this client starts the server, so clients racing to start it start one.
  fs::path lockPath = path;
  lockPath += ".start";
  ipc::FileLock lock(lockPath);
  if (!lock.LockWithin(kStartTimeoutMs)) return CO_E_SERVER_EXEC_FAILURE;
  // Another client may have started it while this one waited for the lock.
  uint32_t error = LocalStream::Connect(path, stream);
  if (error != ERROR_FILE_NOT_FOUND) return error == ERROR_SUCCESS ? S_OK : ConnectResult(error);

  uint32_t pid = 0;
  if (!registration.serviceName.empty()) {
    uint32_t started = StartServiceByName(registration.serviceName);
    if (started != ERROR_SUCCESS && started != ERROR_SERVICE_ALREADY_RUNNING) return CO_E_SERVER_EXEC_FAILURE;
  } else {
    std::vector<std::string> args(registration.commandLine.begin() + 1, registration.commandLine.end());
    auto child = ChildProcess::StartDetached(registration.commandLine.front(), args,
                                             {std::string(kSessionEnvironmentVariable) + "=" + std::to_string(session)});
    if (!child) return CO_E_SERVER_EXEC_FAILURE;
    pid = *child;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    error = LocalStream::Connect(path, stream);
    if (error == ERROR_SUCCESS) return S_OK;
    if (error != ERROR_FILE_NOT_FOUND) return ConnectResult(error);
    // A server that ended (or a service that stopped) before it listened will never listen.
    bool gone;
    if (registration.serviceName.empty()) {
      gone = !IsProcessAlive(pid);
    } else {
      ServiceRunStatus status;
      gone = QueryServiceRunStatus(registration.serviceName, &status) != ERROR_SUCCESS ||
             status.state == SERVICE_STOPPED;
    }
    if (gone || std::chrono::steady_clock::now() >= deadline) return CO_E_SERVER_EXEC_FAILURE;
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(20)) pause *= 2;
  }
}

// Connects to the class's server in `session`, starting it when none listens there.
HRESULT ConnectOrStart(const CLSID& clsid, const LocalRegistration& registration, uint32_t session,
                       LocalStream* stream) {
  uint32_t error = LocalStream::Connect(com_internal::ClassSocketPath(clsid, session), stream);
  if (error == ERROR_SUCCESS) return S_OK;
  if (error != ERROR_FILE_NOT_FOUND) return ConnectResult(error);
  return StartAndConnect(clsid, registration, session, stream);
}

// The class object of a class served by another process. Each CreateInstance is one new
// connection and one object; the first may use the connection made when the class object was
// asked for (which started the server when needed).
class RemoteClassFactory final : public ComObject<IClassFactory> {
 public:
  RemoteClassFactory(const CLSID& clsid, uint32_t session, LocalRegistration registration, LocalStream first)
      : clsid_(clsid), session_(session), registration_(std::move(registration)), first_(std::move(first)) {}

  HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    LocalStream stream;
    {
      std::lock_guard guard(lock_);
      stream = std::move(first_);
    }
    // A server that closes the connection unanswered, or answers that it no longer serves the
    // class, was ending (or a single-use server has just been used): the next attempt meets (or
    // starts) the server that serves the class now.
    for (int attempt = 0; attempt < kActivationAttempts; ++attempt) {
      if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5 * attempt));
      if (!stream.Valid()) {
        HRESULT hr = ConnectOrStart(clsid_, registration_, session_, &stream);
        if (FAILED(hr)) return hr;
      }
      HRESULT hr = com_internal::ActivateOverStream(std::move(stream), clsid_, iid, object);
      if (hr != RPC_E_DISCONNECTED && hr != com_internal::CO_E_SERVER_STOPPING) return hr;
      stream = LocalStream();
    }
    return CO_E_SERVER_EXEC_FAILURE;
  }

  HRESULT LockServer(BOOL /*lock*/) override { return S_OK; }

 protected:
  void* FindInterface(const IID& iid) override {
    return iid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
  }

 private:
  static constexpr int kActivationAttempts = 5;

  CLSID clsid_;
  uint32_t session_;
  LocalRegistration registration_;
  std::mutex lock_;
  LocalStream first_;
};

// The class object of `clsid` served in `session` (0 for services whatever is asked), with the
// server started when none listens.
HRESULT RemoteClassObject(const CLSID& clsid, uint32_t session, const IID& iid, void** object) {
  LocalRegistration registration;
  HRESULT hr = ReadLocalRegistration(clsid, &registration);
  if (FAILED(hr)) return hr;
  session = ServingSession(registration, session);
  LocalStream stream;
  hr = ConnectOrStart(clsid, registration, session, &stream);
  if (FAILED(hr)) return hr;
  return CreateComObject<RemoteClassFactory>(nullptr, iid, object, clsid, session, std::move(registration),
                                             std::move(stream));
}

// "Console" or a session number.
std::optional<uint32_t> ParseSession(std::u16string_view text) {
  if (EqualsNoCase(text, u"Console")) return ActiveConsoleSessionId();
  return ParseUInt32(text);
}

// "clsid:XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (braces allowed), without regard to case.
std::optional<CLSID> ParseClassMoniker(std::u16string_view text) {
  constexpr std::u16string_view kPrefix = u"clsid:";
  if (text.size() < kPrefix.size() || !EqualsNoCase(text.substr(0, kPrefix.size()), kPrefix)) return std::nullopt;
  std::u16string guid(text.substr(kPrefix.size()));
  if (!guid.empty() && guid.front() != u'{') guid = u"{" + guid + u"}";
  return ParseGuid(guid);
}

}  // namespace

namespace com_internal {

fs::path ComFolder() { return SystemRoot() / "com"; }

fs::path ClassSocketPath(const CLSID& clsid, uint32_t session) {
  return ComFolder() / (FormatGuidA(clsid) + "." + std::to_string(session));
}

bool HasLocalServerRegistration(const CLSID& clsid) {
  LocalRegistration registration;
  return SUCCEEDED(ReadLocalRegistration(clsid, &registration));
}

HRESULT ActivateLocalServer(const CLSID& clsid, DWORD /*clsContext*/, const IID& iid, void** object) {
  *object = nullptr;
  return RemoteClassObject(clsid, CurrentSessionId(), iid, object);
}

}  // namespace com_internal

HRESULT ConnectToRunningServer(const CLSID& clsid, uint32_t session, const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  LocalStream stream;
  uint32_t error = LocalStream::Connect(com_internal::ClassSocketPath(clsid, session), &stream);
  if (error != ERROR_SUCCESS) return ConnectResult(error);
  HRESULT hr = com_internal::ActivateOverStream(std::move(stream), clsid, iid, object);
  return hr == RPC_E_DISCONNECTED ? RPC_S_SERVER_UNAVAILABLE : hr;
}

}  // namespace rzd

HRESULT CoGetObject(const OLECHAR* name, void* /*bindOptions*/, const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (name == nullptr) return E_INVALIDARG;
  std::u16string_view text(name);
  constexpr std::u16string_view kSession = u"Session:";
  if (text.size() > kSession.size() && rzd::EqualsNoCase(text.substr(0, kSession.size()), kSession)) {
    text.remove_prefix(kSession.size());
    const size_t bang = text.find(u'!');
    if (bang == std::u16string_view::npos) return MK_E_SYNTAX;
    std::optional<uint32_t> session = rzd::ParseSession(text.substr(0, bang));
    std::optional<CLSID> clsid = rzd::ParseClassMoniker(text.substr(bang + 1));
    if (!session || !clsid) return MK_E_SYNTAX;
    if (*session == rzd::kNoConsoleSession) return CO_E_SERVER_EXEC_FAILURE;
    // A class this process serves itself, in that session, is answered directly.
    if (*session == rzd::CurrentSessionId()) {
      if (rzd::ComPtr<IUnknown> own = rzd::com_internal::FindRegisteredClassObject(*clsid, CLSCTX_LOCAL_SERVER)) {
        return own->QueryInterface(iid, object);
      }
    }
    return rzd::RemoteClassObject(*clsid, *session, iid, object);
  }
  std::optional<CLSID> clsid = rzd::ParseClassMoniker(text);
  if (!clsid) return MK_E_SYNTAX;
  return CoGetClassObject(*clsid, CLSCTX_ALL, nullptr, iid, object);
}
