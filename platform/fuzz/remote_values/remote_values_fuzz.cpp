// libFuzzer target: the values a local-server call carries (platform/com_remote.h), read from
// arbitrary bytes as a stub or proxy reads a request or reply. Each byte before a value picks
// what is read next; every value read must write back to the same bytes and read back equal.
//
// Run (from a build configured with the fuzz preset):
//   remote_values_fuzz -max_total_time=60 -dict=<src>/platform/fuzz/remote_values/remote_values.dict \
//                      <corpus-dir> <src>/platform/fuzz/remote_values/corpus
#include "platform/com_remote.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool SameBytes(const rzd::RemoteWriter& writer, const uint8_t* from, const uint8_t* to) {
  return writer.Size() == static_cast<size_t>(to - from) && std::memcmp(writer.Bytes().data(), from, writer.Size()) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rzd::RemoteReader reader(data, size);
  for (;;) {
    uint8_t selector = 0;
    if (!reader.GetU8(&selector)) return 0;
    const uint8_t* start = data + (size - reader.Left());
    rzd::RemoteWriter again;
    switch (selector % 3) {
      case 0: {
        BSTR text = nullptr;
        if (!reader.GetBstr(&text)) return 0;
        again.PutBstr(text);
        SysFreeString(text);
        break;
      }
      case 1: {
        bool present = false;
        int32_t value = 0;
        if (!reader.GetOptionalI32(&present, &value)) return 0;
        again.PutOptionalI32(present ? &value : nullptr);
        break;
      }
      default: {
        bool present = false;
        VARIANT value;
        if (!reader.GetVariant(&present, &value)) return 0;
        Check(again.PutVariant(present ? &value : nullptr) == S_OK);
        VariantClear(&value);
        break;
      }
    }
    Check(SameBytes(again, start, data + (size - reader.Left())));
  }
}
