// Image data of the scripted data source.
#include "ds_pages.h"

#include "engine/page_pattern.h"
#include "twainds/script.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <csetjmp>
#include <cstdlib>

#include <jpeglib.h>

namespace rzd::twainds {

namespace {

struct JpegErrors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

// libjpeg reports fatal errors here; it must not return.
[[noreturn]] void OnJpegError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1); }

// Runs the compression; no object with a destructor lives between setjmp and the calls that may
// jump back. `row` holds one line of samples.
bool Compress(jpeg_compress_struct* cinfo, JpegErrors* errors, const ImageGeometry& geometry, uint32_t sheet,
              uint32_t side, uint8_t* row, size_t rowBytes) {
  if (setjmp(errors->jump) != 0) return false;
  const bool colour = geometry.pixelType == TWPT_RGB;
  cinfo->image_width = geometry.width;
  cinfo->image_height = geometry.lines;
  cinfo->input_components = colour ? 3 : 1;
  cinfo->in_color_space = colour ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, std::clamp(geometry.jpegQuality, 1, 100), TRUE);
  cinfo->density_unit = 1;
  cinfo->X_density = static_cast<UINT16>(geometry.xResolution);
  cinfo->Y_density = static_cast<UINT16>(geometry.yResolution);
  jpeg_start_compress(cinfo, TRUE);
  for (uint32_t line = 0; line < geometry.lines; ++line) {
    engine::FillPattern(sheet, side, line, 0, row, rowBytes);
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(cinfo, rows, 1);
  }
  jpeg_finish_compress(cinfo);
  return true;
}

}  // namespace

std::vector<uint8_t> EncodeSideJpeg(const ImageGeometry& geometry, uint32_t sheet, uint32_t side) {
  const size_t components = geometry.pixelType == TWPT_RGB ? 3 : 1;
  std::vector<uint8_t> row(static_cast<size_t>(geometry.width) * components);
  jpeg_compress_struct cinfo{};
  JpegErrors errors{};
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = OnJpegError;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &size);
  const bool done = Compress(&cinfo, &errors, geometry, sheet, side, row.data(), row.size());
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> stream;
  if (done && buffer != nullptr) stream.assign(buffer, buffer + size);
  std::free(buffer);
  return stream;
}

bool Image::Start(const ImageGeometry& geometry, uint32_t sheet, uint32_t side) {
  geometry_ = geometry;
  sheet_ = sheet;
  side_ = side;
  nextRow_ = 0;
  jpeg_.clear();
  jpegOffset_ = 0;
  if (geometry.compression != TWCP_JPEG) return true;
  const bool encodable = (geometry.pixelType == TWPT_GRAY && geometry.bitsPerPixel == 8) ||
                         (geometry.pixelType == TWPT_RGB && geometry.bitsPerPixel == 24);
  if (!encodable) return false;
  jpeg_ = EncodeSideJpeg(geometry, sheet, side);
  return !jpeg_.empty();
}

bool Image::Done() const {
  return geometry_.compression == TWCP_JPEG ? jpegOffset_ >= jpeg_.size() : nextRow_ >= geometry_.lines;
}

bool Image::Deliver(uint8_t* memory, uint32_t length, uint32_t* rows, uint32_t* bytes, uint32_t* firstRow) {
  *firstRow = nextRow_;
  if (geometry_.compression == TWCP_JPEG) {
    const size_t count = std::min<size_t>(length, JpegBytesLeft());
    if (count == 0) return false;
    std::memcpy(memory, jpeg_.data() + jpegOffset_, count);
    jpegOffset_ += count;
    *rows = 0;
    *bytes = static_cast<uint32_t>(count);
    return true;
  }
  const uint32_t rowBytes = geometry_.BytesPerRow();
  const uint32_t fit = rowBytes == 0 ? 0 : length / rowBytes;
  const uint32_t count = std::min(fit, geometry_.lines - nextRow_);
  if (count == 0) return false;
  for (uint32_t i = 0; i < count; ++i) {
    FillSourceLine(sheet_, side_, nextRow_ + i, memory + static_cast<size_t>(i) * rowBytes, rowBytes, geometry_.width,
                   geometry_.bitsPerPixel);
  }
  nextRow_ += count;
  *rows = count;
  *bytes = count * rowBytes;
  return true;
}

}  // namespace rzd::twainds
