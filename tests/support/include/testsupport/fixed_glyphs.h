// A glyph source whose glyphs do not depend on the fonts installed, so tests can state exactly
// what a device context draws. Every face and size gives the same glyphs:
// - ascent 10, descent 3 (a cell of 13 rows); underline 1 row below the baseline, 1 row thick;
// - advance 6 for the digits 0-9, 4 for every other character; a font with a width takes that
//   width as every advance;
// - the glyph of character c is a solid block (advance - 1) pixels wide and 1 + (c mod 8) rows
//   high, standing on the baseline at the pen.
#pragma once

#include "platform/gdi.h"

#include <memory>

namespace rzd::test {

class FixedGlyphSource final : public gdi::GlyphSource {
 public:
  static constexpr int32_t kAscent = 10;
  static constexpr int32_t kDescent = 3;
  static int32_t AdvanceOf(char32_t c) { return c >= U'0' && c <= U'9' ? 6 : 4; }
  static int32_t HeightOf(char32_t c) { return 1 + static_cast<int32_t>(c % 8); }

  std::shared_ptr<gdi::FontFace> Open(const gdi::LogFont& font) override {
    return std::make_shared<Face>(font.width);
  }

 private:
  class Face final : public gdi::FontFace {
   public:
    explicit Face(int32_t width) : width_(width) {}
    gdi::FontMetrics Metrics() const override { return {kAscent, kDescent, 1, 1}; }
    int32_t Advance(char32_t c) override { return width_ > 0 ? width_ : AdvanceOf(c); }
    gdi::GlyphImage Glyph(char32_t c) override {
      gdi::GlyphImage g;
      g.width = Advance(c) - 1;
      g.rows = HeightOf(c);
      g.left = 0;
      g.top = g.rows;
      g.pixels.assign(static_cast<size_t>(g.width) * g.rows, 1);
      return g;
    }

   private:
    int32_t width_;
  };
};

}  // namespace rzd::test
