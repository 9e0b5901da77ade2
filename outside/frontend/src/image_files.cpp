#include "image_files.h"

#include "foundation/xml_store.h"
#include "platform/text.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

namespace rzd::frontend {

namespace {

bool WriteBytes(const std::filesystem::path& file, const void* data, size_t size, std::string* error) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) {
    *error = "cannot write " + file.string() + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

// libpng reports failures through a long jump: no object with a destructor may live between the
// setjmp and the calls that can fail, so the rows are prepared by the caller.
bool EncodePng(FILE* out, uint32_t width, uint32_t height, int bitDepth, int colourType,
               const std::vector<png_bytep>& rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, out);
  png_set_IHDR(png, info, width, height, bitDepth, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (png_bytep row : rows) png_write_row(png, row);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool WritePng(const std::filesystem::path& file, const SideImage& side, ImageSize* size, std::string* error) {
  const auto& p = side.properties;
  const LONG bytesPerLine = p[kRasterBytesPerLine];
  const LONG bits = p[kRasterBitsPerPixel];
  if (bytesPerLine <= 0 || (bits != 1 && bits != 8 && bits != 24)) {
    *error = "the unit delivered raw data of an unknown format (" + std::to_string(bits) + " bits per pixel, " +
             std::to_string(bytesPerLine) + " bytes per line)";
    return false;
  }
  const size_t line = static_cast<size_t>(bytesPerLine);
  uint64_t width = p[kRasterWidth] > 0 ? static_cast<uint64_t>(p[kRasterWidth]) : 0;
  if (width == 0 || (width * static_cast<uint64_t>(bits) + 7) / 8 > line) width = line * 8 / static_cast<uint64_t>(bits);
  const size_t rowBytes = static_cast<size_t>((width * static_cast<uint64_t>(bits) + 7) / 8);
  const size_t height = side.bytes.size() / line;
  if (width == 0 || height == 0) {
    *error = "the unit delivered no whole line";
    return false;
  }
  // Rows the way PNG wants them: RGB order and black as zero.
  std::vector<uint8_t> pixels(rowBytes * height);
  const bool bgr = bits == 24 && p[kRasterPixels] == 1;
  const bool whiteIsZero = p[kRasterPixelGender] == 1;
  for (size_t y = 0; y < height; ++y) {
    const uint8_t* from = side.bytes.data() + y * line;
    uint8_t* to = pixels.data() + y * rowBytes;
    std::memcpy(to, from, rowBytes);
    if (bgr) {
      for (size_t x = 0; x + 2 < rowBytes; x += 3) std::swap(to[x], to[x + 2]);
    }
    if (whiteIsZero) {
      for (size_t x = 0; x < rowBytes; ++x) to[x] = static_cast<uint8_t>(~to[x]);
    }
  }
  std::vector<png_bytep> rows(height);
  for (size_t y = 0; y < height; ++y) rows[y] = pixels.data() + y * rowBytes;
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(file.c_str(), "wb"), &std::fclose);
  if (!out) {
    *error = "cannot write " + file.string() + ": " + std::strerror(errno);
    return false;
  }
  const bool encoded = EncodePng(out.get(), static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                                 bits == 1 ? 1 : 8, bits == 24 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, rows);
  if (!encoded || std::fclose(out.release()) != 0) {
    *error = "cannot write " + file.string();
    return false;
  }
  size->width = static_cast<uint32_t>(width);
  size->height = static_cast<uint32_t>(height);
  return true;
}

const char16_t* SideName(int side) { return side == 0 ? u"Front" : u"Back"; }

// A page document made from the description alone.
std::u16string DescribedResult(const SideImage& image, int side) {
  const auto& p = image.properties;
  return FormatW(u"<Result><Address><Page>%d</Page><Side>%s</Side></Address><Format><Compression>%s</Compression>"
                 u"<BytesPerLine>%d</BytesPerLine><BitsPerPixel>%d</BitsPerPixel></Format><ImageDimensions>"
                 u"<Width>%d</Width><Length>%d</Length></ImageDimensions><Resolutions><X>%d</X><Y>%d</Y>"
                 u"</Resolutions><ImageSize>%u</ImageSize></Result>",
                 p[kRasterPage], SideName(side), image.Jpeg() ? u"JPG" : u"None", p[kRasterBytesPerLine],
                 p[kRasterBitsPerPixel], p[kRasterWidth], p[kRasterLength], p[kRasterXResolution],
                 p[kRasterYResolution], static_cast<uint32_t>(image.bytes.size()));
}

}  // namespace

std::string SideFileStem(uint32_t page, int side) { return FormatA("page-%03u-%s", page, side == 0 ? "front" : "back"); }

bool WriteSideImage(const std::filesystem::path& file, const SideImage& side, ImageSize* size, std::string* error) {
  if (!side.Jpeg()) return WritePng(file, side, size, error);
  if (!WriteBytes(file, side.bytes.data(), side.bytes.size(), error)) return false;
  size->width = static_cast<uint32_t>(std::max<LONG>(side.properties[kRasterWidth], 0));
  size->height = static_cast<uint32_t>(std::max<LONG>(side.properties[kRasterLength], 0));
  return true;
}

bool WriteSideMetadata(const std::filesystem::path& file, const std::u16string& operation, int side,
                       const SideImage& image, std::string* error) {
  std::u16string result;
  MSXML6StoreSTL store;
  if (!operation.empty() && store.LoadFromString(operation)) {
    const std::u16string own = FormatW(u"/Operation/Result[Address/Side='%s'][last()]", SideName(side));
    if (store.SelectNode(own) || store.SelectNode(u"/Operation/Result[Address/Side='Both'][last()]")) {
      store.GetNodeXML(result);
    }
  }
  if (result.empty()) result = DescribedResult(image, side);
  const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + ToUtf8(result) + "\n";
  return WriteBytes(file, text.data(), text.size(), error);
}

}  // namespace rzd::frontend
