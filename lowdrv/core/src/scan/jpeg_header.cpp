#include "scan/jpeg_header.h"

#include "lowdrv/engine/jpeg_tables.h"

#include <algorithm>
#include <cstring>

namespace rzd::lowdrv::jpeg {

namespace {

constexpr uint32_t kSoiSize = 2;
constexpr uint32_t kJfifSize = 18;
constexpr uint32_t kQuantSegmentSize = 69;
constexpr uint32_t kRestartSegmentSize = 6;

uint32_t FrameSize(const SamplingLayout& l) { return 8 + 3 * l.components + 2; }
uint32_t ScanSize(const SamplingLayout& l) { return 8 + 2 * l.components; }

uint32_t HuffmanSegmentSize(const HuffmanTable& t) { return 2 + 2 + 1 + 16 + static_cast<uint32_t>(t.valueCount); }

uint32_t HuffmanSize(const SamplingLayout& l) {
  uint32_t total = 0;
  const size_t tables = l.components == 3 ? 4 : 2;
  for (size_t i = 0; i < tables; ++i) total += HuffmanSegmentSize(kStandardHuffmanTables[i]);
  return total;
}

void Put16(uint8_t*& p, uint32_t v) {
  *p++ = static_cast<uint8_t>(v >> 8);
  *p++ = static_cast<uint8_t>(v);
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

bool AVGetJFIFHeaderSize(uint32_t* size, bool restart, uint8_t bits, uint8_t samplingMode, std::string_view make,
                         std::string_view model) {
  const SamplingLayout l = LayoutOf(bits, samplingMode);
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
  const SamplingLayout l = LayoutOf(params.bits, params.samplingMode);
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

void RestartMarker(uint32_t counter, uint8_t* out) {
  out[0] = 0xFF;
  out[1] = static_cast<uint8_t>(0xD0 + (counter & 7));
}

void EndMarker(uint8_t* out) {
  out[0] = 0xFF;
  out[1] = 0xD9;
}

}  // namespace rzd::lowdrv::jpeg
