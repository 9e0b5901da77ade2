// libFuzzer target: the first piece of an engine-made JPEG stream, whose Exif Make and Model the
// driver rewrites. An input is two length bytes (the new Make's and Model's lengths), the room
// byte (free bytes behind the stream, in 16-byte steps), then the stream.
//
// Besides the sanitizers (the buffer is exactly the capacity the rewrite is given), the rewrite
// must keep its promises: the stream never grows beyond the capacity nor shrinks, a stream without
// a whole Exif segment is unchanged byte for byte, and everything behind the segment keeps its
// bytes.
//
// Run (from a build configured with the fuzz preset):
//   exif_rewrite_fuzz -max_total_time=60 <corpus-dir> <src>/lowdrv/core/fuzz/exif_corpus
#include "scan/exif_rewrite.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "exif_rewrite_fuzz: %s\n", what);
  std::abort();
}

// One past the first Exif segment before the scan, walking the markers from the start of image;
// 0 when there is none.
size_t ExifSegmentEnd(const uint8_t* s, size_t n) {
  if (n < 4 || s[0] != 0xFF || s[1] != 0xD8) return 0;
  size_t pos = 2;
  while (pos + 4 <= n && s[pos] == 0xFF) {
    const uint8_t marker = s[pos + 1];
    if (marker == 0xDA || marker == 0xD9) return 0;
    if (marker == 0xFF) {
      ++pos;
      continue;
    }
    const size_t length = static_cast<size_t>(s[pos + 2]) << 8 | s[pos + 3];
    if (length < 2) return 0;
    const size_t end = pos + 2 + length;
    if (end > n) return 0;
    if (marker == 0xE1 && length >= 8 && std::memcmp(s + pos + 4, "Exif\0\0", 6) == 0) return end;
    pos = end;
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const std::string make(data[0] % 48, 'M');
  const std::string model(data[1] % 200, 'm');
  const size_t room = static_cast<size_t>(data[2]) * 16;
  const uint8_t* stream = data + 3;
  const size_t length = size - 3;
  const size_t capacity = length + room;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[capacity == 0 ? 1 : capacity]);
  if (length) std::memcpy(buffer.get(), stream, length);
  if (room) std::memset(buffer.get() + length, 0xEE, room);

  const size_t result = rzd::lowdrv::jpeg::RewriteExifMakeModel(buffer.get(), length, capacity, make, model);
  if (result > capacity) Fail("the stream grew beyond its buffer");
  if (result < length) Fail("the stream shrank");
  const size_t segmentEnd = ExifSegmentEnd(stream, length);
  if (segmentEnd == 0) {
    if (result != length) Fail("a stream without a whole Exif segment grew");
    if (length && std::memcmp(buffer.get(), stream, length) != 0) Fail("a stream without Exif changed");
  } else if (std::memcmp(buffer.get() + segmentEnd + (result - length), stream + segmentEnd, length - segmentEnd) != 0) {
    Fail("bytes behind the Exif segment changed");
  }
  return 0;
}
