// Pictures saved as PNG files (8-bit RGB) and read back, as the image codecs of the drawing layer
// do (libpng's simplified interface: no jumps past our objects on an error).
#include "platform/gdi.h"

#include <png.h>

#include <vector>

namespace rzd::gdi {

bool WritePngFile(const std::filesystem::path& file, int32_t width, int32_t height, std::span<const Rgb> pixels) {
  if (width < 1 || height < 1 || width > kMaxBitmapSide || height > kMaxBitmapSide ||
      pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
    return false;
  }
  std::vector<png_byte> bytes(pixels.size() * 3);
  for (size_t i = 0; i < pixels.size(); ++i) {
    bytes[3 * i] = pixels[i].r;
    bytes[3 * i + 1] = pixels[i].g;
    bytes[3 * i + 2] = pixels[i].b;
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  const bool written = png_image_write_to_file(&image, file.c_str(), 0, bytes.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return written;
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
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) return nullptr;
  if (image.width < 1 || image.height < 1 || image.width > static_cast<png_uint_32>(kMaxBitmapSide) ||
      image.height > static_cast<png_uint_32>(kMaxBitmapSide)) {
    png_image_free(&image);
    return nullptr;
  }
  // Every form becomes 8-bit RGB; an alpha channel is laid over white.
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> bytes(PNG_IMAGE_SIZE(image));
  const png_color white{255, 255, 255};
  if (!png_image_finish_read(&image, &white, bytes.data(), 0, nullptr)) {
    png_image_free(&image);
    return nullptr;
  }
  BitmapInfo info;
  info.width = static_cast<int32_t>(image.width);
  info.height = static_cast<int32_t>(image.height);
  info.bitsPerPixel = 24;
  std::shared_ptr<Bitmap> bitmap = Bitmap::Create(info);
  for (int32_t y = 0; y < info.height; ++y) {
    for (int32_t x = 0; x < info.width; ++x) {
      const png_byte* p = bytes.data() + (static_cast<size_t>(y) * info.width + x) * 3;
      bitmap->SetPixel(x, y, Rgb{p[0], p[1], p[2]});
    }
  }
  return bitmap;
}

}  // namespace rzd::gdi
