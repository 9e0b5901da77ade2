#include "jpeg_entropy.h"

#include "lowdrv/engine/jpeg_layout.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace rzd::engine {

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

extern "C" void OnJpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}
extern "C" void OnJpegMessage(j_common_ptr) {}

// Start of the entropy-coded segment (after the scan header) and its end (before EOI), or
// false when the stream does not have that shape.
bool FindEntropy(const unsigned char* data, size_t size, size_t& begin, size_t& end) {
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
  if (data[size - 2] != 0xFF || data[size - 1] != 0xD9) return false;
  size_t i = 2;
  while (i + 4 <= size) {
    if (data[i] != 0xFF) return false;
    const unsigned char marker = data[i + 1];
    const size_t length = (static_cast<size_t>(data[i + 2]) << 8) | data[i + 3];
    if (length < 2) return false;
    if (marker == 0xDA) {
      begin = i + 2 + length;
      end = size - 2;
      return begin <= end;
    }
    i += 2 + length;
  }
  return false;
}

bool IsRestartMarker(const unsigned char* p) { return p[0] == 0xFF && p[1] >= 0xD0 && p[1] <= 0xD7; }

// The unit's own Exif segment: the driver's block, its texts 2-byte aligned.
constexpr uint32_t kUnitExifTextAlign = 2;

std::vector<uint8_t> ExifSegment(const std::string& make, const std::string& model) {
  std::vector<uint8_t> b(lowdrv::jpeg::ExifBlockSize(make, model, kUnitExifTextAlign));
  lowdrv::jpeg::WriteExifBlock(b.data(), make, model, kUnitExifTextAlign);
  return b;
}

// The libjpeg part. Everything that must survive a longjmp is set up by the caller.
bool Compress(jpeg_compress_struct& cinfo, const JpegSideLayout& layout, const JpegRowSource& rows,
              std::vector<uint8_t>& line, unsigned char** out, unsigned long* outSize) {
  ErrorManager* errors = reinterpret_cast<ErrorManager*>(cinfo.err);
  if (setjmp(errors->jump) != 0) return false;
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, out, outSize);
  cinfo.image_width = layout.width;
  cinfo.image_height = layout.height;
  cinfo.input_components = layout.color ? 3 : 1;
  cinfo.in_color_space = layout.color ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  cinfo.optimize_coding = FALSE;
  cinfo.restart_interval = layout.restartInterval;
  cinfo.restart_in_rows = 0;
  cinfo.write_JFIF_header = layout.wholeStream ? TRUE : FALSE;
  unsigned int table[64];
  for (int i = 0; i < 64; ++i) table[i] = layout.luminance[i];
  jpeg_add_quant_table(&cinfo, 0, table, 100, TRUE);
  for (int i = 0; i < 64; ++i) table[i] = layout.chrominance[i];
  jpeg_add_quant_table(&cinfo, 1, table, 100, TRUE);
  if (layout.color) {
    const lowdrv::jpeg::SamplingLayout sampling = lowdrv::jpeg::LayoutOf(24, layout.sampling);
    cinfo.comp_info[0].h_samp_factor = sampling.h;
    cinfo.comp_info[0].v_samp_factor = sampling.v;
    for (int c = 1; c < 3; ++c) {
      cinfo.comp_info[c].h_samp_factor = 1;
      cinfo.comp_info[c].v_samp_factor = 1;
    }
  }
  jpeg_start_compress(&cinfo, TRUE);
  if (layout.wholeStream) {
    const std::vector<uint8_t> exif = ExifSegment(layout.exifMake, layout.exifModel);
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), static_cast<unsigned int>(exif.size()));
  }
  while (cinfo.next_scanline < cinfo.image_height) {
    rows(cinfo.next_scanline, line.data());
    JSAMPROW row = line.data();
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  return true;
}

}  // namespace

std::optional<JpegSideData> EncodeJpegSide(const JpegSideLayout& layout, const JpegRowSource& rows) {
  if (layout.width == 0 || layout.height == 0) return std::nullopt;
  std::vector<uint8_t> line(static_cast<size_t>(layout.width) * (layout.color ? 3 : 1));
  jpeg_compress_struct cinfo{};
  ErrorManager errors{};
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = OnJpegError;
  errors.pub.output_message = OnJpegMessage;
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  const bool ok = Compress(cinfo, layout, rows, line, &out, &outSize);
  jpeg_destroy_compress(&cinfo);
  std::optional<JpegSideData> result;
  size_t begin = 0, end = 0;
  if (ok && out != nullptr && FindEntropy(out, outSize, begin, end)) {
    JpegSideData side;
    if (layout.wholeStream) {
      side.bytes.assign(out, out + outSize);
      for (size_t i = begin; i + 1 < end; ++i) {
        if (IsRestartMarker(out + i)) side.pieceEnds.push_back(i + 2);
      }
    } else {
      // Entropy data alone: restart markers out, their places kept.
      side.bytes.reserve(end - begin);
      for (size_t i = begin; i < end; ++i) {
        if (i + 1 < end && IsRestartMarker(out + i)) {
          side.pieceEnds.push_back(side.bytes.size());
          ++i;
          continue;
        }
        side.bytes.push_back(out[i]);
      }
    }
    result = std::move(side);
  }
  std::free(out);
  return result;
}

}  // namespace rzd::engine
