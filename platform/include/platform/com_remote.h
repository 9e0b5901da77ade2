// Objects served by another process: local servers, their proxies and stubs.
//
// A class registered under LocalServer32, or whose AppID names a LocalService, is activated in
// its server process. Each server listens on one socket per class and session in the private
// folder <root>/com; each activation is one connection, which carries every call on that object
// and whose close is the object's final release in the server. A call is one request and one
// reply, run in the server by the worker thread that received it (multithreaded apartment);
// several calls may run at once on one connection. A server that has gone answers
// RPC_E_DISCONNECTED at once, to calls waiting for it and to every later call.
//
// Arguments travel through interface-specific proxies and stubs. They are found like other
// classes: CoRegisterPSClsid (this process) or the default value of the registry key
// HKEY_CLASSES_ROOT\Interface\{iid}\ProxyStubClsid32 names the proxy/stub class, whose class
// object (IProxyStubFactory) makes both.
#pragma once

#include "platform/com.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr HRESULT DISP_E_BADVARTYPE = MakeHr(0x80020008);      // a VARIANT type a call does not carry
constexpr HRESULT RPC_E_SERVERFAULT = MakeHr(0x80010105);      // the server's method failed abnormally
constexpr HRESULT RPC_X_BAD_STUB_DATA = MakeHr(0x800706F7);    // a request or reply that does not decode
constexpr HRESULT RPC_S_SERVER_UNAVAILABLE = MakeHr(0x800706BA);  // no server listens
constexpr HRESULT CO_E_OBJISREG = MakeHr(0x800401FC);          // another server already serves the class
constexpr HRESULT MK_E_SYNTAX = MakeHr(0x800401E4);            // a display name that does not parse

// Names the proxy/stub class of interface `iid` for this process (before the registry).
HRESULT CoRegisterPSClsid(const IID& iid, const CLSID& clsid);

namespace rzd {

// Most bytes one request or reply may carry.
constexpr size_t kMaxRemoteMessageBytes = 64u << 20;

// The values of a request or a reply, in the order they are written.
class RemoteWriter {
 public:
  void PutU8(uint8_t value) { Append(&value, 1); }
  void PutU16(uint16_t value) { Append(&value, sizeof value); }
  void PutU32(uint32_t value) { Append(&value, sizeof value); }
  void PutI32(int32_t value) { Append(&value, sizeof value); }
  void PutU64(uint64_t value) { Append(&value, sizeof value); }
  void PutGuid(const GUID& value) { Append(&value, sizeof value); }
  void PutBytes(const void* data, size_t size) { Append(data, size); }
  // A BSTR by its byte length (odd lengths and embedded NULs kept), or null.
  void PutBstr(BSTR text);
  // An optional 32-bit value: a null pointer, or the value it points at.
  void PutOptionalI32(const int32_t* value);
  // A VARIANT pointer: null, or a VARIANT of a kind calls carry: VT_EMPTY; VT_I1, VT_UI1, VT_I2,
  // VT_UI2, VT_I4, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT and VT_BOOL (the 8 value bytes as they
  // are); VT_BSTR; VT_ARRAY | VT_UI1 (a one-dimensional byte array, or none). Any other type
  // answers DISP_E_BADVARTYPE and writes nothing.
  HRESULT PutVariant(const VARIANT* value);

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  size_t Size() const { return bytes_.size(); }
  void Clear() { bytes_.clear(); }

 private:
  void Append(const void* data, size_t size);
  std::vector<uint8_t> bytes_;
};

// Reads what a RemoteWriter wrote. Every getter answers false, and reads nothing more, when the
// data does not hold the value (sizes are checked against what is left).
class RemoteReader {
 public:
  RemoteReader(const uint8_t* data, size_t size) : at_(data), end_(data + size) {}

  bool GetU8(uint8_t* value) { return Take(value, 1); }
  bool GetU16(uint16_t* value) { return Take(value, sizeof *value); }
  bool GetU32(uint32_t* value) { return Take(value, sizeof *value); }
  bool GetI32(int32_t* value) { return Take(value, sizeof *value); }
  bool GetU64(uint64_t* value) { return Take(value, sizeof *value); }
  bool GetGuid(GUID* value) { return Take(value, sizeof *value); }
  // *text receives a new BSTR (null for null) that the caller frees.
  bool GetBstr(BSTR* text);
  // *present tells whether a value (in *value) was sent.
  bool GetOptionalI32(bool* present, int32_t* value);
  // *present false for a null pointer; else *value (a cleared VARIANT) receives the value, which
  // the caller clears.
  bool GetVariant(bool* present, VARIANT* value);

  size_t Left() const { return static_cast<size_t>(end_ - at_); }
  bool AtEnd() const { return at_ == end_; }

 private:
  bool Take(void* value, size_t size);
  const uint8_t* at_;
  const uint8_t* end_;
};

// The bytes of a reply, as a proxy reads them.
struct RemoteReply {
  std::vector<uint8_t> data;
  RemoteReader Reader() const { return RemoteReader(data.data(), data.size()); }
};

class RemoteConnection;

// One interface of an object served by another process, as its proxy calls it.
class RemoteLink {
 public:
  RemoteLink(std::shared_ptr<RemoteConnection> connection, uint16_t slot)
      : connection_(std::move(connection)), slot_(slot) {}

  // Sends method number `method` with `request` and waits for the reply. S_OK when the stub ran
  // (the method's own result is inside the reply); the stub's failure (RPC_X_BAD_STUB_DATA,
  // RPC_E_SERVERFAULT) otherwise; RPC_E_DISCONNECTED when the server has gone, also for calls
  // that were waiting when it went.
  HRESULT Call(uint32_t method, const RemoteWriter& request, RemoteReply* reply) const;

 private:
  std::shared_ptr<RemoteConnection> connection_;
  uint16_t slot_;
};

}  // namespace rzd

// The server side of one interface of one object. Invoke reads the arguments of method `method`,
// calls the object and writes the reply. A failure (arguments that do not decode, an unknown
// method) makes the call answer that result instead.
struct IRemoteStub : IUnknown {
  virtual HRESULT Invoke(uint32_t method, rzd::RemoteReader& request, rzd::RemoteWriter& reply) = 0;

 protected:
  ~IRemoteStub() = default;
};

// The class object of a proxy/stub class.
struct IProxyStubFactory : IUnknown {
  // A proxy of interface `iid` aggregated into `outer` (the remote object's identity); *inner
  // receives its non-delegating unknown. E_NOINTERFACE for an interface the class does not know.
  virtual HRESULT CreateProxy(IUnknown* outer, const IID& iid, const rzd::RemoteLink& link, IUnknown** inner) = 0;
  // A stub that calls interface `iid` of `server`.
  virtual HRESULT CreateStub(const IID& iid, IUnknown* server, IRemoteStub** stub) = 0;

 protected:
  ~IProxyStubFactory() = default;
};

// {7A3F1C20-5B4E-4D6A-9E81-2C5D7F0B3A11}
constexpr IID IID_IRemoteStub{0x7A3F1C20, 0x5B4E, 0x4D6A, {0x9E, 0x81, 0x2C, 0x5D, 0x7F, 0x0B, 0x3A, 0x11}};
// {7A3F1C21-5B4E-4D6A-9E81-2C5D7F0B3A11}
constexpr IID IID_IProxyStubFactory{0x7A3F1C21, 0x5B4E, 0x4D6A, {0x9E, 0x81, 0x2C, 0x5D, 0x7F, 0x0B, 0x3A, 0x11}};

namespace rzd {

// Who made the call (or the activation) running on this thread: the peer of its connection, as
// the socket's credentials name it.
struct CallerIdentity {
  uint32_t processId = 0;
  uint32_t userId = 0;
  std::string userName;
};
// False on a thread that is not running a call from another process.
bool GetCallerIdentity(CallerIdentity* caller);

// Ends this process's serving of other processes, as the process's end would: no class is
// listened for any more (later registrations answer CO_E_SERVER_STOPPING), every connection is
// closed, the worker threads are waited for up to 5 s (the calls they run and the final releases
// that follow them), and the objects the connections still held are released on this thread
// before it returns. A program runs it before it ends what its objects use (its diagnostics, its
// module objects): at exit it would run after those. False when a call still ran after the 5 s;
// its thread is left to the process's end. Later calls do nothing more.
bool EndLocalServer();

// Creates an instance of `clsid` for `iid` in the server that serves the class in `session`
// now, without looking at the registry and without starting a server. RPC_S_SERVER_UNAVAILABLE
// when none listens; E_ACCESSDENIED when the server belongs to another user or refuses us.
HRESULT ConnectToRunningServer(const CLSID& clsid, uint32_t session, const IID& iid, void** object);

}  // namespace rzd
