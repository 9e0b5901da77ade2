// The pictures libapphal.so carries: the strip of two 36 x 36 pictures on white (BITMAP 201) and
// the 48 x 48 icon (GROUP_ICON 202). Both are also written as PNG files under
// build/<preset>/pictures/. Beside them, the string table's project name (STRING 100).
#include "apphal/model_ids.h"
#include "platform/modules.h"
#include "platform/resources.h"
#include "testsupport/pictures.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <cstring>

namespace rzd::apphal {
namespace {

const std::filesystem::path kModule = RZD_APPHAL_LIBRARY;

struct Rgba {
  uint8_t r, g, b, a;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};

struct Picture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<Rgba> pixels;  // top row first
  Rgba At(uint32_t x, uint32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

template <typename T>
T Read(std::span<const uint8_t> bytes, size_t offset) {
  T value{};
  if (offset + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

// A bottom-up uncompressed 24- or 32-bit DIB (header at `offset`, `height` rows of pixels).
std::optional<Picture> ReadDib(std::span<const uint8_t> bytes, size_t offset, size_t pixelsAt, int32_t height) {
  Picture picture;
  const auto width = Read<int32_t>(bytes, offset + 4);
  const auto bits = Read<uint16_t>(bytes, offset + 14);
  if (width <= 0 || height <= 0 || (bits != 24 && bits != 32) || Read<uint32_t>(bytes, offset + 16) != 0) {
    return std::nullopt;
  }
  const size_t stride = (static_cast<size_t>(width) * bits / 8 + 3) / 4 * 4;
  if (pixelsAt + stride * height > bytes.size()) return std::nullopt;
  picture.width = static_cast<uint32_t>(width);
  picture.height = static_cast<uint32_t>(height);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = bytes.data() + pixelsAt + stride * (height - 1 - y);
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t* p = row + x * bits / 8;
      picture.pixels.push_back(Rgba{p[2], p[1], p[0], bits == 32 ? p[3] : uint8_t{255}});
    }
  }
  return picture;
}

std::optional<Picture> ReadBmpFile(std::span<const uint8_t> bytes) {
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
  return ReadDib(bytes, 14, Read<uint32_t>(bytes, 10), Read<int32_t>(bytes, 22));
}

std::optional<Picture> ReadIconFile(std::span<const uint8_t> bytes) {
  if (Read<uint16_t>(bytes, 2) != 1 || Read<uint16_t>(bytes, 4) != 1) return std::nullopt;
  const auto imageAt = Read<uint32_t>(bytes, 6 + 12);
  const auto headerSize = Read<uint32_t>(bytes, imageAt);
  return ReadDib(bytes, imageAt, imageAt + headerSize, Read<int32_t>(bytes, imageAt + 8) / 2);
}

// Written on white where the picture is transparent.
void WritePicture(const Picture& picture, const std::string& name) {
  std::vector<gdi::Rgb> pixels;
  for (const Rgba& p : picture.pixels) pixels.push_back(p.a == 0 ? gdi::kWhite : gdi::Rgb{p.r, p.g, p.b});
  EXPECT_TRUE(rzd::test::WritePng(rzd::test::PicturesDir() / name, static_cast<int32_t>(picture.width),
                                  static_cast<int32_t>(picture.height), pixels));
}

class PicturesTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    module_ = Module::Load(kModule);
    ASSERT_TRUE(module_);
  }
  std::unique_ptr<Module> module_;
};

TEST_F(PicturesTest, TheStripHoldsTwoPicturesOnWhite) {
  std::optional<std::span<const uint8_t>> bytes = FindResource(kModule, kResourceTypeBitmap, kPictureStripResource);
  ASSERT_TRUE(bytes);
  std::optional<Picture> strip = ReadBmpFile(*bytes);
  ASSERT_TRUE(strip);
  EXPECT_EQ(strip->width, 72u);
  EXPECT_EQ(strip->height, 36u);
  const Rgba white{255, 255, 255, 255};
  for (uint32_t index = 0; index < 2; ++index) {
    const uint32_t left = index * 36;
    EXPECT_EQ(strip->At(left, 0), white);  // white is the mask colour around each picture
    EXPECT_EQ(strip->At(left + 35, 35), white);
    size_t drawn = 0;
    for (uint32_t y = 0; y < 36; ++y) {
      for (uint32_t x = left; x < left + 36; ++x) drawn += strip->At(x, y) == white ? 0 : 1;
    }
    EXPECT_GT(drawn, 300u) << index;
  }
  size_t differing = 0;  // two different pictures
  for (uint32_t y = 0; y < 36; ++y) {
    for (uint32_t x = 0; x < 36; ++x) differing += strip->At(x, y) == strip->At(x + 36, y) ? 0 : 1;
  }
  EXPECT_GT(differing, 20u);
  WritePicture(*strip, "apphal_picture_strip.png");
}

TEST_F(PicturesTest, TheIconIsFortyEightPixelsSquare) {
  std::optional<std::span<const uint8_t>> bytes = FindResource(kModule, kResourceTypeGroupIcon, kIconResource);
  ASSERT_TRUE(bytes);
  std::optional<Picture> icon = ReadIconFile(*bytes);
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->width, 48u);
  EXPECT_EQ(icon->height, 48u);
  EXPECT_EQ(icon->At(0, 0).a, 0);     // transparent around the scanner
  EXPECT_EQ(icon->At(24, 36).a, 255);  // the scanner's body
  WritePicture(*icon, "apphal_icon.png");
}

TEST_F(PicturesTest, TheStringTableHoldsTheProjectName) {
  const std::u16string projectName = u"ScannerZQ4HAL";
  std::optional<std::span<const uint8_t>> bytes = FindResource(kModule, kResourceTypeString, kProjectNameString);
  ASSERT_TRUE(bytes);
  // UTF-16LE after a byte-order mark, no terminator.
  std::vector<uint8_t> expected{0xFF, 0xFE};
  for (char16_t c : projectName) {
    expected.push_back(static_cast<uint8_t>(c));
    expected.push_back(static_cast<uint8_t>(c >> 8));
  }
  EXPECT_EQ(std::vector<uint8_t>(bytes->begin(), bytes->end()), expected);
  // As the module reads its own text resources.
  const void* inModule = reinterpret_cast<const void*>(module_->Bind<HRESULT (*)()>("DllCanUnloadNow"));
  EXPECT_EQ(FindUtf16TextResource(inModule, kResourceTypeString, kProjectNameString), projectName);
  EXPECT_EQ(ListResources(inModule, kResourceTypeString), std::vector<uint32_t>{100});
}

}  // namespace
}  // namespace rzd::apphal
