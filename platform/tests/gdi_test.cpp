// Bitmaps, face substitutes and text drawn through a memory device context: with a fixed glyph
// source where the exact pixels matter, and with the machine's fonts (FreeType) for what real
// glyphs must show.
#include "platform/gdi.h"
#include "testsupport/fixed_glyphs.h"
#include "testsupport/pictures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace rzd::gdi {
namespace {

std::shared_ptr<Bitmap> MonoBitmap(int32_t width, int32_t height) {
  BitmapInfo info;
  info.width = width;
  info.height = height;
  info.palette = {kBlack, kWhite};
  return Bitmap::Create(info);
}

// The set pixels of a 1-bit bitmap, as rows of '#' and '.', top first.
std::vector<std::string> Picture(const Bitmap& bitmap) {
  std::vector<std::string> rows;
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    std::string row;
    for (int32_t x = 0; x < bitmap.Width(); ++x) row += bitmap.GetPixel(x, y) == kWhite ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

// The box around every set pixel: left, top, right, bottom (inclusive); all -1 when none is set.
struct Box {
  int32_t left = -1, top = -1, right = -1, bottom = -1;
};
Box InkBox(const Bitmap& bitmap) {
  Box box;
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    for (int32_t x = 0; x < bitmap.Width(); ++x) {
      if (bitmap.GetPixel(x, y) != kWhite) continue;
      if (box.left < 0 || x < box.left) box.left = x;
      if (box.top < 0) box.top = y;
      if (x > box.right) box.right = x;
      box.bottom = y;
    }
  }
  return box;
}

TEST(GdiBitmap, RowsOfFourByteMultiplesBottomUpUnlessAskedOtherwise) {
  const std::shared_ptr<Bitmap> glyphs = MonoBitmap(12, 1024);
  ASSERT_TRUE(glyphs);
  EXPECT_EQ(glyphs->Stride(), 4u);
  EXPECT_EQ(glyphs->ImageSize(), 4096u);
  // The top row is the last in memory.
  glyphs->SetPixel(0, 0, kWhite);
  glyphs->SetPixel(11, 1023, kWhite);
  EXPECT_EQ(glyphs->Bits()[4092], 0x80);
  EXPECT_EQ(glyphs->Bits()[1], 0x10);
  EXPECT_EQ(glyphs->Row(0).data(), glyphs->Bits().data() + 4092);

  BitmapInfo colour;
  colour.width = 3;
  colour.height = 2;
  colour.bitsPerPixel = 24;
  colour.bottomUp = false;
  const std::shared_ptr<Bitmap> rgb = Bitmap::Create(colour);
  ASSERT_TRUE(rgb);
  EXPECT_EQ(rgb->Stride(), 12u);
  rgb->SetPixel(1, 0, Rgb{1, 2, 3});
  EXPECT_EQ(rgb->Bits()[3], 3);  // blue, green, red
  EXPECT_EQ(rgb->Bits()[5], 1);
  EXPECT_EQ(rgb->GetPixel(1, 0), (Rgb{1, 2, 3}));
  colour.bitsPerPixel = 32;
  EXPECT_EQ(Bitmap::Create(colour)->Stride(), 12u);
}

TEST(GdiBitmap, BadShapesAreRefusedAndDrawingOutsideIsClipped) {
  BitmapInfo info;
  info.width = 12;
  info.height = 4;
  EXPECT_FALSE(Bitmap::Create(info)) << "a 1-bit bitmap needs two palette entries";
  info.palette = {kBlack, kWhite};
  for (auto [w, h, bits] : std::vector<std::tuple<int32_t, int32_t, uint16_t>>{
           {0, 4, 1}, {12, -1, 1}, {kMaxBitmapSide + 1, 1, 1}, {12, 4, 8}, {12, 4, 16}}) {
    info.width = w;
    info.height = h;
    info.bitsPerPixel = bits;
    EXPECT_FALSE(Bitmap::Create(info)) << w << "x" << h << "x" << bits;
  }
  const std::shared_ptr<Bitmap> bitmap = MonoBitmap(12, 4);
  for (auto [x, y] : std::vector<std::pair<int32_t, int32_t>>{{-1, 0}, {12, 0}, {0, -1}, {0, 4}, {INT32_MIN, INT32_MAX}}) {
    bitmap->SetPixel(x, y, kWhite);
  }
  EXPECT_EQ(InkBox(*bitmap).left, -1);
  EXPECT_TRUE(bitmap->Row(4).empty());
}

TEST(GdiFaces, KnownFacesBecomeDebiansAndUnknownOnesDejaVuSans) {
  struct Case {
    std::u16string face;
    std::u16string family;
  };
  const Case cases[] = {
      {u"Courier New", u"Liberation Mono"},   {u"Courier new", u"Liberation Mono"},
      {u"Arial", u"Liberation Sans"},         {u"Calibri", u"Carlito"},
      {u"Microsoft Sans Serif", u"DejaVu Sans"}, {u"No Such Face 1234", u"DejaVu Sans"},
      {u"", u"DejaVu Sans"},                  {u"DejaVu Sans Mono", u"DejaVu Sans Mono"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SubstituteFace(c.face), c.family);
    const std::optional<FontFile> file = FindFontFile(c.face, false);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->family, c.family);
    EXPECT_TRUE(std::filesystem::exists(file->path)) << file->path;
  }
  const std::optional<FontFile> bold = FindFontFile(u"Courier New", true);
  ASSERT_TRUE(bold);
  EXPECT_TRUE(bold->bold);
  EXPECT_NE(bold->path, FindFontFile(u"Courier New", false)->path);
}

TEST(GdiText, FixedGlyphsLandWhereTheEscapementTurnsThem) {
  for (int32_t escapement : {0, 900, 1800, 2700}) {
    const std::shared_ptr<Bitmap> bitmap = MonoBitmap(40, 40);
    DeviceContext dc(std::make_shared<test::FixedGlyphSource>());
    dc.SelectBitmap(bitmap);
    LogFont font;
    font.escapement = escapement;
    ASSERT_TRUE(dc.SelectFont(font));
    dc.SetBkMode(BackgroundMode::Transparent);
    dc.SetTextColor(kWhite);
    // "10": "1" (0x31: 2 rows high, 5 wide) then "0" (0x30: 1 row high, 5 wide), pen 6 each.
    ASSERT_TRUE(dc.TextOut(20, 20, "10"));
    const Box box = InkBox(*bitmap);
    switch (escapement) {
      case 0:  // rows 28-29 (the baseline below row 29), columns 20-24 and 26-30
        EXPECT_EQ(box.left, 20);
        EXPECT_EQ(box.right, 30);
        EXPECT_EQ(box.top, 28);
        EXPECT_EQ(box.bottom, 29);
        EXPECT_EQ(bitmap->GetPixel(26, 28), kBlack) << "the 0 is one row high";
        break;
      case 900:  // upward from row 19: rows 9-19, columns 28-29
        EXPECT_EQ(box.left, 28);
        EXPECT_EQ(box.right, 29);
        EXPECT_EQ(box.top, 9);
        EXPECT_EQ(box.bottom, 19);
        EXPECT_EQ(bitmap->GetPixel(28, 13), kBlack) << "the 0 is one column";
        EXPECT_EQ(bitmap->GetPixel(28, 19), kWhite);
        break;
      case 1800:  // leftward from column 19, upside down: rows 10-11, columns 9-19
        EXPECT_EQ(box.left, 9);
        EXPECT_EQ(box.right, 19);
        EXPECT_EQ(box.top, 10);
        EXPECT_EQ(box.bottom, 11);
        EXPECT_EQ(bitmap->GetPixel(13, 11), kBlack);
        break;
      case 2700:  // downward from row 20, the cell's top at the right: columns 10-11
        EXPECT_EQ(box.left, 10);
        EXPECT_EQ(box.right, 11);
        EXPECT_EQ(box.top, 20);
        EXPECT_EQ(box.bottom, 30);
        EXPECT_EQ(bitmap->GetPixel(11, 26), kBlack);
        break;
    }
  }
}

TEST(GdiText, ExtentsUnderlineOpaqueCellsAndClipping) {
  const std::shared_ptr<Bitmap> bitmap = MonoBitmap(12, 16);
  DeviceContext dc(std::make_shared<test::FixedGlyphSource>());
  EXPECT_FALSE(dc.TextExtent("12"));
  EXPECT_FALSE(dc.TextOut(0, 0, "1")) << "no font yet";
  LogFont font;
  font.underline = true;
  ASSERT_TRUE(dc.SelectFont(font));
  EXPECT_FALSE(dc.TextOut(0, 0, "1")) << "no bitmap yet";
  dc.SelectBitmap(bitmap);
  EXPECT_EQ(dc.TextExtent("12a"), (Size{16, 13}));
  EXPECT_EQ(dc.TextExtent(u"\u00E9"), (Size{4, 13}));
  EXPECT_EQ(dc.CharWidth(U'7'), 6);
  dc.SetTextColor(kWhite);
  dc.SetBkColor(kBlack);
  dc.SetBkMode(BackgroundMode::Opaque);
  // Far more text than the bitmap holds: everything outside is dropped.
  ASSERT_TRUE(dc.TextOut(-3, 0, std::string(300, '8')));
  EXPECT_EQ(Picture(*bitmap)[11], "############") << "the underline, one row below the baseline";
  EXPECT_EQ(Picture(*bitmap)[10], "............");
  EXPECT_EQ(Picture(*bitmap)[9], "##.#####.###");
  // An opaque cell is painted in the background colour first.
  bitmap->Fill(kWhite);
  dc.SetTextColor(kWhite);
  ASSERT_TRUE(dc.TextOut(0, 0, "8"));
  EXPECT_EQ(Picture(*bitmap)[0], "......######");
  EXPECT_EQ(Picture(*bitmap)[13], "############") << "below the cell nothing changes";
}

// ---- The machine's fonts.

std::shared_ptr<Bitmap> Draw(const LogFont& font, std::string_view text, int32_t x, int32_t y, int32_t size = 64) {
  const std::shared_ptr<Bitmap> bitmap = MonoBitmap(size, size);
  DeviceContext dc;
  dc.SelectBitmap(bitmap);
  EXPECT_TRUE(dc.SelectFont(font));
  dc.SetBkMode(BackgroundMode::Transparent);
  dc.SetTextColor(kWhite);
  EXPECT_TRUE(dc.TextOut(x, y, text));
  return bitmap;
}

TEST(GdiFreeType, TwelvePixelFacesMeasureAsTheirKind) {
  DeviceContext dc;
  LogFont mono;
  mono.face = u"Courier new";
  mono.height = -12;
  ASSERT_TRUE(dc.SelectFont(mono));
  const Size digits = dc.TextExtent("0123456789").value();
  const int32_t one = dc.CharWidth(U'0').value();
  EXPECT_GT(one, 4);
  EXPECT_EQ(digits.cx, 10 * one) << "fixed pitch: every digit alike";
  EXPECT_EQ(dc.CharWidth(U'i'), one);
  EXPECT_GE(digits.cy, 12);
  EXPECT_LE(digits.cy, 16);

  LogFont wide = mono;
  wide.width = 12;
  ASSERT_TRUE(dc.SelectFont(wide));
  EXPECT_GT(dc.CharWidth(U'0').value(), one + 3);

  LogFont sans;
  sans.face = u"Microsoft Sans Serif";
  sans.height = -12;
  ASSERT_TRUE(dc.SelectFont(sans));
  EXPECT_LT(dc.CharWidth(U'i').value(), dc.CharWidth(U'W').value()) << "proportional";
  EXPECT_EQ(dc.TextExtent("").value().cx, 0);
}

TEST(GdiFreeType, BoldUnderlinedAndTurnedTextDrawsWhereExpected) {
  LogFont font;
  font.face = u"Arial";
  font.height = -12;
  const Box upright = InkBox(*Draw(font, "HH", 10, 10));
  ASSERT_GE(upright.left, 10);
  EXPECT_GT(upright.right - upright.left, upright.bottom - upright.top) << "wider than high";

  font.escapement = 900;
  const Box turned = InkBox(*Draw(font, "HH", 10, 50));
  EXPECT_GT(turned.bottom - turned.top, turned.right - turned.left) << "higher than wide";
  EXPECT_LT(turned.bottom, 50);
  EXPECT_GE(turned.left, 10);

  font.escapement = 0;
  font.weight = 700;
  const auto bold = Draw(font, "l", 10, 10);
  const auto plain = [&] {
    LogFont f = font;
    f.weight = 400;
    return Draw(f, "l", 10, 10);
  }();
  auto inked = [](const Bitmap& b) {
    int n = 0;
    for (int32_t y = 0; y < b.Height(); ++y)
      for (int32_t x = 0; x < b.Width(); ++x) n += b.GetPixel(x, y) == kWhite;
    return n;
  };
  EXPECT_GT(inked(*bold), inked(*plain));

  font.weight = 400;
  font.underline = true;
  const Box underlined = InkBox(*Draw(font, "a", 10, 10));
  const Box bare = [&] {
    LogFont f = font;
    f.underline = false;
    return InkBox(*Draw(f, "a", 10, 10));
  }();
  EXPECT_GT(underlined.bottom, bare.bottom) << "the underline lies below the letter";
}

TEST(GdiFreeType, SampleLinesInEveryEscapementAsAPicture) {
  const std::shared_ptr<Bitmap> bitmap = MonoBitmap(160, 160);
  DeviceContext dc;
  dc.SelectBitmap(bitmap);
  dc.SetBkMode(BackgroundMode::Transparent);
  dc.SetTextColor(kWhite);
  const std::pair<int32_t, std::pair<int32_t, int32_t>> lines[] = {
      {0, {30, 2}}, {900, {2, 130}}, {1800, {130, 158}}, {2700, {158, 30}}};
  for (const auto& [escapement, at] : lines) {
    LogFont font;
    font.face = u"Courier New";
    font.height = -12;
    font.escapement = escapement;
    ASSERT_TRUE(dc.SelectFont(font));
    ASSERT_TRUE(dc.TextOut(at.first, at.second, "Quarx 0123"));
  }
  EXPECT_FALSE(test::WritePicture("gdi-escapements", *bitmap, 3).empty());
}

}  // namespace
}  // namespace rzd::gdi
