// The metadata record comes from the service, another process: whatever its bytes, a record the
// bridge accepts lies inside the view, its text ends before its size, and its kind is 0 to 2.
#include "meta_record.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace rzd::nethal;
  const std::vector<uint8_t> view(data, data + size);  // exactly the view: nothing past it is readable
  MetaRecord record;
  if (ReadMetaRecord(view.data(), view.size(), &record) != MetaCheck::kRecord) return 0;
  if (record.kind > 2) std::abort();
  if (record.data < view.data() || record.dataSize > view.size() ||
      static_cast<uint64_t>(record.data - view.data()) > view.size() - record.dataSize)
    std::abort();
  for (char16_t c : record.text) {
    if (c == 0) std::abort();
  }
  if (record.text.size() * 2 + 2 > view.size() - kMetaHeaderSize) std::abort();
  return 0;
}
