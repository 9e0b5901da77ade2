// Encoding of controls and their replies, the control sockets, and sending one control.
#include "service_protocol.h"

#include "platform/root.h"
#include "platform/text.h"

#include <cstring>

namespace rzd::service_internal {

namespace {

void Put32(std::vector<uint8_t>* out, uint32_t value) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
  out->insert(out->end(), bytes, bytes + sizeof value);
}

uint32_t Get32(const uint8_t* bytes) {
  uint32_t value = 0;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

bool DecodeHeader(const uint8_t* header, ControlRequest* request, uint32_t* dataSize) {
  if (Get32(header) != kControlMagic) return false;
  request->control = Get32(header + 4);
  request->eventType = Get32(header + 8);
  *dataSize = Get32(header + 12);
  return *dataSize <= kMaxControlData;
}

}  // namespace

std::vector<uint8_t> EncodeControlRequest(const ControlRequest& request) {
  std::vector<uint8_t> bytes;
  bytes.reserve(kControlHeaderSize + request.data.size());
  Put32(&bytes, kControlMagic);
  Put32(&bytes, request.control);
  Put32(&bytes, request.eventType);
  Put32(&bytes, static_cast<uint32_t>(request.data.size()));
  bytes.insert(bytes.end(), request.data.begin(), request.data.end());
  return bytes;
}

bool DecodeControlRequest(const uint8_t* bytes, size_t size, ControlRequest* request) {
  if (size < kControlHeaderSize) return false;
  uint32_t dataSize = 0;
  if (!DecodeHeader(bytes, request, &dataSize)) return false;
  if (size - kControlHeaderSize != dataSize) return false;
  request->data.assign(bytes + kControlHeaderSize, bytes + size);
  return true;
}

uint32_t ReadControlRequest(const LocalStream& stream, ControlRequest* request) {
  uint8_t header[kControlHeaderSize];
  if (uint32_t error = stream.Receive(header, sizeof header); error != ERROR_SUCCESS) return error;
  uint32_t dataSize = 0;
  if (!DecodeHeader(header, request, &dataSize)) return ERROR_INVALID_DATA;
  request->data.resize(dataSize);
  if (dataSize == 0) return ERROR_SUCCESS;
  return stream.Receive(request->data.data(), dataSize);
}

uint32_t WriteControlReply(const LocalStream& stream, const ControlReply& reply) {
  std::vector<uint8_t> bytes;
  Put32(&bytes, reply.error);
  Put32(&bytes, reply.handlerResult);
  for (uint32_t value : {reply.status.dwServiceType, reply.status.dwCurrentState, reply.status.dwControlsAccepted,
                         reply.status.dwWin32ExitCode, reply.status.dwServiceSpecificExitCode,
                         reply.status.dwCheckPoint, reply.status.dwWaitHint}) {
    Put32(&bytes, value);
  }
  return stream.Send(bytes.data(), bytes.size());
}

std::filesystem::path ServicesFolder() { return SystemRoot() / "services"; }

std::filesystem::path ControlSocketPath(std::u16string_view name) {
  return ServicesFolder() / ToUtf8(ToLower(name));
}

bool ValidServiceName(std::u16string_view name) {
  if (name.empty() || name.size() > 256 || name == u"." || name == u"..") return false;
  for (char16_t c : name) {
    if (c == u'\\' || c == u'/' || c == 0) return false;
  }
  return true;
}

uint32_t SendControl(std::u16string_view name, const ControlRequest& request, ControlReply* reply,
                     uint32_t timeoutMs) {
  LocalStream stream;
  if (LocalStream::Connect(ControlSocketPath(name), &stream) != ERROR_SUCCESS) return ERROR_SERVICE_NOT_ACTIVE;
  if (stream.Peer().userId != CurrentUserId()) return ERROR_ACCESS_DENIED;
  const std::vector<uint8_t> bytes = EncodeControlRequest(request);
  if (stream.Send(bytes.data(), bytes.size()) != ERROR_SUCCESS) return ERROR_SERVICE_NOT_ACTIVE;
  stream.SetReceiveTimeout(timeoutMs);
  uint8_t answer[36];
  uint32_t error = stream.Receive(answer, sizeof answer);
  if (error == WAIT_TIMEOUT) return ERROR_SERVICE_REQUEST_TIMEOUT;
  if (error != ERROR_SUCCESS) return ERROR_SERVICE_NOT_ACTIVE;
  reply->error = Get32(answer);
  reply->handlerResult = Get32(answer + 4);
  uint32_t* fields[] = {&reply->status.dwServiceType, &reply->status.dwCurrentState,
                        &reply->status.dwControlsAccepted, &reply->status.dwWin32ExitCode,
                        &reply->status.dwServiceSpecificExitCode, &reply->status.dwCheckPoint,
                        &reply->status.dwWaitHint};
  for (size_t i = 0; i < 7; ++i) *fields[i] = Get32(answer + 8 + 4 * i);
  return ERROR_SUCCESS;
}

uint32_t AcceptBitOf(uint32_t control) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      return SERVICE_ACCEPT_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
      return SERVICE_ACCEPT_PAUSE_CONTINUE;
    case SERVICE_CONTROL_SHUTDOWN:
      return SERVICE_ACCEPT_SHUTDOWN;
    case SERVICE_CONTROL_PARAMCHANGE:
      return SERVICE_ACCEPT_PARAMCHANGE;
    case SERVICE_CONTROL_NETBINDADD:
    case SERVICE_CONTROL_NETBINDREMOVE:
    case SERVICE_CONTROL_NETBINDENABLE:
    case SERVICE_CONTROL_NETBINDDISABLE:
      return SERVICE_ACCEPT_NETBINDCHANGE;
    case SERVICE_CONTROL_HARDWAREPROFILECHANGE:
      return SERVICE_ACCEPT_HARDWAREPROFILECHANGE;
    case SERVICE_CONTROL_POWEREVENT:
      return SERVICE_ACCEPT_POWEREVENT;
    case SERVICE_CONTROL_SESSIONCHANGE:
      return SERVICE_ACCEPT_SESSIONCHANGE;
    default:
      return 0;
  }
}

}  // namespace rzd::service_internal
