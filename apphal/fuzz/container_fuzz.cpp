// libFuzzer target: capability containers as a data source hands them back. The first two bytes
// choose the container kind, the rest is the container's memory.
#include "apphal/twain_container.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  uint16_t conType;
  std::memcpy(&conType, data, 2);
  rzd::apphal::CapabilityContainer container;
  if (!rzd::apphal::ReadContainer(conType, std::span<const uint8_t>(data + 2, size - 2), &container)) return 0;
  rzd::apphal::TwainNumber value;
  rzd::apphal::CurrentNumber(container, &value);
  std::vector<rzd::apphal::TwainNumber> values;
  if (rzd::apphal::ListNumbers(container, &values) && values.size() > rzd::apphal::kMaxCapabilityItems) __builtin_trap();
  return 0;
}
