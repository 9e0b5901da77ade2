// libFuzzer target: arbitrary bytes as the two streams of the desktop application's link cache.
// The first byte picks a record or image index; the rest is searched as a "LINKS" stream for a
// name taken from its own first record and read as an "ICONS" image list. Besides the
// sanitizers, each input checks the promises: a record found lies whole inside the stream and
// carries the name asked for, and an icon is 32 x 32.
//
// Run (from a build configured with the fuzz preset):
//   link_cache_fuzz -max_total_time=60 <corpus-dir> <src>/scanhost/lcd/fuzz/corpus
#include "scanhost/lcd/link_cache.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool promise) {
  if (!promise) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace rzd::scanhost::lcd;
  if (size < 1) return 0;
  const int32_t index = data[0];
  const std::span<const uint8_t> stream(data + 1, size - 1);
  std::string name = "Mail{Outlook}";
  if (stream.size() >= kLinkRecordSize) {
    const char* at = reinterpret_cast<const char*>(stream.data() + kLinkNameAt);
    name.assign(at, strnlen(at, kLinkRecordSize - kLinkNameAt));
  }
  if (const std::optional<int32_t> found = FindLinkRecord(stream, name)) {
    Check(*found >= 0 && (static_cast<size_t>(*found) + 1) * kLinkRecordSize <= stream.size());
    const char* at = reinterpret_cast<const char*>(stream.data() + *found * kLinkRecordSize + kLinkNameAt);
    Check(std::string(at, strnlen(at, kLinkRecordSize - kLinkNameAt)) == name);
  }
  if (const std::shared_ptr<rzd::gdi::Bitmap> icon = LinkIconFromStream(stream, index)) {
    Check(icon->Width() == kLinkIconSide && icon->Height() == kLinkIconSide);
  }
  return 0;
}
