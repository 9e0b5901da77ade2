// Image lists as streams (the form desktop applications keep them in their caches), and drawing
// one image of a list.
#include "platform/picture.h"

#include <algorithm>
#include <cstring>

namespace rzd {

namespace {

constexpr uint16_t kMagic = 0x4C49;  // "IL"
constexpr uint16_t kVersion = 0x101;
constexpr size_t kHeadSize = 28;
constexpr uint16_t kFlagMask = 0x0001;
constexpr uint16_t kFlagColour24 = 0x0018;
constexpr uint16_t kColourDepthBits = 0x00FE;
constexpr uint16_t kFlagColour32 = 0x0020;
constexpr int32_t kImagesInARow = 4;

template <typename T>
bool Get(std::span<const uint8_t> bytes, size_t offset, T* value) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return false;
  std::memcpy(value, bytes.data() + offset, sizeof(T));
  return true;
}
template <typename T>
void Put(std::vector<uint8_t>& bytes, size_t offset, T value) {
  std::memcpy(bytes.data() + offset, &value, sizeof(T));
}

// The size of the bitmap that holds `count` images of a list.
gdi::Size GridSize(int32_t width, int32_t height, int32_t count) {
  const int32_t rows = std::max(1, (count + kImagesInARow - 1) / kImagesInARow);
  return gdi::Size{width * kImagesInARow, height * rows};
}

// A bitmap file of `bits` (24, or 1 with the palette black, white) bits per pixel, bottom-up.
std::vector<uint8_t> BitmapFile(const gdi::Size& size, uint16_t bits, const std::vector<bool>& white,
                                const std::vector<gdi::Rgb>& colours) {
  const size_t stride = (static_cast<size_t>(size.cx) * bits + 31) / 32 * 4;
  const size_t paletteBytes = bits == 1 ? 8 : 0;
  const size_t pixelsAt = 54 + paletteBytes;
  std::vector<uint8_t> file(pixelsAt + stride * static_cast<size_t>(size.cy), 0);
  file[0] = 'B';
  file[1] = 'M';
  Put<uint32_t>(file, 2, static_cast<uint32_t>(file.size()));
  Put<uint32_t>(file, 10, static_cast<uint32_t>(pixelsAt));
  Put<uint32_t>(file, 14, 40);
  Put<int32_t>(file, 18, size.cx);
  Put<int32_t>(file, 22, size.cy);
  Put<uint16_t>(file, 26, 1);
  Put<uint16_t>(file, 28, bits);
  Put<uint32_t>(file, 34, static_cast<uint32_t>(stride * static_cast<size_t>(size.cy)));
  if (bits == 1) std::memset(file.data() + 58, 0xFF, 3);  // entry 1: white
  for (int32_t y = 0; y < size.cy; ++y) {
    uint8_t* row = file.data() + pixelsAt + static_cast<size_t>(size.cy - 1 - y) * stride;
    for (int32_t x = 0; x < size.cx; ++x) {
      const size_t at = static_cast<size_t>(y) * size.cx + x;
      if (bits == 1) {
        if (white[at]) row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
      } else {
        row[3 * x] = colours[at].b;
        row[3 * x + 1] = colours[at].g;
        row[3 * x + 2] = colours[at].r;
      }
    }
  }
  return file;
}

}  // namespace

std::optional<ImageList> ImageList::Read(std::span<const uint8_t> stream, size_t* used) {
  uint16_t magic = 0, version = 0, count = 0, room = 0, grow = 0, width = 0, height = 0, flags = 0;
  if (!Get(stream, 0, &magic) || !Get(stream, 2, &version) || !Get(stream, 4, &count) || !Get(stream, 6, &room) ||
      !Get(stream, 8, &grow) || !Get(stream, 10, &width) || !Get(stream, 12, &height) || !Get(stream, 18, &flags) ||
      stream.size() < kHeadSize) {
    return std::nullopt;
  }
  if (magic != kMagic || version != kVersion || width < 1 || height < 1 || width > kMaxIconSide ||
      height > kMaxIconSide || count > kMaxImageListImages) {
    return std::nullopt;
  }
  size_t at = kHeadSize;
  BitmapFileFacts imageFacts;
  const std::shared_ptr<gdi::Bitmap> images = ReadBitmapFile(stream.subspan(at), &imageFacts);
  if (!images) return std::nullopt;
  at += imageFacts.size;
  std::shared_ptr<gdi::Bitmap> mask;
  if (flags & kFlagMask) {
    BitmapFileFacts maskFacts;
    mask = ReadBitmapFile(stream.subspan(at), &maskFacts);
    if (!mask) return std::nullopt;
    at += maskFacts.size;
  }
  // Every image's place lies in both bitmaps.
  const int32_t columns = std::min<int32_t>(std::max<int32_t>(count, 1), kImagesInARow);
  const int32_t rows = (count + kImagesInARow - 1) / kImagesInARow;
  for (const std::shared_ptr<gdi::Bitmap>& bitmap : {images, mask}) {
    if (count > 0 && bitmap && (bitmap->Width() / width < columns || bitmap->Height() / height < rows)) return std::nullopt;
  }
  const bool useAlpha = (flags & kColourDepthBits) == kFlagColour32 && imageFacts.bitsPerPixel == 32 &&
                        std::any_of(imageFacts.alpha.begin(), imageFacts.alpha.end(), [](uint8_t a) { return a != 0; });

  ImageList list(width, height, count, grow);
  for (int32_t i = 0; i < count; ++i) {
    const int32_t left = (i % kImagesInARow) * width, top = (i / kImagesInARow) * height;
    std::shared_ptr<Icon> icon = Icon::Create(width, height);
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        const gdi::Rgb c = images->GetPixel(left + x, top + y);
        uint8_t alpha = 255;
        if (useAlpha) {
          alpha = imageFacts.alpha[static_cast<size_t>(top + y) * images->Width() + left + x];
        } else if (mask && mask->GetPixel(left + x, top + y) == gdi::kWhite) {
          alpha = 0;
        }
        icon->Set(x, y, Icon::Pixel{c.b, c.g, c.r, alpha});
      }
    }
    list.images_.push_back(std::move(icon));
  }
  if (used) *used = at;
  return list;
}

std::vector<uint8_t> ImageList::Write() const {
  const int32_t count = Count();
  std::vector<uint8_t> stream(kHeadSize, 0);
  Put<uint16_t>(stream, 0, kMagic);
  Put<uint16_t>(stream, 2, kVersion);
  Put<uint16_t>(stream, 4, static_cast<uint16_t>(count));
  Put<uint16_t>(stream, 6, static_cast<uint16_t>(count));
  Put<uint16_t>(stream, 8, 4);
  Put<uint16_t>(stream, 10, static_cast<uint16_t>(width_));
  Put<uint16_t>(stream, 12, static_cast<uint16_t>(height_));
  Put<uint32_t>(stream, 14, 0xFFFFFFFF);  // no background colour: drawn transparently
  Put<uint16_t>(stream, 18, static_cast<uint16_t>(kFlagMask | kFlagColour24));
  for (size_t overlay = 0; overlay < 4; ++overlay) Put<int16_t>(stream, 20 + 2 * overlay, -1);
  const gdi::Size size = GridSize(width_, height_, count);
  std::vector<gdi::Rgb> colours(static_cast<size_t>(size.cx) * size.cy, gdi::kBlack);
  std::vector<bool> transparent(colours.size(), true);
  for (int32_t i = 0; i < count; ++i) {
    const int32_t left = (i % kImagesInARow) * width_, top = (i / kImagesInARow) * height_;
    for (int32_t y = 0; y < height_; ++y) {
      for (int32_t x = 0; x < width_; ++x) {
        const Icon::Pixel p = images_[static_cast<size_t>(i)]->At(x, y);
        const size_t at = static_cast<size_t>(top + y) * size.cx + left + x;
        colours[at] = gdi::Rgb{p.r, p.g, p.b};
        transparent[at] = p.a < 128;
      }
    }
  }
  const std::vector<uint8_t> image = BitmapFile(size, 24, transparent, colours);
  const std::vector<uint8_t> mask = BitmapFile(size, 1, transparent, colours);
  stream.insert(stream.end(), image.begin(), image.end());
  stream.insert(stream.end(), mask.begin(), mask.end());
  return stream;
}

bool ImageList::Draw(int32_t index, gdi::Bitmap& target, int32_t x, int32_t y) const {
  const std::shared_ptr<Icon> icon = GetIcon(index);
  if (!icon) return false;
  for (int32_t v = 0; v < icon->Height(); ++v) {
    for (int32_t u = 0; u < icon->Width(); ++u) {
      const int64_t tx = int64_t{x} + u, ty = int64_t{y} + v;
      if (tx < 0 || ty < 0 || tx >= target.Width() || ty >= target.Height()) continue;
      const Icon::Pixel p = icon->At(u, v);
      if (p.a == 0) continue;
      const gdi::Rgb under = target.GetPixel(static_cast<int32_t>(tx), static_cast<int32_t>(ty));
      const auto blend = [&](uint8_t over, uint8_t back) {
        return static_cast<uint8_t>((over * p.a + back * (255 - p.a) + 127) / 255);
      };
      target.SetPixel(static_cast<int32_t>(tx), static_cast<int32_t>(ty),
                      gdi::Rgb{blend(p.r, under.r), blend(p.g, under.g), blend(p.b, under.b)});
    }
  }
  return true;
}

}  // namespace rzd
