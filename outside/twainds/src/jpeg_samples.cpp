// Reading back a JPEG stream the source delivered.
#include "twainds/script.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace rzd::twainds {

namespace {

struct Errors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<Errors*>(cinfo->err)->jump, 1); }

// No object with a destructor lives between setjmp and the calls that may jump back.
bool Decode(jpeg_decompress_struct* cinfo, Errors* errors, std::vector<uint8_t>* samples, uint32_t* width,
            uint32_t* height, int* components) {
  if (setjmp(errors->jump) != 0) return false;
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return false;
  jpeg_start_decompress(cinfo);
  *width = cinfo->output_width;
  *height = cinfo->output_height;
  *components = cinfo->output_components;
  samples->resize(static_cast<size_t>(*width) * *height * static_cast<size_t>(*components));
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW row = samples->data() + static_cast<size_t>(cinfo->output_scanline) * *width * *components;
    jpeg_read_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

}  // namespace

std::vector<uint8_t> DecodeJpeg(const std::vector<uint8_t>& stream, uint32_t* width, uint32_t* height,
                                int* components) {
  jpeg_decompress_struct cinfo{};
  Errors errors{};
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = OnError;
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, stream.data(), static_cast<unsigned long>(stream.size()));
  std::vector<uint8_t> samples;
  if (!Decode(&cinfo, &errors, &samples, width, height, components)) samples.clear();
  jpeg_destroy_decompress(&cinfo);
  return samples;
}

}  // namespace rzd::twainds
