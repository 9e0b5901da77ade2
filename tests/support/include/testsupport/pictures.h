// Pictures for a person to look at (pages, screens, imprinted lines): PNG files written by the
// tests that make them, under the build folder's pictures/ (build/<preset>/pictures/).
#pragma once

#include "platform/gdi.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace rzd::test {

// The pictures folder, made when missing.
std::filesystem::path PicturesDir();

// Writes `width` x `height` colours (rows top first) as an RGB PNG file; false on failure.
bool WritePng(const std::filesystem::path& file, int32_t width, int32_t height, const std::vector<gdi::Rgb>& pixels);

// Writes a bitmap as <pictures>/<name>.png, each pixel as a `scale` x `scale` block; the file,
// or an empty path on failure.
std::filesystem::path WritePicture(const std::string& name, const gdi::Bitmap& bitmap, int32_t scale = 1);

}  // namespace rzd::test
