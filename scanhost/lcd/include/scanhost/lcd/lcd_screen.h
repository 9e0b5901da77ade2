// One LCD profile screen: the bitmaps it is drawn from, what it shows, where each part lands, and
// the buffer the unit takes it in.
#pragma once

#include "platform/gdi.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::scanhost::lcd {

// The screen and the buffer it is uploaded in.
inline constexpr int32_t kScreenWidth = 128;
inline constexpr int32_t kScreenHeight = 92;
inline constexpr size_t kUploadTrailerBytes = 26;
inline constexpr size_t kUploadBufferBytes = 54 + kScreenWidth * kScreenHeight * 3 + kUploadTrailerBytes;  // 35408

// The BITMAP resources the screens are drawn from (24-bit pictures of this module).
namespace bitmap {
inline constexpr uint32_t kBackground = 202;      // 128 x 92
inline constexpr uint32_t kResolutionLine = 206;  // 96 x 16
inline constexpr uint32_t kIconBmp = 208;         // 28 x 28 each icon
inline constexpr uint32_t kIconGif = 209;
inline constexpr uint32_t kIconJpeg = 210;
inline constexpr uint32_t kIconPdf = 211;          // PDF, searchable PDF, normal PDF, PDF/A
inline constexpr uint32_t kIconPng = 212;
inline constexpr uint32_t kFormatLabel = 213;      // 24 x 10
inline constexpr uint32_t kIconTiff = 214;
inline constexpr uint32_t kIconDocument = 215;     // TXT, RTF, DOC, CSV, XLS, HTML, DOCX
inline constexpr uint32_t kNameBox = 216;          // 92 x 32
inline constexpr uint32_t kColourLine = 218;       // 96 x 16
inline constexpr uint32_t kPaperLine = 220;        // 96 x 16
inline constexpr uint32_t kDefaultScreen = 221;    // 128 x 92
}  // namespace bitmap

// A resource of the screens as a bitmap of its own (drawing on it changes no other copy).
std::shared_ptr<gdi::Bitmap> LoadScreenBitmap(uint32_t id);

// The output format of a profile's Transfer value (its low 20 bits; any unknown value is BMP).
struct OutputFormat {
  std::u16string_view text;
  uint32_t icon = bitmap::kIconBmp;
};
OutputFormat FormatOfTransfer(uint32_t transfer);

// The face and the line height the texts are drawn with.
struct ScreenFont {
  std::u16string face;
  int32_t lineHeight = 14;
};

// What one profile screen shows.
struct ScreenContent {
  std::u16string name;
  std::optional<OutputFormat> format;       // none: neither icon nor label
  std::shared_ptr<gdi::Bitmap> linkIcon;    // none: no icon
  std::u16string colourMode;
  std::u16string resolution;                // "300 DPI"
  std::u16string paper;
};

// Where a part of the screen landed, in screen coordinates: the bitmap copied (its resource id,
// 0 for the link icon) and, for a text, the cell of the text as drawn on it.
struct PlacedItem {
  uint32_t bitmap = 0;
  gdi::Rect placed;
  std::optional<gdi::Rect> text;
};

struct DrawnScreen {
  std::shared_ptr<gdi::Bitmap> screen;
  std::vector<PlacedItem> items;
};

// Draws a profile screen on the background: the name box at (36, 5), the link icon at x 5 centred
// on y 21, the format icon at (98, 48) with its label at (100, 76), the colour-mode, resolution and
// paper-size lines at (2, 43), (2, 59) and (2, 76). Texts are black on their bitmaps' default
// opaque background, weight 400. nullopt when a resource is missing or no font opens.
std::optional<DrawnScreen> DrawProfileScreen(const ScreenContent& content, const ScreenFont& font,
                                             const std::shared_ptr<gdi::GlyphSource>& glyphs = gdi::SystemGlyphSource());

// The buffer a screen is uploaded in: a bitmap file of 24 bits per pixel (rows bottom-up, no
// padding) taken from the screen read back as 32 bits, followed by 26 zero bytes.
std::vector<uint8_t> UploadBuffer(const gdi::Bitmap& screen);

// The unit's slot of a profile key ("F4") or a function number: "F4N33".
inline constexpr int kScreensPerSlot = 33;
std::u16string SlotName(std::u16string_view key);

}  // namespace rzd::scanhost::lcd
