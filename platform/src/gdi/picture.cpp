// Icons, bitmap and icon files, image lists and icon pictures.
#include "platform/com_object.h"
#include "platform/picture.h"
#include "platform/resources.h"

#include <algorithm>
#include <cstring>

namespace rzd {

namespace {

template <typename T>
bool Read(std::span<const uint8_t> bytes, size_t offset, T* value) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return false;
  std::memcpy(value, bytes.data() + offset, sizeof(T));
  return true;
}

// The fields of an information header this code reads.
struct DibHeader {
  uint32_t size = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t compression = 0;
};

bool ReadDibHeader(std::span<const uint8_t> bytes, size_t at, DibHeader* header) {
  return Read(bytes, at, &header->size) && header->size >= 40 && Read(bytes, at + 4, &header->width) &&
         Read(bytes, at + 8, &header->height) && Read(bytes, at + 12, &header->planes) &&
         Read(bytes, at + 14, &header->bitCount) && Read(bytes, at + 16, &header->compression);
}

size_t RowBytes(int64_t width, uint32_t bitCount) { return static_cast<size_t>((width * bitCount + 31) / 32 * 4); }

// True when rows of `stride` bytes, `rows` of them, lie within the bytes from `at`.
bool Fits(std::span<const uint8_t> bytes, size_t at, size_t stride, size_t rows) {
  return at <= bytes.size() && stride != 0 && (bytes.size() - at) / stride >= rows;
}

class IconPicture final : public ComObject<IPicture> {
 public:
  explicit IconPicture(std::shared_ptr<Icon> icon) : icon_(std::move(icon)) {}

  HRESULT get_Handle(OLE_HANDLE* handle) override {
    if (handle == nullptr) return E_POINTER;
    *handle = reinterpret_cast<OLE_HANDLE>(icon_.get());
    return S_OK;
  }
  HRESULT get_Type(int16_t* type) override {
    if (type == nullptr) return E_POINTER;
    *type = PICTYPE_ICON;
    return S_OK;
  }
  HRESULT get_Width(OLE_XSIZE_HIMETRIC* width) override {
    if (width == nullptr) return E_POINTER;
    *width = icon_->Width() * 2540 / 96;
    return S_OK;
  }
  HRESULT get_Height(OLE_YSIZE_HIMETRIC* height) override {
    if (height == nullptr) return E_POINTER;
    *height = icon_->Height() * 2540 / 96;
    return S_OK;
  }

 protected:
  void* FindInterface(const IID& iid) override { return iid == IID_IPicture ? static_cast<IPicture*>(this) : nullptr; }

 private:
  std::shared_ptr<Icon> icon_;
};

}  // namespace

Icon::Icon(int32_t width, int32_t height)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * static_cast<size_t>(height)) {}

std::shared_ptr<Icon> Icon::Create(int32_t width, int32_t height) {
  if (width < 1 || height < 1 || width > kMaxIconSide || height > kMaxIconSide) return nullptr;
  return std::shared_ptr<Icon>(new Icon(width, height));
}

Icon::Pixel Icon::At(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return Pixel{};
  return pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
}

void Icon::Set(int32_t x, int32_t y, Pixel pixel) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)] = pixel;
}

std::shared_ptr<gdi::Bitmap> ReadBitmapFile(std::span<const uint8_t> bytes, BitmapFileFacts* facts) {
  uint16_t magic = 0;
  uint32_t pixelsAt = 0;
  DibHeader header;
  if (!Read(bytes, 0, &magic) || magic != 0x4D42 || !Read(bytes, 10, &pixelsAt) || !ReadDibHeader(bytes, 14, &header)) {
    return nullptr;
  }
  const uint16_t bits = header.bitCount;
  const bool paletted = bits == 1 || bits == 4 || bits == 8;
  if ((!paletted && bits != 24 && bits != 32) || header.compression != 0 || header.width <= 0 ||
      header.height == 0 || header.height == INT32_MIN || header.width > gdi::kMaxBitmapSide) {
    return nullptr;
  }
  const bool bottomUp = header.height > 0;
  const int32_t height = bottomUp ? header.height : -header.height;
  if (height > gdi::kMaxBitmapSide) return nullptr;
  const size_t stride = RowBytes(header.width, bits);
  if (!Fits(bytes, pixelsAt, stride, static_cast<size_t>(height))) return nullptr;

  // A palette lies between the information header and the pixels: as many entries as the header
  // says it uses (every one the depth can name when it says 0), no more than the depth names.
  std::vector<gdi::Rgb> palette;
  if (paletted) {
    uint32_t used = 0;
    Read(bytes, 14 + 32, &used);
    const uint32_t most = 1u << bits;
    if (used == 0 || used > most) used = most;
    const size_t paletteAt = 14 + static_cast<size_t>(header.size);
    if (header.size > bytes.size() || pixelsAt < paletteAt || (pixelsAt - paletteAt) / 4 < used) return nullptr;
    for (uint32_t i = 0; i < used; ++i) {
      const uint8_t* entry = bytes.data() + paletteAt + 4 * static_cast<size_t>(i);
      palette.push_back(gdi::Rgb{entry[2], entry[1], entry[0]});
    }
  }

  gdi::BitmapInfo info;
  info.width = header.width;
  info.height = height;
  info.bitsPerPixel = 24;
  Read(bytes, 14 + 24, &info.xPelsPerMeter);
  Read(bytes, 14 + 28, &info.yPelsPerMeter);
  std::shared_ptr<gdi::Bitmap> bitmap = gdi::Bitmap::Create(info);
  if (!bitmap) return nullptr;
  if (facts) {
    facts->size = pixelsAt + stride * static_cast<size_t>(height);
    facts->bitsPerPixel = bits;
    facts->alpha.clear();
    if (bits == 32) facts->alpha.resize(static_cast<size_t>(header.width) * static_cast<size_t>(height));
  }
  const size_t step = bits / 8;
  for (int32_t y = 0; y < height; ++y) {
    const size_t fileRow = static_cast<size_t>(bottomUp ? height - 1 - y : y);
    const uint8_t* source = bytes.data() + pixelsAt + fileRow * stride;
    std::span<uint8_t> target = bitmap->Row(y);
    for (int32_t x = 0; x < header.width; ++x) {
      uint8_t* pixel = target.data() + static_cast<size_t>(x) * 3;
      if (!paletted) {
        std::memcpy(pixel, source + static_cast<size_t>(x) * step, 3);
        if (bits == 32 && facts) facts->alpha[static_cast<size_t>(y) * header.width + x] = source[4 * x + 3];
        continue;
      }
      const size_t bit = static_cast<size_t>(x) * bits;
      const uint32_t index = (source[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
      // An index past the palette reads as black.
      const gdi::Rgb colour = index < palette.size() ? palette[index] : gdi::kBlack;
      pixel[0] = colour.b;
      pixel[1] = colour.g;
      pixel[2] = colour.r;
    }
  }
  return bitmap;
}

std::shared_ptr<gdi::Bitmap> LoadBitmapResource(const void* addressInModule, uint32_t id) {
  const std::optional<std::span<const uint8_t>> bytes = FindResource(addressInModule, kResourceTypeBitmap, id);
  return bytes ? ReadBitmapFile(*bytes) : nullptr;
}

std::shared_ptr<Icon> ReadIconFile(std::span<const uint8_t> bytes, int32_t size) {
  uint16_t reserved = 0, type = 0, count = 0;
  if (!Read(bytes, 0, &reserved) || !Read(bytes, 2, &type) || !Read(bytes, 4, &count) || reserved != 0 || type != 1 ||
      count == 0) {
    return nullptr;
  }
  // The entry of the size asked for, else the largest.
  int32_t chosenWidth = 0;
  uint32_t chosenAt = 0, chosenBytes = 0;
  for (uint16_t i = 0; i < count; ++i) {
    const size_t entry = 6 + static_cast<size_t>(i) * 16;
    uint8_t width = 0;
    uint32_t imageBytes = 0, imageAt = 0;
    if (!Read(bytes, entry, &width) || !Read(bytes, entry + 8, &imageBytes) || !Read(bytes, entry + 12, &imageAt)) {
      return nullptr;
    }
    const int32_t w = width == 0 ? 256 : width;
    if (chosenWidth != size && (w == size || w > chosenWidth)) {
      chosenWidth = w;
      chosenAt = imageAt;
      chosenBytes = imageBytes;
    }
  }
  if (chosenAt > bytes.size() || bytes.size() - chosenAt < chosenBytes) return nullptr;
  const std::span<const uint8_t> image = bytes.subspan(chosenAt, chosenBytes);
  DibHeader header;
  if (!ReadDibHeader(image, 0, &header) || header.compression != 0 || (header.bitCount != 24 && header.bitCount != 32) ||
      header.height <= 0 || header.height % 2 != 0) {
    return nullptr;
  }
  std::shared_ptr<Icon> icon = Icon::Create(header.width, header.height / 2);
  if (!icon) return nullptr;
  const int32_t width = icon->Width();
  const int32_t height = icon->Height();
  const size_t colourStride = RowBytes(width, header.bitCount);
  const size_t maskStride = RowBytes(width, 1);
  const size_t colourAt = header.size;
  const size_t maskAt = colourAt + colourStride * static_cast<size_t>(height);
  if (!Fits(image, colourAt, colourStride, static_cast<size_t>(height)) ||
      !Fits(image, maskAt, maskStride, static_cast<size_t>(height))) {
    return nullptr;
  }
  bool anyAlpha = false;
  for (int32_t y = 0; y < height && header.bitCount == 32; ++y) {
    const uint8_t* row = image.data() + colourAt + static_cast<size_t>(height - 1 - y) * colourStride;
    for (int32_t x = 0; x < width; ++x) anyAlpha = anyAlpha || row[static_cast<size_t>(x) * 4 + 3] != 0;
  }
  const size_t step = header.bitCount / 8;
  for (int32_t y = 0; y < height; ++y) {
    const size_t fileRow = static_cast<size_t>(height - 1 - y);
    const uint8_t* row = image.data() + colourAt + fileRow * colourStride;
    const uint8_t* mask = image.data() + maskAt + fileRow * maskStride;
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t* p = row + static_cast<size_t>(x) * step;
      const bool masked = (mask[x / 8] & (0x80 >> (x % 8))) != 0;
      const uint8_t alpha = anyAlpha ? p[3] : masked ? uint8_t{0} : uint8_t{255};
      icon->Set(x, y, Icon::Pixel{p[0], p[1], p[2], alpha});
    }
  }
  return icon;
}

ImageList::ImageList(int32_t width, int32_t height, int32_t initial, int32_t grow) : width_(width), height_(height) {
  images_.reserve(static_cast<size_t>(std::clamp(initial, 0, 1024)));
  static_cast<void>(grow);  // the vector grows as it needs
}

int32_t ImageList::AddMasked(const gdi::Bitmap& strip, gdi::Rgb mask) {
  if (width_ < 1 || height_ < 1 || strip.Height() < height_) return -1;
  const int32_t first = Count();
  for (int32_t left = 0; left + width_ <= strip.Width(); left += width_) {
    std::shared_ptr<Icon> icon = Icon::Create(width_, height_);
    if (!icon) return -1;
    for (int32_t y = 0; y < height_; ++y) {
      for (int32_t x = 0; x < width_; ++x) {
        const gdi::Rgb c = strip.GetPixel(left + x, y);
        icon->Set(x, y, Icon::Pixel{c.b, c.g, c.r, c == mask ? uint8_t{0} : uint8_t{255}});
      }
    }
    images_.push_back(std::move(icon));
  }
  return Count() > first ? first : -1;
}

std::shared_ptr<Icon> ImageList::GetIcon(int32_t index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return images_[static_cast<size_t>(index)];
}

HRESULT CreateIconPicture(std::shared_ptr<Icon> icon, const IID& iid, void** picture) {
  if (picture == nullptr) return E_POINTER;
  *picture = nullptr;
  if (!icon) return E_INVALIDARG;
  return CreateComObject<IconPicture>(nullptr, iid, picture, std::move(icon));
}

const Icon* IconFromHandle(OLE_HANDLE handle) { return reinterpret_cast<const Icon*>(handle); }

}  // namespace rzd
