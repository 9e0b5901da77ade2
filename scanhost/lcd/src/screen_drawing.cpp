// A profile screen drawn from the module's bitmaps.
#include "scanhost/lcd/lcd_screen.h"

#include "platform/picture.h"
#include "platform/text.h"

namespace rzd::scanhost::lcd {

namespace {

constexpr int32_t kNameHeight = 18;
constexpr int32_t kLabelHeight = 10;
constexpr uint32_t kLineFormat = gdi::DT_LEFT | gdi::DT_VCENTER | gdi::DT_SINGLELINE;
constexpr uint32_t kCentredFormat = gdi::DT_CENTER | gdi::DT_VCENTER | gdi::DT_SINGLELINE;

struct FormatEntry {
  uint32_t transfer;
  OutputFormat format;
};
constexpr FormatEntry kFormats[] = {
    {0x10, {u"TXT", bitmap::kIconDocument}},     {0x20, {u"RTF", bitmap::kIconDocument}},
    {0x40, {u"DOC", bitmap::kIconDocument}},     {0x80, {u"CSV", bitmap::kIconDocument}},
    {0x100, {u"XLS", bitmap::kIconDocument}},    {0x200, {u"HTML", bitmap::kIconDocument}},
    {0x400, {u"sPDF", bitmap::kIconPdf}},        {0x800, {u"nPDF", bitmap::kIconPdf}},
    {0x1000, {u"GIF", bitmap::kIconGif}},        {0x2000, {u"PNG", bitmap::kIconPng}},
    {0x4000, {u"DOCX", bitmap::kIconDocument}},  {0x8000, {u"PDFA", bitmap::kIconPdf}},
    {0x10008, {u"PDF", bitmap::kIconPdf}},       {0x20002, {u"JPEG", bitmap::kIconJpeg}},
    {0x30004, {u"TIFF", bitmap::kIconTiff}},
};
constexpr OutputFormat kBmp{u"BMP", bitmap::kIconBmp};

// Draws `text` into a copy of bitmap `id` and places it on the screen at (x, y).
bool PlaceText(DrawnScreen& drawn, gdi::DeviceContext& dc, uint32_t id, int32_t x, int32_t y,
               std::u16string_view text, const gdi::Rect& box, uint32_t format) {
  const std::shared_ptr<gdi::Bitmap> part = LoadScreenBitmap(id);
  if (!part) return false;
  dc.SelectBitmap(part);
  const std::optional<gdi::Rect> cell = dc.DrawText(text, box, format);
  if (!cell) return false;
  gdi::BitBlt(*drawn.screen, x, y, part->Width(), part->Height(), *part, 0, 0);
  drawn.items.push_back({id, gdi::Rect{x, y, x + part->Width(), y + part->Height()},
                         gdi::Rect{x + cell->left, y + cell->top, x + cell->right, y + cell->bottom}});
  return true;
}

bool PlaceBitmap(DrawnScreen& drawn, uint32_t id, const gdi::Bitmap& part, int32_t x, int32_t y) {
  gdi::BitBlt(*drawn.screen, x, y, part.Width(), part.Height(), part, 0, 0);
  drawn.items.push_back({id, gdi::Rect{x, y, x + part.Width(), y + part.Height()}, std::nullopt});
  return true;
}

gdi::LogFont Font(const ScreenFont& font, int32_t height) {
  gdi::LogFont logFont;
  logFont.face = font.face;
  logFont.height = height;
  logFont.weight = 400;
  return logFont;
}

}  // namespace

std::shared_ptr<gdi::Bitmap> LoadScreenBitmap(uint32_t id) {
  return LoadBitmapResource(reinterpret_cast<const void*>(&LoadScreenBitmap), id);
}

OutputFormat FormatOfTransfer(uint32_t transfer) {
  const uint32_t low = transfer & 0xFFFFF;
  for (const FormatEntry& entry : kFormats) {
    if (entry.transfer == low) return entry.format;
  }
  return kBmp;
}

std::optional<DrawnScreen> DrawProfileScreen(const ScreenContent& content, const ScreenFont& font,
                                             const std::shared_ptr<gdi::GlyphSource>& glyphs) {
  DrawnScreen drawn;
  drawn.screen = LoadScreenBitmap(bitmap::kBackground);
  if (!drawn.screen) return std::nullopt;
  gdi::DeviceContext dc(glyphs);
  dc.SetTextColor(gdi::kBlack);

  if (!dc.SelectFont(Font(font, kNameHeight)) ||
      !PlaceText(drawn, dc, bitmap::kNameBox, 36, 5, content.name, gdi::Rect{0, 0, 92, 32}, kCentredFormat)) {
    return std::nullopt;
  }
  if (content.format) {
    const std::shared_ptr<gdi::Bitmap> icon = LoadScreenBitmap(content.format->icon);
    if (!icon || !dc.SelectFont(Font(font, kLabelHeight))) return std::nullopt;
    PlaceBitmap(drawn, content.format->icon, *icon, 98, 48);
    if (!PlaceText(drawn, dc, bitmap::kFormatLabel, 100, 76, content.format->text, gdi::Rect{0, 0, 24, 10},
                   kCentredFormat)) {
      return std::nullopt;
    }
  }
  if (content.linkIcon) {
    PlaceBitmap(drawn, 0, *content.linkIcon, 5, 21 - content.linkIcon->Height() / 2);
  }
  if (!dc.SelectFont(Font(font, font.lineHeight))) return std::nullopt;
  const gdi::Rect line{1, 0, 96, 16};
  if (!PlaceText(drawn, dc, bitmap::kColourLine, 2, 43, content.colourMode, line, kLineFormat) ||
      !PlaceText(drawn, dc, bitmap::kResolutionLine, 2, 59, content.resolution, line, kLineFormat) ||
      !PlaceText(drawn, dc, bitmap::kPaperLine, 2, 76, content.paper, line, kLineFormat)) {
    return std::nullopt;
  }
  return drawn;
}

std::u16string SlotName(std::u16string_view key) { return std::u16string(key) + FormatW(u"N%d", kScreensPerSlot); }

}  // namespace rzd::scanhost::lcd
