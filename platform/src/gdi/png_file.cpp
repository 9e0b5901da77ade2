// Pictures saved as PNG files (8-bit RGB), the way an image encoder of the drawing layer saves them.
#include "platform/gdi.h"

#include <png.h>

#include <cstdio>
#include <memory>

namespace rzd::gdi {

bool WritePngFile(const std::filesystem::path& file, int32_t width, int32_t height, std::span<const Rgb> pixels) {
  if (width < 1 || height < 1 || pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) return false;
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(file.c_str(), "wb"), &std::fclose);
  if (!out) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  std::vector<png_byte> row(static_cast<size_t>(width) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, out.get());
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const Rgb& c = pixels[static_cast<size_t>(y) * width + x];
      row[3 * x] = c.r;
      row[3 * x + 1] = c.g;
      row[3 * x + 2] = c.b;
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fflush(out.get()) == 0;
}

bool WritePngFile(const std::filesystem::path& file, const Bitmap& bitmap, int32_t scale) {
  if (scale < 1 || scale > 64) return false;
  const int32_t width = bitmap.Width() * scale, height = bitmap.Height() * scale;
  std::vector<Rgb> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) pixels[static_cast<size_t>(y) * width + x] = bitmap.GetPixel(x / scale, y / scale);
  }
  return WritePngFile(file, width, height, pixels);
}

}  // namespace rzd::gdi
