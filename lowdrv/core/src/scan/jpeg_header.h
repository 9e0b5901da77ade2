// The bytes the driver adds to the engine's entropy-coded JPEG data so that every side is a
// complete baseline stream: the quantisation tables it sends to the engine, the header (start of
// image, JFIF, Exif with the maker and model, tables, frame, Huffman tables, scan header), the
// restart markers between the engine's pieces and the end-of-image marker.
//
// The sampling layout, the restart interval and the Exif block are the ones the simulated unit
// uses too (lowdrv/engine/jpeg_layout.h). Size and writer share one layout, so the size is always
// what the writer fills.
#pragma once

#include "lowdrv/engine/jpeg_layout.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace rzd::lowdrv::jpeg {

inline constexpr size_t kTablesSize = 128;  // luminance then chrominance, 64 bytes each

// The scale of a quality (held within 1..100): 5000 / q below 50, else 200 - 2q.
uint32_t ScaleForQuality(uint32_t quality);

// The two example tables, natural order, each entry (v x scale + 50) / 100 held within 1..255.
void ScaleTables(uint32_t scale, uint8_t (&tables)[kTablesSize]);

// The header's size in bytes; always true.
bool AVGetJFIFHeaderSize(uint32_t* size, bool restart, uint8_t bits, uint8_t samplingMode, std::string_view make,
                         std::string_view model);

struct HeaderParams {
  uint8_t bits = 8;          // 24: three components, else one
  uint32_t width = 0;        // pixels
  uint32_t lines = 0;        // lines of the side
  uint16_t xResolution = 0;  // dpi
  uint16_t yResolution = 0;
  const uint8_t* luminance = nullptr;    // 64 bytes, natural order
  const uint8_t* chrominance = nullptr;  // 64 bytes, natural order
  bool restart = false;
  uint16_t restartInterval = 0;  // MCUs, with restart
  uint8_t samplingMode = 0;
  std::string_view make;
  std::string_view model;
};

// Writes the header (exactly AVGetJFIFHeaderSize bytes). False for a null buffer or table, and
// for a width or line count that a frame header cannot carry (0 or above 65535).
bool WriteJFIFHeader(uint8_t* buffer, const HeaderParams& params);

// FF, D0 + (counter & 7).
void RestartMarker(uint32_t counter, uint8_t* out);
// FF D9.
void EndMarker(uint8_t* out);

}  // namespace rzd::lowdrv::jpeg
