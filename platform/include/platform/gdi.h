// Drawing: device-independent bitmaps, fonts found by face name, and text measured and drawn into
// bitmaps through a memory device context.
//
// Bitmaps keep the Windows layout that their users rely on: rows of a multiple of 4 bytes,
// bottom-up (the last row in memory is the top row) unless made top-down, 1 bit per pixel with a
// two-entry palette, or 24 / 32 bits per pixel in blue, green, red (, unused) order. Coordinates
// count from the top-left pixel whatever the row order; drawing outside the bitmap is clipped.
//
// Fonts are named by face. A font file added for the process (AddPrivateFont) serves its families
// first. Faces this machine does not have are replaced by Debian's fonts: "Courier New" by
// Liberation Mono, Arial by Liberation Sans, Calibri by Carlito, SimSun by AR PL UMing (a Ming
// face with the Chinese characters), and every other face that fontconfig cannot find exactly
// (such as "Microsoft Sans Serif") by DejaVu Sans. Text is drawn monochrome (no smoothing), so a
// 1-bit bitmap receives exactly the pixels of the glyphs.
//
// Glyphs come from a GlyphSource: the system one renders with FreeType; tests hand a device
// context a fixed source of their own so that what it draws does not depend on the fonts
// installed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::gdi {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};

struct Size {
  int32_t cx = 0, cy = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// A rectangle: the pixels from (left, top) up to, not including, (right, bottom).
struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// ---- Bitmaps.

struct BitmapInfo {
  int32_t width = 0;
  int32_t height = 0;
  uint16_t bitsPerPixel = 1;  // 1, 24 or 32
  bool bottomUp = true;       // a positive height in the bitmap's header
  std::vector<Rgb> palette;   // 1 bit per pixel: exactly two entries
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
};

// Largest side of a bitmap, in pixels.
inline constexpr int32_t kMaxBitmapSide = 32768;

class Bitmap {
 public:
  // A zero-filled bitmap; null when the sides are not 1 to kMaxBitmapSide, the depth is not 1, 24
  // or 32, or a 1-bit bitmap does not have two palette entries.
  static std::shared_ptr<Bitmap> Create(const BitmapInfo& info);

  const BitmapInfo& Info() const { return info_; }
  int32_t Width() const { return info_.width; }
  int32_t Height() const { return info_.height; }
  // Bytes per row (a multiple of 4) and of the whole image.
  size_t Stride() const { return stride_; }
  size_t ImageSize() const { return bits_.size(); }
  // The pixel bytes as they lie in memory (for a bottom-up bitmap the bottom row first).
  std::span<uint8_t> Bits() { return bits_; }
  std::span<const uint8_t> Bits() const { return bits_; }
  // The bytes of row `y` counted from the top; empty outside the bitmap.
  std::span<uint8_t> Row(int32_t y);
  std::span<const uint8_t> Row(int32_t y) const;

  // One pixel; ignored (or black) outside the bitmap. A 1-bit bitmap stores the palette index
  // nearest to the colour.
  void SetPixel(int32_t x, int32_t y, Rgb colour);
  Rgb GetPixel(int32_t x, int32_t y) const;
  void Fill(Rgb colour);

 private:
  explicit Bitmap(const BitmapInfo& info);
  uint8_t NearestIndex(Rgb colour) const;
  BitmapInfo info_;
  size_t stride_ = 0;
  std::vector<uint8_t> bits_;
};

// A bitmap of 24 or 32 bits per pixel whose bits the caller reads and writes (a DIB section):
// zero-filled, bottom-up. Null for other depths or sides outside 1 to kMaxBitmapSide.
std::shared_ptr<Bitmap> CreateDibSection(int32_t width, int32_t height, uint16_t bitsPerPixel);

// The pixels of a bitmap read back as 32 bits per pixel (blue, green, red, 0), rows bottom-up,
// width x 4 bytes each, whatever the bitmap's own depth and row order.
std::vector<uint8_t> ReadBits32(const Bitmap& bitmap);

// A plain copy (SRCCOPY) of the `width` x `height` pixels at (sourceX, sourceY) of `source` to
// (x, y) of `target`. Only pixels inside both bitmaps are copied: where the area passes an edge
// of the source, the target keeps its pixels. Colours pass through the palettes of 1-bit bitmaps.
void BitBlt(Bitmap& target, int32_t x, int32_t y, int32_t width, int32_t height, const Bitmap& source,
            int32_t sourceX, int32_t sourceY);

// Saves `width` x `height` colours (rows top first) as an 8-bit RGB PNG file; false on failure.
bool WritePngFile(const std::filesystem::path& file, int32_t width, int32_t height, std::span<const Rgb> pixels);
// Saves a bitmap as a PNG file, each pixel as a `scale` x `scale` block (1 to 64).
bool WritePngFile(const std::filesystem::path& file, const Bitmap& bitmap, int32_t scale = 1);
// A PNG file as a 24-bit bitmap (alpha laid over white); null when it cannot be read or a side
// passes kMaxBitmapSide.
std::shared_ptr<Bitmap> ReadPngFile(const std::filesystem::path& file);

// ---- Fonts and glyphs.

struct LogFont {
  std::u16string face;
  int32_t height = 0;      // < 0: character height -height; > 0: cell height; 0: 12 pixels
  int32_t width = 0;       // average character width; 0: the face's own proportions
  int32_t escapement = 0;  // text direction in tenths of a degree, counter-clockwise: 0, 900,
                           // 1800 or 2700 (any other value draws as 0)
  int32_t weight = 400;    // 700 and above: bold
  bool underline = false;
};

// Sizes of an opened font, in pixels.
struct FontMetrics {
  int32_t ascent = 0;              // above the baseline
  int32_t descent = 0;             // below it; ascent + descent is the cell height
  int32_t underlinePosition = 0;   // top of the underline, below the baseline
  int32_t underlineThickness = 1;
};

// One glyph, upright: `rows` rows of `width` pixels (one byte each, non-zero is ink), whose
// top-left pixel lies `left` pixels right of the pen and `top` pixels above the baseline.
struct GlyphImage {
  int32_t width = 0;
  int32_t rows = 0;
  int32_t left = 0;
  int32_t top = 0;
  std::vector<uint8_t> pixels;
};

// A font opened at its size.
class FontFace {
 public:
  virtual ~FontFace() = default;
  virtual FontMetrics Metrics() const = 0;
  // The pen advance of a character.
  virtual int32_t Advance(char32_t c) = 0;
  virtual GlyphImage Glyph(char32_t c) = 0;
};

class GlyphSource {
 public:
  virtual ~GlyphSource() = default;
  // The face for a font (its size, width and weight; escapement and underline are the device
  // context's). Null when no face can be opened.
  virtual std::shared_ptr<FontFace> Open(const LogFont& font) = 0;
};

// FreeType with fontconfig; one per process, safe to use from several threads.
std::shared_ptr<GlyphSource> SystemGlyphSource();

// The family a face name is drawn with: the substitute of a known face, the face itself when
// fontconfig has it, else DejaVu Sans.
std::u16string SubstituteFace(std::u16string_view face);

// The font file for a face (after substitution); nullopt when fontconfig finds none.
struct FontFile {
  std::filesystem::path path;
  int32_t index = 0;      // face index within the file
  bool bold = false;      // the file's face is itself bold
  std::u16string family;  // the family fontconfig matched
};
std::optional<FontFile> FindFontFile(std::u16string_view face, bool bold);

// Adds the faces of a font file for this process only, until RemovePrivateFont: their family
// names are found before every substitute and installed font. The number of faces added; 0 when
// the file holds no font fontconfig can read. Adding a file again counts once more.
int32_t AddPrivateFont(const std::filesystem::path& file);
// Takes back one AddPrivateFont of the file; false when it was not added.
bool RemovePrivateFont(const std::filesystem::path& file);

// ---- Memory device context.

enum class BackgroundMode : uint8_t { Transparent, Opaque };

// DrawText formats. Text is drawn on one line; without DT_NOCLIP nothing is drawn outside the box.
inline constexpr uint32_t DT_LEFT = 0x0;
inline constexpr uint32_t DT_CENTER = 0x1;
inline constexpr uint32_t DT_RIGHT = 0x2;
inline constexpr uint32_t DT_VCENTER = 0x4;
inline constexpr uint32_t DT_SINGLELINE = 0x20;
inline constexpr uint32_t DT_NOCLIP = 0x100;

class DeviceContext {
 public:
  explicit DeviceContext(std::shared_ptr<GlyphSource> glyphs = SystemGlyphSource());

  void SelectBitmap(std::shared_ptr<Bitmap> bitmap) { bitmap_ = std::move(bitmap); }
  const std::shared_ptr<Bitmap>& SelectedBitmap() const { return bitmap_; }
  // False when no face can be opened for it (the previous font stays selected).
  bool SelectFont(const LogFont& font);
  void SetTextColor(Rgb colour) { textColour_ = colour; }
  void SetBkColor(Rgb colour) { backgroundColour_ = colour; }
  void SetBkMode(BackgroundMode mode) { backgroundMode_ = mode; }

  // Width (the sum of the advances) and cell height of a text in the selected font; the
  // escapement does not change them. nullopt without a font. 8-bit text is in the ANSI code page.
  std::optional<Size> TextExtent(std::string_view ansi);
  std::optional<Size> TextExtent(std::u16string_view text);
  // The advance of one character; nullopt without a font.
  std::optional<int32_t> CharWidth(char32_t c);

  // Draws a text with the top-left corner of its cell at (x, y), the cell turned by the font's
  // escapement around that point. With an opaque background the cell is filled first. False
  // without a font or a bitmap.
  bool TextOut(int32_t x, int32_t y, std::string_view ansi);
  bool TextOut(int32_t x, int32_t y, std::u16string_view text);

  // Draws a text on one line in `box` (upright whatever the escapement): at its left edge, centred
  // (DT_CENTER: x = (left + right - width) / 2) or at its right edge, at its top or vertically
  // centred (DT_VCENTER: y = (top + bottom - cell height) / 2), clipped to the box unless
  // DT_NOCLIP. The rectangle of the text's cell (before clipping); nullopt without a font or a
  // bitmap.
  std::optional<Rect> DrawText(std::u16string_view text, const Rect& box, uint32_t format);

 private:
  // Draws upright or turned text with its cell's corner at (x, y), nothing outside `clip`.
  bool Draw(int32_t x, int32_t y, std::u16string_view text, int32_t quarterTurns, const std::optional<Rect>& clip);
  // Turns a pixel at (u, v) of the text's own frame into bitmap coordinates and sets it.
  void Plot(int64_t x, int64_t y, int64_t u, int64_t v, int32_t quarterTurns, const std::optional<Rect>& clip,
            Rgb colour);

  std::shared_ptr<GlyphSource> glyphs_;
  std::shared_ptr<Bitmap> bitmap_;
  std::shared_ptr<FontFace> face_;
  LogFont font_;
  int32_t quarterTurns_ = 0;
  Rgb textColour_ = kBlack;
  Rgb backgroundColour_ = kWhite;
  BackgroundMode backgroundMode_ = BackgroundMode::Opaque;
};

}  // namespace rzd::gdi
