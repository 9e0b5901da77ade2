#include "testsupport/pictures.h"

#include "testsupport/temp_root.h"

#include <algorithm>

namespace rzd::test {

std::filesystem::path PicturesDir() {
  const std::filesystem::path dir = BinaryDir().parent_path() / "pictures";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return dir;
}

bool WritePng(const std::filesystem::path& file, int32_t width, int32_t height, const std::vector<gdi::Rgb>& pixels) {
  return gdi::WritePngFile(file, width, height, pixels);
}

std::filesystem::path WritePicture(const std::string& name, const gdi::Bitmap& bitmap, int32_t scale) {
  const std::filesystem::path file = PicturesDir() / (name + ".png");
  return gdi::WritePngFile(file, bitmap, std::max(scale, 1)) ? file : std::filesystem::path();
}

}  // namespace rzd::test
