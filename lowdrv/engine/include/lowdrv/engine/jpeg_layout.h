// What the driver's JPEG headers and the simulated unit's JPEG streams both decide the same way:
// the sampling layout a window's sampling mode gives, the restart interval of the unit's restart
// spacing, and the Exif block naming the maker and model. One copy for both sides.
#pragma once

#include "lowdrv/engine/byte_order.h"
#include "lowdrv/engine/engine_caps.h"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace rzd::lowdrv::jpeg {

// The component count follows the bit depth (24 bits: three components, else one); the sampling
// mode matters for three components only (1: 2x2, 2: 2x1, anything else: 1x1 for the first
// component, the other two 1x1).
struct SamplingLayout {
  uint32_t components = 1;
  uint8_t h = 1;
  uint8_t v = 1;
};

inline SamplingLayout LayoutOf(uint8_t bits, uint8_t samplingMode) {
  SamplingLayout l;
  if (bits != 24) return l;
  l.components = 3;
  if (samplingMode == 1) {
    l.h = 2;
    l.v = 2;
  } else if (samplingMode == 2) {
    l.h = 2;
  }
  return l;
}

// Lines of one MCU row (8, or 16 for three components in mode 1).
inline uint32_t McuHeight(uint8_t bits, uint8_t samplingMode) { return 8u * LayoutOf(bits, samplingMode).v; }

// MCUs of a restart interval for the unit's restart spacing (engine_caps.h): the MCUs of a line
// (pixels / MCU width, rounded up) times the MCU rows of the spacing; 0 when the width gives none
// or the count does not fit 16 bits.
inline uint16_t RestartInterval(uint32_t width, uint8_t bits, uint8_t samplingMode) {
  const SamplingLayout l = LayoutOf(bits, samplingMode);
  const uint32_t mcuWidth = 8u * l.h;
  const uint32_t mcuRows = caps::kRestartSpacingLines / (8u * l.v);
  const uint64_t interval = static_cast<uint64_t>((width + mcuWidth - 1) / mcuWidth) * mcuRows;
  return interval > 0xFFFF ? 0 : static_cast<uint16_t>(interval);
}

// The Exif block (APP1 payload) naming the maker and model: "Exif" 00 00, a big-endian TIFF
// header, one IFD with Make (0x010F) and Model (0x0110) as ASCII, no next IFD. A text that fits
// four bytes with its terminating zero lies in the entry's value field; a longer one follows the
// IFD (Make first), zero-padded to a multiple of `textAlign` bytes. The driver pads to 4; the
// unit's own streams pad to 2, so the driver's rewrite of them meets a layout not its own.
inline constexpr uint32_t kExifFixedSize = 44;  // "Exif" 00 00, TIFF header, count, two entries, next IFD
inline constexpr uint32_t kExifInlineTextBytes = 4;

// Bytes a text takes after the IFD: none when it fits the value field.
inline uint32_t ExifTextRoom(std::string_view text, uint32_t textAlign = 4) {
  const uint32_t count = static_cast<uint32_t>(text.size()) + 1;
  return count <= kExifInlineTextBytes ? 0 : (count + textAlign - 1) / textAlign * textAlign;
}

inline uint32_t ExifBlockSize(std::string_view make, std::string_view model, uint32_t textAlign = 4) {
  return kExifFixedSize + ExifTextRoom(make, textAlign) + ExifTextRoom(model, textAlign);
}

// Writes ExifBlockSize bytes.
inline void WriteExifBlock(uint8_t* out, std::string_view make, std::string_view model, uint32_t textAlign = 4) {
  const uint32_t size = ExifBlockSize(make, model, textAlign);
  std::memset(out, 0, size);
  std::memcpy(out, "Exif\0\0MM\0\x2A", 10);
  PutBE32(out + 10, 8);  // the IFD right after the TIFF header
  out[14] = 0;
  out[15] = 2;
  uint32_t textAt = kExifFixedSize;
  const std::string_view texts[2] = {make, model};
  for (uint32_t i = 0; i < 2; ++i) {
    uint8_t* entry = out + 16 + 12 * i;
    const uint32_t count = static_cast<uint32_t>(texts[i].size()) + 1;
    entry[0] = 0x01;
    entry[1] = static_cast<uint8_t>(0x0F + i);
    entry[3] = 2;  // ASCII
    PutBE32(entry + 4, count);
    if (count <= kExifInlineTextBytes) {
      std::memcpy(entry + 8, texts[i].data(), texts[i].size());
    } else {
      PutBE32(entry + 8, textAt - 6);  // offsets count from the TIFF header
      std::memcpy(out + textAt, texts[i].data(), texts[i].size());
      textAt += ExifTextRoom(texts[i], textAlign);
    }
  }
  // Bytes 40-43: no next IFD (already 0).
}

}  // namespace rzd::lowdrv::jpeg
