// The simulated unit's LCD folder as tests read it (each screen it received, as a PNG file named
// after its slot) and the screens written under the pictures folder for a person to look at.
#pragma once

#include "platform/gdi.h"
#include "testsupport/pictures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace rzd::scanhost::test {

// The nine slots' pictures.
inline const std::set<std::string> kNineSlots = {"F1N33.png", "F2N33.png", "F3N33.png", "F4N33.png", "F5N33.png",
                                                 "F6N33.png", "F7N33.png", "F8N33.png", "F9N33.png"};

// The pictures in the unit's LCD folder, by name, and their bytes (the unit renames each one into
// place whole, so a picture read is never half written).
inline std::map<std::string, std::vector<char>> LcdPictures(const std::filesystem::path& lcdDir) {
  std::map<std::string, std::vector<char>> pictures;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(lcdDir, ec)) {
    if (entry.path().extension() != ".png") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    pictures[entry.path().filename().string()] = std::vector<char>(std::istreambuf_iterator<char>(in), {});
  }
  return pictures;
}

inline std::set<std::string> PictureNames(const std::map<std::string, std::vector<char>>& pictures) {
  std::set<std::string> names;
  for (const auto& [name, bytes] : pictures) names.insert(name);
  return names;
}

// The unit's nine screens as a person looks at them: each one as it is (<prefix>F1N33.png ...),
// and all on one sheet (<prefix>sheet.png), three in a row, enlarged.
inline void WriteLcdPictures(const std::filesystem::path& lcdDir, const std::string& prefix) {
  constexpr int32_t kScale = 3, kGap = 8;
  const std::shared_ptr<gdi::Bitmap> sheet = gdi::CreateDibSection(3 * 128 * kScale + 4 * kGap, 3 * 92 * kScale + 4 * kGap, 24);
  sheet->Fill(gdi::Rgb{70, 78, 88});
  for (int slot = 1; slot <= 9; ++slot) {
    const std::string name = "F" + std::to_string(slot) + "N33.png";
    const std::shared_ptr<gdi::Bitmap> screen = gdi::ReadPngFile(lcdDir / name);
    ASSERT_TRUE(screen) << name;
    ASSERT_TRUE(gdi::WritePngFile(rzd::test::PicturesDir() / (prefix + name), *screen));
    const int32_t left = kGap + ((slot - 1) % 3) * (128 * kScale + kGap);
    const int32_t top = kGap + ((slot - 1) / 3) * (92 * kScale + kGap);
    for (int32_t y = 0; y < 92 * kScale; ++y)
      for (int32_t x = 0; x < 128 * kScale; ++x) sheet->SetPixel(left + x, top + y, screen->GetPixel(x / kScale, y / kScale));
  }
  ASSERT_TRUE(gdi::WritePngFile(rzd::test::PicturesDir() / (prefix + "sheet.png"), *sheet));
}

}  // namespace rzd::scanhost::test
