// Encoding of controls and their replies, the control sockets, and sending one control.
#include "service_protocol.h"

#include "platform/com_remote.h"
#include "platform/root.h"
#include "platform/text.h"

#include <array>

namespace rzd::service_internal {

namespace {

constexpr size_t kControlReplySize = 36;

bool DecodeHeader(const uint8_t* header, ControlRequest* request, uint32_t* dataSize) {
  RemoteReader reader(header, kControlHeaderSize);
  uint32_t magic = 0;
  reader.GetU32(&magic);
  reader.GetU32(&request->control);
  reader.GetU32(&request->eventType);
  reader.GetU32(dataSize);
  return magic == kControlMagic && *dataSize <= kMaxControlData;
}

// The seven fields of a service status, in the order a reply carries them.
template <typename Status>
auto StatusFields(Status& status) {
  return std::array{&status.dwServiceType,   &status.dwCurrentState,           &status.dwControlsAccepted,
                    &status.dwWin32ExitCode, &status.dwServiceSpecificExitCode, &status.dwCheckPoint,
                    &status.dwWaitHint};
}

}  // namespace

std::vector<uint8_t> EncodeControlRequest(const ControlRequest& request) {
  RemoteWriter writer;
  writer.PutU32(kControlMagic);
  writer.PutU32(request.control);
  writer.PutU32(request.eventType);
  writer.PutU32(static_cast<uint32_t>(request.data.size()));
  writer.PutBytes(request.data.data(), request.data.size());
  return writer.Bytes();
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
  RemoteWriter writer;
  writer.PutU32(reply.error);
  writer.PutU32(reply.handlerResult);
  for (const uint32_t* field : StatusFields(reply.status)) writer.PutU32(*field);
  return stream.Send(writer.Bytes().data(), writer.Size());
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
  if (!stream.PeerIsThisUser()) return ERROR_ACCESS_DENIED;
  const std::vector<uint8_t> bytes = EncodeControlRequest(request);
  if (stream.Send(bytes.data(), bytes.size()) != ERROR_SUCCESS) return ERROR_SERVICE_NOT_ACTIVE;
  stream.SetReceiveTimeout(timeoutMs);
  uint8_t answer[kControlReplySize];
  uint32_t error = stream.Receive(answer, sizeof answer);
  if (error == WAIT_TIMEOUT) return ERROR_SERVICE_REQUEST_TIMEOUT;
  if (error != ERROR_SUCCESS) return ERROR_SERVICE_NOT_ACTIVE;
  // The answer holds exactly the nine values read here.
  RemoteReader reader(answer, sizeof answer);
  reader.GetU32(&reply->error);
  reader.GetU32(&reply->handlerResult);
  for (uint32_t* field : StatusFields(reply->status)) reader.GetU32(field);
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
