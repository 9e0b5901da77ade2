// libFuzzer target: arbitrary bytes as an ELF image whose ".rzd_version" section is looked for,
// and as a version record. Besides the sanitizers, each input checks the readers' promises: a
// section found lies inside the image and within the size asked for, and a record parsed has its
// translation and names made of the allowed characters.
//
// Run (from a build configured with the fuzz preset):
//   file_version_fuzz -max_total_time=60 <corpus-dir> <src>/platform/fuzz/corpus
#include "platform/file_version.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

struct Image {
  const uint8_t* data;
  size_t size;
};

bool ReadImage(void* context, uint64_t offset, void* out, size_t size) {
  const auto* image = static_cast<const Image*>(context);
  if (offset > image->size || size > image->size - offset) return false;
  std::memcpy(out, image->data + offset, size);
  return true;
}

void Check(bool promise) {
  if (!promise) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Image image{data, size};
  const std::optional<std::vector<uint8_t>> section =
      rzd::ReadElfSection(&ReadImage, &image, size, rzd::kVersionRecordSection, rzd::kMaxVersionRecord + 1);
  if (section) {
    Check(section->size() <= rzd::kMaxVersionRecord + 1 && section->size() <= size);
    rzd::ParseVersionRecord(*section);
  }
  const std::optional<rzd::FileVersionInfo> info = rzd::ParseVersionRecord({data, size});
  if (info) {
    for (const auto& [name, value] : info->strings) {
      Check(!name.empty());
      for (char16_t c : name) Check(c < 0x80 && c != u'=');
      for (char16_t c : value) Check(c >= 0x20);
    }
  }
  return 0;
}
