// What the service control manager and a service's dispatcher say to each other, and where.
//
// A control is one connection to the service's control socket: a 16-byte header (magic,
// control, event type, size of the event data), the event data, and a reply of 36 bytes (error,
// the handler's answer, the service's status). Control 0 is a probe the dispatcher answers
// without its handler.
#pragma once

#include "platform/local_socket.h"
#include "platform/service.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::service_internal {

constexpr uint32_t kControlMagic = 0x4353445A;  // "ZDSC"
constexpr uint32_t kProbeControl = 0;
constexpr uint32_t kMaxControlData = 4096;
constexpr size_t kControlHeaderSize = 16;
// How long a dispatcher waits for the rest of a control once a connection came.
constexpr uint32_t kControlReadTimeoutMs = 2000;

// Environment of a started service: its name, and its start arguments joined by U+001F.
inline constexpr char kServiceNameVariable[] = "RZD_SERVICE_NAME";
inline constexpr char kServiceArgsVariable[] = "RZD_SERVICE_ARGS";

struct ControlRequest {
  uint32_t control = 0;
  uint32_t eventType = 0;
  std::vector<uint8_t> data;
};

struct ControlReply {
  uint32_t error = ERROR_SUCCESS;
  uint32_t handlerResult = 0;
  SERVICE_STATUS status;
};

std::vector<uint8_t> EncodeControlRequest(const ControlRequest& request);
// Decodes a whole request (header and data); false for anything malformed.
bool DecodeControlRequest(const uint8_t* bytes, size_t size, ControlRequest* request);
// Reads one request from a stream (bounded: data beyond kMaxControlData is refused).
uint32_t ReadControlRequest(const LocalStream& stream, ControlRequest* request);
uint32_t WriteControlReply(const LocalStream& stream, const ControlReply& reply);

// <root>/services, the private folder of the control sockets and start locks.
std::filesystem::path ServicesFolder();
// The control socket of a service (its name in lower case: service names ignore case).
std::filesystem::path ControlSocketPath(std::u16string_view name);
// A usable service name: not empty, at most 256 characters, no "\" or "/", not "." or "..".
bool ValidServiceName(std::u16string_view name);

// Sends a control to a service's dispatcher and waits up to `timeoutMs` for the reply.
// ERROR_SERVICE_NOT_ACTIVE when no dispatcher listens, ERROR_SERVICE_REQUEST_TIMEOUT when the
// reply does not come.
uint32_t SendControl(std::u16string_view name, const ControlRequest& request, ControlReply* reply,
                     uint32_t timeoutMs);

// The SERVICE_ACCEPT_* bit a control needs, or 0 when it is always accepted.
uint32_t AcceptBitOf(uint32_t control);

}  // namespace rzd::service_internal
