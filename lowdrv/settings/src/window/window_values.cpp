#include "window_values.h"

#include <algorithm>

namespace rzd::lowdrv::window {

int32_t JpegQuality(int32_t ratio, int32_t qualityMin, int32_t qualityMax) {
  const int32_t r = static_cast<uint8_t>(ratio);
  int32_t q = r <= 50 ? qualityMin + (50 - qualityMin) * r / 50 : 50 + (qualityMax - 50) * (r - 50) / 50;
  if (q < qualityMin) q = qualityMin;
  if (q > qualityMax) q = qualityMax;
  return q;
}

uint8_t BlankPageThresholdByte(bool discardBlankPages, int32_t threshold) {
  if (!discardBlankPages) return 0;
  const int64_t value = static_cast<int64_t>(threshold) * 255 / 100;
  return static_cast<uint8_t>(std::clamp<int64_t>(value, 1, 255));
}

std::optional<uint8_t> MultifeedLevel(int32_t sensitivity) {
  switch (sensitivity) {
    case 0: return 128;
    case 1: return 0;
    case 2: return 127;
    default: return std::nullopt;
  }
}

uint8_t FeederFlags(bool flatbed, bool colour, std::u16string_view filter) {
  uint8_t flags = 0x40;
  if (!flatbed) flags |= 0x80;
  if (colour)
    flags |= 0x20;
  else if (filter == u"Red")
    flags |= 0x08;
  else if (filter == u"Green")
    flags |= 0x10;
  else if (filter == u"Blue")
    flags |= 0x18;
  else
    flags |= 0x30;
  return flags;
}

uint8_t CropMode(bool cropDeskewAllowed, bool crop, bool deskew, int32_t resolution, int32_t cropMaxDpi,
                 int32_t deskewMaxDpi) {
  if (!cropDeskewAllowed) return 0;
  if (crop && deskew) return resolution <= cropMaxDpi && resolution <= deskewMaxDpi ? 3 : 0;
  if (crop) return resolution <= cropMaxDpi ? 1 : 0;
  if (deskew) return resolution <= deskewMaxDpi ? 2 : 0;
  return 0;
}

uint8_t RotationByte(std::u16string_view rotation) {
  if (rotation == u"90") return 1;
  if (rotation == u"180") return 2;
  if (rotation == u"270") return 3;
  return 0;
}

int64_t RoundUpTo(int64_t value, int64_t multiple) {
  if (multiple <= 1) return value;
  const int64_t rest = value % multiple;
  return rest == 0 ? value : value + (multiple - rest);
}

int64_t RoundDownTo(int64_t value, int64_t multiple) {
  if (multiple <= 1) return value;
  return value - value % multiple;
}

}  // namespace rzd::lowdrv::window
