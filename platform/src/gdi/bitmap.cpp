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

}  // namespace rzd::gdi
