// Pictures saved as PNG files (8-bit RGB) and read back, as the image codecs of the drawing layer do.
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

std::shared_ptr<Bitmap> ReadPngFile(const std::filesystem::path& file) {
  std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(file.c_str(), "rb"), &std::fclose);
  if (!in) return nullptr;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return nullptr;
  }
  std::shared_ptr<Bitmap> bitmap;
  std::vector<png_byte> row;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return nullptr;
  }
  png_init_io(png, in.get());
  png_set_user_limits(png, kMaxBitmapSide, kMaxBitmapSide);
  png_read_info(png, info);
  // Every form becomes 8-bit RGB; an alpha channel is laid over white.
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_color_16 white{0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  png_set_background(png, &white, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const int32_t width = static_cast<int32_t>(png_get_image_width(png, info));
  const int32_t height = static_cast<int32_t>(png_get_image_height(png, info));
  BitmapInfo bitmapInfo;
  bitmapInfo.width = width;
  bitmapInfo.height = height;
  bitmapInfo.bitsPerPixel = 24;
  bitmap = Bitmap::Create(bitmapInfo);
  if (!bitmap || png_get_rowbytes(png, info) != static_cast<size_t>(width) * 3) {
    png_destroy_read_struct(&png, &info, nullptr);
    return nullptr;
  }
  std::vector<png_byte> image(static_cast<size_t>(width) * 3 * static_cast<size_t>(height));
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) rows[static_cast<size_t>(y)] = image.data() + static_cast<size_t>(y) * width * 3;
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const png_byte* p = rows[static_cast<size_t>(y)] + 3 * x;
      bitmap->SetPixel(x, y, Rgb{p[0], p[1], p[2]});
    }
  }
  return bitmap;
}

}  // namespace rzd::gdi
