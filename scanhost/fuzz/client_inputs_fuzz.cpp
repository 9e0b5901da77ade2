// libFuzzer target over what the service reads from a client's and the driver's texts besides
// XML documents: the pass-through's numbers, the help extractor's paths and the counters of the
// scanner information. The first byte chooses; the rest is the text as UTF-16.
#include "hal/client_inputs.h"
#include "hal/counters.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::u16string text((size - 1) / 2, u'\0');
  std::memcpy(text.data(), data + 1, text.size() * 2);
  switch (data[0] % 3) {
    case 0: {
      uint32_t numbers[3] = {};
      rzd::scanhost::ReadPassThroughNumbers(text, numbers);
      break;
    }
    case 1:
      rzd::scanhost::IsHelpPath(text);
      break;
    default: {
      const rzd::scanhost::UnitCounters counters = rzd::scanhost::ReadUnitCounters(text);
      (void)counters;
      break;
    }
  }
  return 0;
}
