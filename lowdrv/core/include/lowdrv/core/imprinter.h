// The imprinter's line: the sizes of its glyph buffers and blocks, and what the driver takes
// from outside to draw and date it (the glyph source and the local time), so tests can fix both.
#pragma once

#include "lowdrv/engine/imprinter_records.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace rzd::lowdrv {

// What RenderImprintGlyphs draws.
namespace imprint {
constexpr uint8_t kDigits = 0;
constexpr uint8_t kText = 1;
constexpr uint8_t kSeparators = 2;

// The glyph bitmap: 12 dots wide, 1024 rows, one 16-bit word of glyph data per row.
constexpr int32_t kBitmapWidth = 12;
constexpr int32_t kBitmapRows = 1024;
constexpr int32_t kPelsPerMeter = 2953;

// Buffers of SendImprinterPageSettings, and so the most data each block carries.
constexpr size_t kTextBytes = 512;  // the composed text, its end mark included
constexpr size_t kSeparatorTextBytes = 64;
constexpr size_t kDigitGlyphBytes = kImprDigitFontData;
constexpr size_t kSeparatorGlyphBytes = kImprSeparateFontData;
constexpr size_t kTextGlyphBytes = kImprPrintOutData;
constexpr size_t kSeparatorWidths = 8;

// Heads of the blocks (the data follows them).
constexpr size_t kPageSettingSize = 9;
constexpr size_t kPageSettingSinglePageSize = 8;
constexpr size_t kDigitFontHead = kImprDigitFontHead;
constexpr size_t kPrintOutHead = kImprPrintOutHead;
constexpr size_t kDateTimeSize = kImprDateTimeSize;
constexpr size_t kSeparateFontHead = kImprSeparateFontHead;

// Flags of the page-setting block.
constexpr uint8_t kFlagAlways = 0x01;
constexpr uint8_t kFlagCounter = 0x06;
constexpr uint8_t kFlagDateTime = 0x08;
}  // namespace imprint

// The local date and time as the date-time block carries it.
struct ImprinterTime {
  uint16_t year = 0;
  uint8_t month = 0;
  uint8_t day = 0;
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
};
using ImprinterClock = std::function<ImprinterTime()>;

// The machine's local time.
ImprinterTime LocalImprinterTime();

}  // namespace rzd::lowdrv
