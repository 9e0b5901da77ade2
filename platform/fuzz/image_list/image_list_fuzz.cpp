// libFuzzer target: arbitrary bytes as an image-list stream (as a desktop application's cache
// keeps its icons). Besides the sanitizers, each input checks the reader's promises: a list read
// has sides within the icon limit, at most kMaxImageListImages images, used no more bytes than it
// was given, and every image draws.
//
// Run (from a build configured with the fuzz preset):
//   image_list_fuzz -max_total_time=60 <corpus-dir> <src>/platform/fuzz/image_list/corpus
#include "platform/picture.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool promise) {
  if (!promise) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t used = 0;
  const std::optional<rzd::ImageList> list = rzd::ImageList::Read(std::span<const uint8_t>(data, size), &used);
  if (!list) return 0;
  Check(used <= size);
  Check(list->ImageWidth() >= 1 && list->ImageWidth() <= rzd::kMaxIconSide);
  Check(list->ImageHeight() >= 1 && list->ImageHeight() <= rzd::kMaxIconSide);
  Check(list->Count() >= 0 && list->Count() <= rzd::kMaxImageListImages);
  const std::shared_ptr<rzd::gdi::Bitmap> target = rzd::gdi::CreateDibSection(32, 32, 32);
  for (int32_t i = 0; i < list->Count() && i < 8; ++i) Check(list->Draw(i, *target, 0, 0));
  Check(!list->Draw(list->Count(), *target, 0, 0));
  return 0;
}
