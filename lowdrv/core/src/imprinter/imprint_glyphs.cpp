// RenderImprintGlyphs: the glyphs of the imprinter's line, drawn into the 12-dot-wide bitmap and
// copied out one row (one column of dots on the paper) at a time.
#include "lowdrv/core/driver_engine.h"
#include "platform/gdi.h"

#include <algorithm>
#include <cstring>

namespace rzd::lowdrv {

namespace {

using namespace imprint;

bool Turned(int32_t rotation) { return rotation == 90 || rotation == 270; }

int32_t Escapement(int32_t rotation) {
  switch (rotation) {
    case 0:
    case 90:
    case 180:
    case 270: return rotation * 10;
    default: return 0;
  }
}

std::shared_ptr<gdi::Bitmap> GlyphBitmap() {
  gdi::BitmapInfo info;
  info.width = kBitmapWidth;
  info.height = kBitmapRows;
  info.bitsPerPixel = 1;
  info.bottomUp = true;
  info.palette = {gdi::kBlack, gdi::kWhite};
  info.xPelsPerMeter = kPelsPerMeter;
  info.yPelsPerMeter = kPelsPerMeter;
  return gdi::Bitmap::Create(info);
}

}  // namespace

void CRZDREduzidLLD::RenderImprintGlyphs(uint8_t mode, int32_t rotation, uint8_t fontType, std::span<uint8_t> glyphs,
                                         std::span<uint32_t> widths, uint32_t* length, std::string_view text,
                                         bool dbcsDefault, uint8_t fixedPitch) {
  if (length) *length = 0;
  // The work copy: at most 511 bytes, to the first zero byte.
  char work[kTextBytes] = {};
  const size_t count = std::min({text.size(), kTextBytes - 1, text.find('\0')});
  std::memcpy(work, text.data(), count);
  // The ANSI code page (Windows-1252) has no lead bytes, so a text is never double-byte; only an
  // empty one takes the caller's flag, and it draws nothing either way.
  [[maybe_unused]] const bool dbcs = count == 0 && dbcsDefault;
  // Digits and separators run in string order along the rows whatever the rotation.
  if ((rotation == 90 || rotation == 180) && mode != kText) std::reverse(work, work + count);
  const std::string_view drawn(work, count);

  const uint8_t kBold = 1, kUnderlined = 2, kWide = 3;
  gdi::LogFont font;
  font.face = fixedPitch ? u"Courier new" : u"Microsoft Sans Serif";
  font.height = -kBitmapWidth;
  font.width = fontType == kWide ? kBitmapWidth : 0;
  font.escapement = Escapement(rotation);
  font.weight = fontType == kBold ? 700 : 400;
  font.underline = fontType == kUnderlined;
  // The fixed-pitch face turned a quarter has its underline drawn by hand along the rows.
  const bool handUnderline = fixedPitch && Turned(rotation) && fontType == kUnderlined;
  if (handUnderline) font.underline = false;

  const std::shared_ptr<gdi::Bitmap> bitmap = GlyphBitmap();
  gdi::DeviceContext dc(m_pImprintGlyphs ? m_pImprintGlyphs : gdi::SystemGlyphSource());
  dc.SelectBitmap(bitmap);
  if (!bitmap || !dc.SelectFont(font)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"RenderImprintGlyphs failed because the font cannot be made");
    std::fill(widths.begin(), widths.end(), 0u);
    return;
  }
  dc.SetBkMode(gdi::BackgroundMode::Transparent);
  dc.SetTextColor(gdi::kWhite);

  int32_t cx = 0, cy = 0;
  uint32_t average = 0;
  if (count != 0) {
    const gdi::Size extent = dc.TextExtent(drawn).value_or(gdi::Size{});
    cx = std::max(extent.cx, 0);
    cy = std::max(extent.cy, 0);
    average = static_cast<uint32_t>(cx) / static_cast<uint32_t>(count);
  }
  // Rows: the string's width when turned a quarter, else one cell per character; never more
  // than the bitmap has.
  uint32_t rows = 0;
  if (count != 0) {
    const int64_t wanted = Turned(rotation) ? cx : static_cast<int64_t>(count) * cy;
    rows = static_cast<uint32_t>(std::min<int64_t>(wanted, kBitmapRows));
  }

  if (mode == kSeparators) {
    for (size_t i = 0; i < widths.size(); ++i) {
      uint32_t width = 0;
      if (i < count) {
        width = Turned(rotation) ? static_cast<uint32_t>(std::max(dc.CharWidth(static_cast<uint8_t>(work[i])).value_or(0), 0))
                                 : average;
      }
      widths[i] = width;
    }
  } else if (!widths.empty()) {
    widths[0] = average;
  }

  switch (rotation) {
    case 90: dc.TextOut(-2, static_cast<int32_t>(rows), drawn); break;
    case 270: dc.TextOut(14, 0, drawn); break;
    case 180:
      for (size_t i = 0; i < count; ++i) {
        dc.TextOut(11, static_cast<int32_t>(count - i) * cy, drawn.substr(i, 1));
      }
      break;
    default:
      for (size_t i = 0; i < count; ++i) dc.TextOut(0, static_cast<int32_t>(i) * cy, drawn.substr(i, 1));
      break;
  }

  // One word per row, top row first: pixels 0-7, then pixels 8-11 in the high half of the second byte.
  const size_t words = std::min<size_t>(rows, glyphs.size() / 2);
  for (size_t r = 0; r < words; ++r) {
    const std::span<const uint8_t> row = bitmap->Row(static_cast<int32_t>(r));
    uint8_t first = row[0];
    uint8_t second = static_cast<uint8_t>(row[1] & 0xF0);
    if (handUnderline && rotation == 270) first |= 0x80;
    if (handUnderline && rotation == 90) second |= 0x10;
    glyphs[2 * r] = first;
    glyphs[2 * r + 1] = second;
  }
  if (length) *length = rows;
}

}  // namespace rzd::lowdrv
