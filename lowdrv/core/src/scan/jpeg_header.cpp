#include "scan/jpeg_header.h"

#include "lowdrv/engine/engine_caps.h"
#include "lowdrv/engine/jpeg_tables.h"

#include <algorithm>
#include <cstring>

namespace rzd::lowdrv::jpeg {

namespace {

constexpr uint32_t kSoiSize = 2;
constexpr uint32_t kJfifSize = 18;
constexpr uint32_t kQuantSegmentSize = 69;
constexpr uint32_t kRestartSegmentSize = 6;
constexpr uint32_t kExifFixedSize = 44;  // "Exif" 00 00, TIFF header, count, two entries, next IFD
constexpr uint32_t kInlineTextBytes = 4;

// Sampling factors of the first component (the other two are 1x1).
struct Layout {
  uint32_t components = 1;
  uint8_t h = 1;
  uint8_t v = 1;
};

Layout LayoutOf(uint8_t bits, uint8_t samplingMode) {
  Layout l;
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

uint32_t FrameSize(const Layout& l) { return 8 + 3 * l.components + 2; }
uint32_t ScanSize(const Layout& l) { return 8 + 2 * l.components; }

uint32_t HuffmanSegmentSize(const HuffmanTable& t) { return 2 + 2 + 1 + 16 + static_cast<uint32_t>(t.valueCount); }

uint32_t HuffmanSize(const Layout& l) {
  uint32_t total = 0;
  const size_t tables = l.components == 3 ? 4 : 2;
  for (size_t i = 0; i < tables; ++i) total += HuffmanSegmentSize(kStandardHuffmanTables[i]);
  return total;
}

// Bytes a text takes after the IFD: none when it fits the value field.
uint32_t TextRoom(std::string_view text) {
  const uint32_t count = static_cast<uint32_t>(text.size()) + 1;
  return count <= kInlineTextBytes ? 0 : (count + 3) / 4 * 4;
}

void Put16(uint8_t*& p, uint32_t v) {
  *p++ = static_cast<uint8_t>(v >> 8);
  *p++ = static_cast<uint8_t>(v);
}
void Put32At(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

void WriteQuant(uint8_t*& p, uint8_t id, const uint8_t* table) {
  *p++ = 0xFF;
  *p++ = 0xDB;
  Put16(p, 0x43);
  *p++ = id;
  for (size_t i = 0; i < kQuantTableSize; ++i) *p++ = table[kZigzag[i]];
}

void WriteHuffman(uint8_t*& p, const HuffmanTable& t) {
  *p++ = 0xFF;
  *p++ = 0xC4;
  Put16(p, HuffmanSegmentSize(t) - 2);
  *p++ = t.classAndId;
  std::memcpy(p, t.bits.data(), t.bits.size());
  p += t.bits.size();
  std::memcpy(p, t.values, t.valueCount);
  p += t.valueCount;
}

}  // namespace

uint32_t ScaleForQuality(uint32_t quality) {
  const uint32_t q = std::clamp<uint32_t>(quality, 1, 100);
  return q < 50 ? 5000 / q : 200 - 2 * q;
}

void ScaleTables(uint32_t scale, uint8_t (&tables)[kTablesSize]) {
  auto scaled = [scale](uint8_t v) {
    const uint64_t value = (static_cast<uint64_t>(v) * scale + 50) / 100;
    return static_cast<uint8_t>(std::clamp<uint64_t>(value, 1, 255));
  };
  for (size_t i = 0; i < kQuantTableSize; ++i) {
    tables[i] = scaled(kStandardLuminanceTable[i]);
    tables[kQuantTableSize + i] = scaled(kStandardChrominanceTable[i]);
  }
}

uint32_t ExifBlockSize(std::string_view make, std::string_view model) {
  return kExifFixedSize + TextRoom(make) + TextRoom(model);
}

void WriteExifBlock(uint8_t* out, std::string_view make, std::string_view model) {
  const uint32_t size = ExifBlockSize(make, model);
  std::memset(out, 0, size);
  std::memcpy(out, "Exif\0\0MM\0\x2A", 10);
  Put32At(out + 10, 8);  // the IFD right after the TIFF header
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
    Put32At(entry + 4, count);
    if (count <= kInlineTextBytes) {
      std::memcpy(entry + 8, texts[i].data(), texts[i].size());
    } else {
      Put32At(entry + 8, textAt - 6);  // offsets count from the TIFF header
      std::memcpy(out + textAt, texts[i].data(), texts[i].size());
      textAt += TextRoom(texts[i]);
    }
  }
  // Bytes 40-43: no next IFD (already 0).
}

bool AVGetJFIFHeaderSize(uint32_t* size, bool restart, uint8_t bits, uint8_t samplingMode, std::string_view make,
                         std::string_view model) {
  const Layout l = LayoutOf(bits, samplingMode);
  uint32_t total = kSoiSize + kJfifSize + kQuantSegmentSize * (l.components == 3 ? 2 : 1);
  if (restart) total += kRestartSegmentSize;
  total += FrameSize(l) + HuffmanSize(l) + ScanSize(l);
  total += ExifBlockSize(make, model) + 4;
  if (size) *size = total;
  return true;
}

bool WriteJFIFHeader(uint8_t* buffer, const HeaderParams& params) {
  if (!buffer || !params.luminance || !params.chrominance) return false;
  if (params.width == 0 || params.width > 0xFFFF || params.lines == 0 || params.lines > 0xFFFF) return false;
  const Layout l = LayoutOf(params.bits, params.samplingMode);
  uint8_t* p = buffer;
  *p++ = 0xFF;
  *p++ = 0xD8;
  // JFIF 1.00, dots per inch.
  const uint8_t jfif[] = {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x00, 0x01};
  std::memcpy(p, jfif, sizeof jfif);
  p += sizeof jfif;
  Put16(p, params.xResolution);
  Put16(p, params.yResolution);
  *p++ = 0;
  *p++ = 0;
  // Exif.
  const uint32_t exif = ExifBlockSize(params.make, params.model);
  *p++ = 0xFF;
  *p++ = 0xE1;
  Put16(p, exif + 2);
  WriteExifBlock(p, params.make, params.model);
  p += exif;
  // Tables.
  WriteQuant(p, 0, params.luminance);
  if (l.components == 3) WriteQuant(p, 1, params.chrominance);
  if (params.restart) {
    *p++ = 0xFF;
    *p++ = 0xDD;
    Put16(p, 4);
    Put16(p, params.restartInterval);
  }
  // Frame.
  *p++ = 0xFF;
  *p++ = 0xC0;
  Put16(p, FrameSize(l) - 2);
  *p++ = 8;
  Put16(p, params.lines);
  Put16(p, params.width);
  *p++ = static_cast<uint8_t>(l.components);
  *p++ = 1;
  *p++ = static_cast<uint8_t>((l.h << 4) | l.v);
  *p++ = 0;
  for (uint8_t c = 2; c <= l.components; ++c) {
    *p++ = c;
    *p++ = 0x11;
    *p++ = 1;
  }
  // Huffman tables.
  for (size_t i = 0; i < (l.components == 3 ? 4u : 2u); ++i) WriteHuffman(p, kStandardHuffmanTables[i]);
  // Scan header.
  *p++ = 0xFF;
  *p++ = 0xDA;
  Put16(p, ScanSize(l) - 2);
  *p++ = static_cast<uint8_t>(l.components);
  *p++ = 1;
  *p++ = 0x00;
  for (uint8_t c = 2; c <= l.components; ++c) {
    *p++ = c;
    *p++ = 0x11;
  }
  *p++ = 0;
  *p++ = 0x3F;
  *p++ = 0;
  return true;
}

uint32_t McuHeight(uint8_t bits, uint8_t samplingMode) { return 8u * LayoutOf(bits, samplingMode).v; }

uint16_t RestartInterval(uint32_t width, uint8_t bits, uint8_t samplingMode) {
  const Layout l = LayoutOf(bits, samplingMode);
  const uint32_t mcuWidth = 8u * l.h;
  const uint32_t mcuRows = caps::kRestartSpacingLines / (8u * l.v);
  const uint64_t interval = static_cast<uint64_t>((width + mcuWidth - 1) / mcuWidth) * mcuRows;
  return interval > 0xFFFF ? 0 : static_cast<uint16_t>(interval);
}

void RestartMarker(uint32_t counter, uint8_t* out) {
  out[0] = 0xFF;
  out[1] = static_cast<uint8_t>(0xD0 + (counter & 7));
}

void EndMarker(uint8_t* out) {
  out[0] = 0xFF;
  out[1] = 0xD9;
}

}  // namespace rzd::lowdrv::jpeg
