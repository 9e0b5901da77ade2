// libFuzzer target: controls as they arrive on a service's control socket. A control that
// decodes must encode back to the same bytes; its event data never exceeds the bound. A device
// event's record is checked as the dispatcher checks it, both as the data of a decoded control and
// as the input itself, in a buffer of exactly the bytes that arrived (so a read past them is
// caught); for a record taken as whole, the name in the buffer a handler is handed must end at a
// terminator no further than the record's end.
//
// Run (from a build configured with the fuzz preset):
//   service_control_fuzz -max_total_time=60 -dict=<src>/platform/fuzz/service_control/service_control.dict \
//                        <corpus-dir> <src>/platform/fuzz/service_control/corpus
#include "platform/service_host.h"
#include "service/device_event_record.h"
#include "service/service_protocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

namespace si = rzd::service_internal;

void CheckRecord(const uint8_t* bytes, size_t size) {
  // A copy of exactly `size` bytes: the check must never look past them.
  std::unique_ptr<uint8_t[]> arrived(new uint8_t[size == 0 ? 1 : size]);
  if (size != 0) std::memcpy(arrived.get(), bytes, size);
  const si::DeviceRecordFault fault = si::CheckDeviceEventRecord(size == 0 ? nullptr : arrived.get(), size);
  if (fault != si::DeviceRecordFault::kNone) {
    if (si::DeviceRecordFaultText(fault, arrived.get(), size).empty()) std::abort();
    return;
  }
  uint32_t recordSize = 0;
  uint32_t type = 0;
  std::memcpy(&recordSize, arrived.get(), sizeof recordSize);
  std::memcpy(&type, arrived.get() + 4, sizeof type);
  if (size < 12 || recordSize < 12 || recordSize > size) std::abort();
  if (type != DBT_DEVTYP_DEVICEINTERFACE) return;
  constexpr size_t kHeader = offsetof(DEV_BROADCAST_DEVICEINTERFACE, dbcc_name);
  if (recordSize < kHeader) std::abort();
  // The name as a handler reads it, in the buffer the dispatcher hands it: up to its terminator,
  // which must lie inside the buffer and no further than the record's end.
  const std::vector<uint64_t> handed = si::DeviceEventData(arrived.get(), size);
  const auto* buffer = reinterpret_cast<const uint8_t*>(handed.data());
  const size_t bufferSize = handed.size() * sizeof(uint64_t);
  if (bufferSize < recordSize || std::memcmp(buffer, arrived.get(), recordSize) != 0) std::abort();
  size_t at = kHeader;
  while (at + 2 <= bufferSize && (buffer[at] | buffer[at + 1]) != 0) at += 2;
  if (at + 2 > bufferSize || at > recordSize) std::abort();  // no terminator, or one past the record
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckRecord(data, size);
  si::ControlRequest request;
  if (!si::DecodeControlRequest(data, size, &request)) return 0;
  if (request.data.size() > si::kMaxControlData) std::abort();
  const std::vector<uint8_t> bytes = si::EncodeControlRequest(request);
  if (bytes.size() != size || std::memcmp(bytes.data(), data, size) != 0) std::abort();
  if (request.control == SERVICE_CONTROL_DEVICEEVENT) CheckRecord(request.data.data(), request.data.size());
  return 0;
}
