// The system's glyph source: FreeType renders the faces fontconfig finds, monochrome and hinted.
#include "platform/gdi.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <mutex>

namespace rzd::gdi {

namespace {

// Pixel sizes a font may ask for.
constexpr int32_t kMaxPixelSize = 2048;
constexpr int32_t kDefaultHeight = 12;

int32_t Clamp(double value) {
  if (!(value >= 1.0)) return 1;
  return static_cast<int32_t>(std::min<double>(std::lround(value), kMaxPixelSize));
}

// FreeType's library and faces are used one call at a time.
struct Library {
  std::mutex lock;
  FT_Library handle = nullptr;
};

class FreeTypeFace final : public FontFace {
 public:
  FreeTypeFace(std::shared_ptr<Library> library, FT_Face face, bool embolden)
      : library_(std::move(library)), face_(face), embolden_(embolden) {}
  ~FreeTypeFace() override {
    std::lock_guard guard(library_->lock);
    FT_Done_Face(face_);
  }

  FontMetrics Metrics() const override {
    std::lock_guard guard(library_->lock);
    FontMetrics m;
    const FT_Size_Metrics& size = face_->size->metrics;
    m.ascent = static_cast<int32_t>((size.ascender + 63) >> 6);
    m.descent = static_cast<int32_t>((-size.descender + 63) >> 6);
    const double scale = static_cast<double>(size.y_ppem) / std::max<int>(face_->units_per_EM, 1);
    m.underlineThickness = std::max<int32_t>(1, static_cast<int32_t>(std::lround(face_->underline_thickness * scale)));
    const int32_t centre = static_cast<int32_t>(std::lround(-face_->underline_position * scale));
    m.underlinePosition = std::max<int32_t>(1, centre - m.underlineThickness / 2);
    return m;
  }

  int32_t Advance(char32_t c) override {
    std::lock_guard guard(library_->lock);
    if (!Load(c)) return 0;
    return static_cast<int32_t>((face_->glyph->advance.x + 32) >> 6);
  }

  GlyphImage Glyph(char32_t c) override {
    std::lock_guard guard(library_->lock);
    GlyphImage image;
    if (!Load(c) || FT_Render_Glyph(face_->glyph, FT_RENDER_MODE_MONO) != 0) return image;
    const FT_Bitmap& bitmap = face_->glyph->bitmap;
    image.width = static_cast<int32_t>(bitmap.width);
    image.rows = static_cast<int32_t>(bitmap.rows);
    image.left = face_->glyph->bitmap_left;
    image.top = face_->glyph->bitmap_top;
    image.pixels.assign(static_cast<size_t>(image.width) * image.rows, 0);
    for (int32_t y = 0; y < image.rows; ++y) {
      const unsigned char* row = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
      for (int32_t x = 0; x < image.width; ++x) {
        const bool ink = bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? (row[x / 8] & (0x80 >> (x % 8))) != 0
                                                                 : row[x] >= 128;
        image.pixels[static_cast<size_t>(y) * image.width + x] = ink ? 1 : 0;
      }
    }
    return image;
  }

 private:
  bool Load(char32_t c) {
    if (FT_Load_Char(face_, c, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0) return false;
    if (embolden_) FT_GlyphSlot_Embolden(face_->glyph);
    return true;
  }

  std::shared_ptr<Library> library_;
  FT_Face face_;
  bool embolden_;
};

class FreeTypeSource final : public GlyphSource {
 public:
  FreeTypeSource() : library_(std::make_shared<Library>()) {
    if (FT_Init_FreeType(&library_->handle) != 0) library_->handle = nullptr;
  }
  // The library lives as long as the process (faces still open at exit keep using it).

  std::shared_ptr<FontFace> Open(const LogFont& font) override {
    const bool bold = font.weight >= 700;
    const std::optional<FontFile> file = FindFontFile(font.face, bold);
    if (!file) return nullptr;
    std::lock_guard guard(library_->lock);
    if (!library_->handle) return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Face(library_->handle, file->path.c_str(), file->index, &face) != 0) return nullptr;
    const double units = std::max<int>(face->units_per_EM, 1);
    int32_t pixels = kDefaultHeight;
    if (font.height < 0) {
      pixels = Clamp(-static_cast<double>(font.height));
    } else if (font.height > 0) {
      const double cell = std::max<double>(face->ascender - face->descender, 1.0);
      pixels = Clamp(font.height * units / cell);
    }
    int32_t widthPixels = pixels;
    if (font.width > 0) {
      const TT_OS2* os2 = nullptr;
      double average = units / 2;
      if (FT_IS_SFNT(face) && face->num_fixed_sizes == 0) {
        os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        if (os2 && os2->xAvgCharWidth > 0) average = os2->xAvgCharWidth;
      }
      widthPixels = Clamp(font.width * units / average);
    }
    if (FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(widthPixels), static_cast<FT_UInt>(pixels)) != 0) {
      FT_Done_Face(face);
      return nullptr;
    }
    return std::make_shared<FreeTypeFace>(library_, face, bold && !file->bold);
  }

 private:
  std::shared_ptr<Library> library_;
};

}  // namespace

std::shared_ptr<GlyphSource> SystemGlyphSource() {
  static std::shared_ptr<GlyphSource>* const source = new std::shared_ptr<GlyphSource>(std::make_shared<FreeTypeSource>());
  return *source;
}

}  // namespace rzd::gdi
