// The local-server protocol: frames on one connection per object, and where the sockets live.
//
// Every frame is a 16-byte header and `size` bytes of body. Requests carry a call id that the
// reply repeats, so several calls may wait on one connection at once. The first request of a
// connection activates the object; a server that refuses the peer answers with a reply of call
// id 0 before it closes.
#pragma once

#include "platform/com_remote.h"
#include "platform/local_socket.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace rzd::com_internal {

enum class FrameKind : uint16_t {
  Activate = 1,        // body: magic, version, clsid, iid; reply value: the creation's HRESULT
  Call = 2,            // slot, value = method number, body = arguments; reply body = the stub's output
  QueryInterface = 3,  // body: iid; reply value: HRESULT, body: the new slot (u16)
  Reply = 0x80,        // value: the transport result
};

struct FrameHeader {
  uint32_t size = 0;
  uint32_t callId = 0;
  uint16_t kind = 0;
  uint16_t slot = 0;
  uint32_t value = 0;
};
static_assert(sizeof(FrameHeader) == 16, "frame headers are 16 bytes");

constexpr uint32_t kProtocolMagic = 0x435A5252;  // "RRZC"
constexpr uint32_t kProtocolVersion = 1;
constexpr uint32_t kRefusalCallId = 0;
constexpr HRESULT CO_E_SERVER_STOPPING = MakeHr(0x80080008);

// Reads one frame: ERROR_SUCCESS, or the stream's error (ERROR_INVALID_DATA for a body larger
// than kMaxRemoteMessageBytes).
uint32_t ReadFrame(const LocalStream& stream, FrameHeader* header, std::vector<uint8_t>* body);

// <root>/com, the private folder of the class sockets.
std::filesystem::path ComFolder();
// The socket of a class served in a session: <root>/com/{CLSID}.<session>.
std::filesystem::path ClassSocketPath(const CLSID& clsid, uint32_t session);

// The proxy/stub class object for `iid`: CoRegisterPSClsid's, else the registry's.
// E_NOINTERFACE when none is known.
HRESULT GetProxyStubFactory(const IID& iid, ComPtr<IProxyStubFactory>* factory);

// Activates `clsid` for `iid` over a fresh connection to its server and answers the proxy.
// RPC_E_DISCONNECTED when the server closed the connection before it answered (it was ending,
// or stopped serving the class meanwhile).
HRESULT ActivateOverStream(LocalStream stream, const CLSID& clsid, const IID& iid, void** object);

// Server side: the listening socket of a class registration that became visible, and its end.
HRESULT StartListening(DWORD cookie, const CLSID& clsid, DWORD flags);
void StopListening(DWORD cookie);

}  // namespace rzd::com_internal
