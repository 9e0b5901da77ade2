// libFuzzer target: arbitrary bytes as a bitmap file and as an icon file. Besides the sanitizers,
// each input checks the readers' promises: a bitmap read has sides within the bitmap limit, an
// icon read has sides within the icon limit and every pixel inside it can be read.
//
// Run (from a build configured with the fuzz preset):
//   picture_fuzz -max_total_time=60 <corpus-dir> <src>/platform/fuzz/picture/corpus
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
  const std::span<const uint8_t> bytes(data, size);
  if (std::shared_ptr<rzd::gdi::Bitmap> bitmap = rzd::ReadBitmapFile(bytes)) {
    Check(bitmap->Width() >= 1 && bitmap->Width() <= rzd::gdi::kMaxBitmapSide);
    Check(bitmap->Height() >= 1 && bitmap->Height() <= rzd::gdi::kMaxBitmapSide);
    rzd::ImageList images(36, 36, 2, 2);
    images.AddMasked(*bitmap, rzd::gdi::kWhite);
  }
  for (int32_t side : {16, 48}) {
    if (std::shared_ptr<rzd::Icon> icon = rzd::ReadIconFile(bytes, side)) {
      Check(icon->Width() >= 1 && icon->Width() <= rzd::kMaxIconSide);
      Check(icon->Height() >= 1 && icon->Height() <= rzd::kMaxIconSide);
      volatile uint8_t sum = 0;
      for (int32_t y = 0; y < icon->Height(); ++y) {
        for (int32_t x = 0; x < icon->Width(); ++x) sum = sum + icon->At(x, y).a;
      }
    }
  }
  return 0;
}
