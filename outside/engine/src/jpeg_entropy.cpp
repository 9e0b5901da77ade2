#include "jpeg_entropy.h"

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

// The unit's own Exif segment: a big-endian TIFF header and one IFD with Make and Model.
std::vector<uint8_t> ExifSegment(const std::string& make, const std::string& model) {
  std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 0x2A, 0, 0, 0, 8, 0, 2};
  auto put32 = [&b](uint32_t v) {
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  const std::string texts[2] = {make, model};
  uint32_t at = 8 + 2 + 2 * 12 + 4;  // values after the IFD, offsets from the TIFF header
  for (int i = 0; i < 2; ++i) {
    const uint32_t count = static_cast<uint32_t>(texts[i].size()) + 1;
    b.insert(b.end(), {0x01, static_cast<uint8_t>(0x0F + i), 0, 2});
    put32(count);
    if (count <= 4) {
      std::string inline4 = texts[i];
      inline4.resize(4, '\0');
      b.insert(b.end(), inline4.begin(), inline4.end());
    } else {
      put32(at);
      at += (count + 1) / 2 * 2;
    }
  }
  put32(0);
  for (const std::string& text : texts) {
    if (text.size() + 1 <= 4) continue;
    b.insert(b.end(), text.begin(), text.end());
    b.push_back(0);
    if ((text.size() + 1) % 2) b.push_back(0);
  }
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
    const int h = layout.sampling == 3 ? 1 : 2;
    const int v = layout.sampling == 1 ? 2 : 1;
    cinfo.comp_info[0].h_samp_factor = h;
    cinfo.comp_info[0].v_samp_factor = v;
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

uint32_t RestartIntervalFor(uint32_t width, bool color, uint8_t sampling, uint32_t lines) {
  const uint32_t h = color && sampling != 3 ? 2 : 1;
  const uint32_t v = color && sampling == 1 ? 2 : 1;
  return (width + 8 * h - 1) / (8 * h) * (lines / (8 * v));
}

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
