// Device-independent bitmaps: 1 bit per pixel with a palette, or 24 / 32 bits per pixel.
#include "platform/gdi.h"

#include <algorithm>

namespace rzd::gdi {

namespace {

bool ValidInfo(const BitmapInfo& info) {
  if (info.width < 1 || info.height < 1 || info.width > kMaxBitmapSide || info.height > kMaxBitmapSide) return false;
  if (info.bitsPerPixel == 1) return info.palette.size() == 2;
  return info.bitsPerPixel == 24 || info.bitsPerPixel == 32;
}

int Distance(Rgb a, Rgb b) {
  const int dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
  return dr * dr + dg * dg + db * db;
}

}  // namespace

std::shared_ptr<Bitmap> Bitmap::Create(const BitmapInfo& info) {
  if (!ValidInfo(info)) return nullptr;
  return std::shared_ptr<Bitmap>(new Bitmap(info));
}

Bitmap::Bitmap(const BitmapInfo& info) : info_(info) {
  stride_ = ((static_cast<size_t>(info.width) * info.bitsPerPixel + 31) / 32) * 4;
  bits_.assign(stride_ * static_cast<size_t>(info.height), 0);
}

std::span<uint8_t> Bitmap::Row(int32_t y) {
  if (y < 0 || y >= info_.height) return {};
  const size_t memoryRow = info_.bottomUp ? static_cast<size_t>(info_.height - 1 - y) : static_cast<size_t>(y);
  return std::span<uint8_t>(bits_).subspan(memoryRow * stride_, stride_);
}

std::span<const uint8_t> Bitmap::Row(int32_t y) const {
  return const_cast<Bitmap*>(this)->Row(y);
}

uint8_t Bitmap::NearestIndex(Rgb colour) const {
  return Distance(colour, info_.palette[1]) < Distance(colour, info_.palette[0]) ? 1 : 0;
}

void Bitmap::SetPixel(int32_t x, int32_t y, Rgb colour) {
  if (x < 0 || x >= info_.width) return;
  std::span<uint8_t> row = Row(y);
  if (row.empty()) return;
  switch (info_.bitsPerPixel) {
    case 1: {
      const uint8_t mask = static_cast<uint8_t>(0x80 >> (x % 8));
      uint8_t& byte = row[static_cast<size_t>(x) / 8];
      byte = NearestIndex(colour) ? static_cast<uint8_t>(byte | mask) : static_cast<uint8_t>(byte & ~mask);
      break;
    }
    default: {
      uint8_t* p = row.data() + static_cast<size_t>(x) * (info_.bitsPerPixel / 8);
      p[0] = colour.b;
      p[1] = colour.g;
      p[2] = colour.r;
      break;
    }
  }
}

Rgb Bitmap::GetPixel(int32_t x, int32_t y) const {
  if (x < 0 || x >= info_.width) return kBlack;
  std::span<const uint8_t> row = Row(y);
  if (row.empty()) return kBlack;
  if (info_.bitsPerPixel == 1) {
    const bool set = (row[static_cast<size_t>(x) / 8] & (0x80 >> (x % 8))) != 0;
    return info_.palette[set ? 1 : 0];
  }
  const uint8_t* p = row.data() + static_cast<size_t>(x) * (info_.bitsPerPixel / 8);
  return Rgb{p[2], p[1], p[0]};
}

void Bitmap::Fill(Rgb colour) {
  for (int32_t y = 0; y < info_.height; ++y) {
    for (int32_t x = 0; x < info_.width; ++x) SetPixel(x, y, colour);
  }
}

std::shared_ptr<Bitmap> CreateDibSection(int32_t width, int32_t height, uint16_t bitsPerPixel) {
  if (bitsPerPixel != 24 && bitsPerPixel != 32) return nullptr;
  BitmapInfo info;
  info.width = width;
  info.height = height;
  info.bitsPerPixel = bitsPerPixel;
  return Bitmap::Create(info);
}

std::vector<uint8_t> ReadBits32(const Bitmap& bitmap) {
  const int32_t width = bitmap.Width(), height = bitmap.Height();
  std::vector<uint8_t> bits(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = bits.data() + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) * 4;
    for (int32_t x = 0; x < width; ++x) {
      const Rgb c = bitmap.GetPixel(x, y);
      row[4 * x] = c.b;
      row[4 * x + 1] = c.g;
      row[4 * x + 2] = c.r;
    }
  }
  return bits;
}

void BitBlt(Bitmap& target, int32_t x, int32_t y, int32_t width, int32_t height, const Bitmap& source,
            int32_t sourceX, int32_t sourceY) {
  // The area in 64 bits, cut to both bitmaps.
  int64_t left = 0, top = 0, right = width, bottom = height;
  left = std::max({left, -static_cast<int64_t>(x), -static_cast<int64_t>(sourceX)});
  top = std::max({top, -static_cast<int64_t>(y), -static_cast<int64_t>(sourceY)});
  right = std::min({right, static_cast<int64_t>(target.Width()) - x, static_cast<int64_t>(source.Width()) - sourceX});
  bottom = std::min({bottom, static_cast<int64_t>(target.Height()) - y, static_cast<int64_t>(source.Height()) - sourceY});
  for (int64_t v = top; v < bottom; ++v) {
    for (int64_t u = left; u < right; ++u) {
      target.SetPixel(static_cast<int32_t>(x + u), static_cast<int32_t>(y + v),
                      source.GetPixel(static_cast<int32_t>(sourceX + u), static_cast<int32_t>(sourceY + v)));
    }
  }
}

}  // namespace rzd::gdi
