// libFuzzer target: controls as they arrive on a service's control socket. A control that
// decodes must encode back to the same bytes; its event data never exceeds the bound.
//
// Run (from a build configured with the fuzz preset):
//   service_control_fuzz -max_total_time=60 -dict=<src>/platform/fuzz/service_control/service_control.dict \
//                        <corpus-dir> <src>/platform/fuzz/service_control/corpus
#include "service/service_protocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rzd::service_internal::ControlRequest request;
  if (!rzd::service_internal::DecodeControlRequest(data, size, &request)) return 0;
  if (request.data.size() > rzd::service_internal::kMaxControlData) std::abort();
  const std::vector<uint8_t> bytes = rzd::service_internal::EncodeControlRequest(request);
  if (bytes.size() != size || std::memcmp(bytes.data(), data, size) != 0) std::abort();
  return 0;
}
