// Decoding a JPEG stream in the tests with libjpeg, counting its warnings.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace rzd::lowdrv::test {

struct Decoded {
  bool ok = false;
  int warnings = 0;
  std::string error;
  uint32_t width = 0;
  uint32_t height = 0;
  int components = 0;
  std::vector<uint8_t> pixels;  // RGB or grey, row by row
};

namespace detail {
struct DecodeErrors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  int warnings = 0;
  std::string first;
};
extern "C" inline void DecodeErrorExit(j_common_ptr info) {
  auto* e = reinterpret_cast<DecodeErrors*>(info->err);
  char text[JMSG_LENGTH_MAX] = {};
  info->err->format_message(info, text);
  e->first = text;
  std::longjmp(e->jump, 1);
}
extern "C" inline void DecodeMessage(j_common_ptr info, int level) {
  auto* e = reinterpret_cast<DecodeErrors*>(info->err);
  if (level < 0) {
    ++e->warnings;
    if (e->first.empty()) {
      char text[JMSG_LENGTH_MAX] = {};
      info->err->format_message(info, text);
      e->first = text;
    }
  }
}
inline bool DecodeInto(jpeg_decompress_struct& d, const std::vector<uint8_t>& stream, Decoded& out) {
  auto* e = reinterpret_cast<DecodeErrors*>(d.err);
  if (setjmp(e->jump) != 0) return false;
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, stream.data(), static_cast<unsigned long>(stream.size()));
  jpeg_read_header(&d, TRUE);
  jpeg_start_decompress(&d);
  out.width = d.output_width;
  out.height = d.output_height;
  out.components = d.output_components;
  out.pixels.resize(static_cast<size_t>(out.width) * out.height * static_cast<size_t>(out.components));
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = out.pixels.data() + static_cast<size_t>(d.output_scanline) * out.width * out.components;
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  return true;
}
}  // namespace detail

inline Decoded DecodeJpeg(const std::vector<uint8_t>& stream) {
  Decoded out;
  jpeg_decompress_struct d{};
  detail::DecodeErrors errors{};
  d.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = detail::DecodeErrorExit;
  errors.pub.emit_message = detail::DecodeMessage;
  out.ok = detail::DecodeInto(d, stream, out);
  jpeg_destroy_decompress(&d);
  out.warnings = errors.warnings;
  out.error = errors.first;
  return out;
}

}  // namespace rzd::lowdrv::test
