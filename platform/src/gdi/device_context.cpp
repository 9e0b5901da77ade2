// The memory device context: text measured and drawn into the selected bitmap, turned by the
// font's escapement in quarter turns.
#include "platform/gdi.h"
#include "platform/text.h"

#include <algorithm>
#include <climits>

namespace rzd::gdi {

namespace {

// The code points of a UTF-16 text (a lone surrogate stands for itself).
std::u32string CodePoints(std::u16string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      out.push_back(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

int32_t QuarterTurns(int32_t escapement) {
  switch (escapement) {
    case 900: return 1;
    case 1800: return 2;
    case 2700: return 3;
    default: return 0;
  }
}

}  // namespace

DeviceContext::DeviceContext(std::shared_ptr<GlyphSource> glyphs) : glyphs_(std::move(glyphs)) {}

bool DeviceContext::SelectFont(const LogFont& font) {
  std::shared_ptr<FontFace> face = glyphs_ ? glyphs_->Open(font) : nullptr;
  if (!face) return false;
  face_ = std::move(face);
  font_ = font;
  quarterTurns_ = QuarterTurns(font.escapement);
  return true;
}

std::optional<Size> DeviceContext::TextExtent(std::string_view ansi) { return TextExtent(FromAnsi(ansi)); }

std::optional<Size> DeviceContext::TextExtent(std::u16string_view text) {
  if (!face_) return std::nullopt;
  const FontMetrics metrics = face_->Metrics();
  Size size{0, metrics.ascent + metrics.descent};
  for (char32_t c : CodePoints(text)) size.cx += face_->Advance(c);
  return size;
}

std::optional<int32_t> DeviceContext::CharWidth(char32_t c) {
  if (!face_) return std::nullopt;
  return face_->Advance(c);
}

bool DeviceContext::TextOut(int32_t x, int32_t y, std::string_view ansi) { return TextOut(x, y, FromAnsi(ansi)); }

bool DeviceContext::TextOut(int32_t x, int32_t y, std::u16string_view text) {
  return Draw(x, y, text, quarterTurns_, std::nullopt);
}

std::optional<Rect> DeviceContext::DrawText(std::u16string_view text, const Rect& box, uint32_t format) {
  if (!face_ || !bitmap_) return std::nullopt;
  const std::optional<Size> extent = TextExtent(text);
  if (!extent) return std::nullopt;
  // Sums in 64 bits: a box near the ends of the 32-bit range must not overflow.
  int64_t x = box.left;
  if (format & DT_CENTER) {
    x = (static_cast<int64_t>(box.left) + box.right - extent->cx) / 2;
  } else if (format & DT_RIGHT) {
    x = static_cast<int64_t>(box.right) - extent->cx;
  }
  int64_t y = box.top;
  if (format & DT_VCENTER) y = (static_cast<int64_t>(box.top) + box.bottom - extent->cy) / 2;
  const auto clamp = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
  const Rect cell{clamp(x), clamp(y), clamp(x + extent->cx), clamp(y + extent->cy)};
  std::optional<Rect> clip;
  if (!(format & DT_NOCLIP)) clip = box;
  Draw(cell.left, cell.top, text, 0, clip);
  return cell;
}

bool DeviceContext::Draw(int32_t x, int32_t y, std::u16string_view text, int32_t quarterTurns,
                         const std::optional<Rect>& clip) {
  if (!face_ || !bitmap_) return false;
  const FontMetrics metrics = face_->Metrics();
  const int32_t cell = metrics.ascent + metrics.descent;
  const std::u32string points = CodePoints(text);
  std::vector<int32_t> advances;
  advances.reserve(points.size());
  int64_t total = 0;
  for (char32_t c : points) {
    advances.push_back(face_->Advance(c));
    total += advances.back();
  }
  if (backgroundMode_ == BackgroundMode::Opaque) {
    for (int32_t v = 0; v < cell; ++v) {
      for (int64_t u = 0; u < total; ++u) Plot(x, y, u, v, quarterTurns, clip, backgroundColour_);
    }
  }
  int64_t pen = 0;
  for (size_t i = 0; i < points.size(); ++i) {
    const GlyphImage glyph = face_->Glyph(points[i]);
    for (int32_t gy = 0; gy < glyph.rows; ++gy) {
      for (int32_t gx = 0; gx < glyph.width; ++gx) {
        if (glyph.pixels[static_cast<size_t>(gy) * glyph.width + gx] == 0) continue;
        Plot(x, y, pen + glyph.left + gx, metrics.ascent - glyph.top + gy, quarterTurns, clip, textColour_);
      }
    }
    pen += advances[i];
  }
  if (font_.underline) {
    for (int32_t t = 0; t < metrics.underlineThickness; ++t) {
      for (int64_t u = 0; u < total; ++u) {
        Plot(x, y, u, metrics.ascent + metrics.underlinePosition + t, quarterTurns, clip, textColour_);
      }
    }
  }
  return true;
}

void DeviceContext::Plot(int64_t x, int64_t y, int64_t u, int64_t v, int32_t quarterTurns,
                         const std::optional<Rect>& clip, Rgb colour) {
  // The pixel at (u, v) of the upright text covers the unit square from that corner; turned
  // counter-clockwise about (x, y) it covers the pixel named here.
  int64_t px = x + u, py = y + v;
  switch (quarterTurns) {
    case 1: px = x + v; py = y - u - 1; break;
    case 2: px = x - u - 1; py = y - v - 1; break;
    case 3: px = x - v - 1; py = y + u; break;
    default: break;
  }
  if (px < 0 || py < 0 || px >= bitmap_->Width() || py >= bitmap_->Height()) return;
  if (clip && (px < clip->left || py < clip->top || px >= clip->right || py >= clip->bottom)) return;
  bitmap_->SetPixel(static_cast<int32_t>(px), static_cast<int32_t>(py), colour);
}

}  // namespace rzd::gdi
