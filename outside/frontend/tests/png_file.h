// Reads a PNG file the tests check: its size, depth and rows as stored.
#pragma once

#include <png.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace rzd::test {

struct PngFile {
  uint32_t width = 0;
  uint32_t height = 0;
  int bitDepth = 0;
  int colourType = 0;
  std::vector<std::vector<uint8_t>> rows;
};

// An empty PngFile when the file cannot be read.
inline PngFile ReadPng(const std::filesystem::path& file) {
  PngFile decoded;
  std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(file.c_str(), "rb"), &std::fclose);
  if (!in) return decoded;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return PngFile();
  }
  png_init_io(png, in.get());
  png_read_info(png, info);
  decoded.width = png_get_image_width(png, info);
  decoded.height = png_get_image_height(png, info);
  decoded.bitDepth = png_get_bit_depth(png, info);
  decoded.colourType = png_get_color_type(png, info);
  decoded.rows.assign(decoded.height, std::vector<uint8_t>(png_get_rowbytes(png, info)));
  for (auto& row : decoded.rows) png_read_row(png, row.data(), nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return decoded;
}

}  // namespace rzd::test
