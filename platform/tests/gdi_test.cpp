// Bitmaps, face substitutes and text drawn through a memory device context: with a fixed glyph
// source where the exact pixels matter, and with the machine's fonts (FreeType) for what real
// glyphs must show.
#include "platform/gdi.h"
#include "testsupport/fixed_glyphs.h"
#include "testsupport/pictures.h"
#include "testsupport/temp_root.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST(GdiText, DrawTextPlacesItsLineInTheBoxAndClipsToIt) {
  // Fixed glyphs: digits 6 wide, a cell of 13 rows.
  struct Case {
    const char* name;
    uint32_t format;
    std::string text;
    Rect cell;
  } cases[] = {
      {"centred both ways", DT_CENTER | DT_VCENTER | DT_SINGLELINE, "00", {19, 8, 31, 21}},
      {"left, centred vertically", DT_LEFT | DT_VCENTER | DT_SINGLELINE, "00", {10, 8, 22, 21}},
      {"right, top", DT_RIGHT | DT_SINGLELINE, "00", {28, 5, 40, 18}},
      {"an odd leftover rounds down", DT_CENTER | DT_VCENTER | DT_SINGLELINE, "0", {22, 8, 28, 21}},
      {"wider than the box: centred over both edges", DT_CENTER | DT_VCENTER | DT_SINGLELINE, "0000000",
       {4, 8, 46, 21}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::shared_ptr<Bitmap> bitmap = MonoBitmap(56, 32);
    DeviceContext dc(std::make_shared<test::FixedGlyphSource>());
    dc.SelectBitmap(bitmap);
    ASSERT_TRUE(dc.SelectFont(LogFont{}));
    dc.SetTextColor(kWhite);
    dc.SetBkColor(kWhite);  // the opaque cell shows where the line lies
    const Rect box{10, 5, 40, 25};
    const std::optional<Rect> cell = dc.DrawText(FromUtf8(c.text), box, c.format);
    ASSERT_TRUE(cell);
    EXPECT_EQ(*cell, c.cell);
    const Box ink = InkBox(*bitmap);
    EXPECT_EQ(ink.left, std::max(c.cell.left, box.left));
    EXPECT_EQ(ink.right, std::min(c.cell.right, box.right) - 1);
    EXPECT_EQ(ink.top, c.cell.top);
    EXPECT_EQ(ink.bottom, c.cell.bottom - 1);
  }
  // Without clipping the same line passes the box.
  const std::shared_ptr<Bitmap> bitmap = MonoBitmap(56, 32);
  DeviceContext dc(std::make_shared<test::FixedGlyphSource>());
  EXPECT_FALSE(dc.DrawText(u"0", Rect{0, 0, 8, 8}, DT_LEFT)) << "no font, no bitmap";
  dc.SelectBitmap(bitmap);
  ASSERT_TRUE(dc.SelectFont(LogFont{}));
  dc.SetBkColor(kWhite);
  ASSERT_TRUE(dc.DrawText(u"0000000", Rect{10, 5, 40, 25}, DT_CENTER | DT_VCENTER | DT_NOCLIP));
  EXPECT_EQ(InkBox(*bitmap).left, 4);
  EXPECT_EQ(InkBox(*bitmap).right, 45);
}

TEST(GdiBitmap, BitBltCopiesOnlyWhatLiesInBothBitmaps) {
  // A 6 x 4 source of distinct colours onto an 8 x 5 target of grey.
  const auto colourAt = [](int32_t x, int32_t y) { return Rgb{static_cast<uint8_t>(10 + x), static_cast<uint8_t>(20 + y), 5}; };
  const Rgb grey{128, 128, 128};
  struct Case {
    const char* name;
    int32_t x, y, width, height, sourceX, sourceY;
  } cases[] = {
      {"inside", 1, 1, 3, 2, 2, 1},
      {"the whole source", 0, 0, 6, 4, 0, 0},
      {"past the target's right and bottom", 5, 3, 6, 4, 0, 0},
      {"left of and above the target", -2, -1, 6, 4, 0, 0},
      {"past the source's edges", 0, 0, 8, 5, 3, 2},
      {"from before the source", 2, 2, 4, 3, -2, -1},
      {"nothing: empty area", 0, 0, 0, 3, 0, 0},
      {"nothing: far away", INT32_MAX - 1, 0, 4, 4, 0, 0},
      {"nothing: source far away", 0, 0, 4, 4, INT32_MIN, INT32_MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::shared_ptr<Bitmap> source = CreateDibSection(6, 4, 32);
    const std::shared_ptr<Bitmap> target = CreateDibSection(8, 5, 24);
    ASSERT_TRUE(source && target);
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 6; ++x) source->SetPixel(x, y, colourAt(x, y));
    target->Fill(grey);
    BitBlt(*target, c.x, c.y, c.width, c.height, *source, c.sourceX, c.sourceY);
    for (int32_t y = 0; y < 5; ++y) {
      for (int32_t x = 0; x < 8; ++x) {
        const int64_t u = int64_t{x} - c.x, v = int64_t{y} - c.y;
        const int64_t sx = c.sourceX + u, sy = c.sourceY + v;
        const bool copied = u >= 0 && v >= 0 && u < c.width && v < c.height && sx >= 0 && sy >= 0 && sx < 6 && sy < 4;
        EXPECT_EQ(target->GetPixel(x, y), copied ? colourAt(static_cast<int32_t>(sx), static_cast<int32_t>(sy)) : grey)
            << x << "," << y;
      }
    }
  }
}

TEST(GdiBitmap, DibSectionsAndTheirBitsReadBackAsThirtyTwoBits) {
  EXPECT_FALSE(CreateDibSection(4, 4, 1));
  EXPECT_FALSE(CreateDibSection(0, 4, 24));
  for (uint16_t bits : {uint16_t{24}, uint16_t{32}}) {
    const std::shared_ptr<Bitmap> bitmap = CreateDibSection(3, 2, bits);
    ASSERT_TRUE(bitmap);
    EXPECT_TRUE(bitmap->Info().bottomUp);
    bitmap->SetPixel(0, 0, Rgb{1, 2, 3});    // top left
    bitmap->SetPixel(2, 1, Rgb{4, 5, 6});    // bottom right
    const std::vector<uint8_t> read = ReadBits32(*bitmap);
    ASSERT_EQ(read.size(), 24u);
    // Bottom row first: its last pixel, then the top row's first.
    EXPECT_EQ(std::vector<uint8_t>(read.begin() + 8, read.begin() + 12), (std::vector<uint8_t>{6, 5, 4, 0}));
    EXPECT_EQ(std::vector<uint8_t>(read.begin() + 12, read.begin() + 16), (std::vector<uint8_t>{3, 2, 1, 0}));
  }
}

TEST(GdiPng, PicturesSavedAndReadBack) {
  test::ScopedRoot root;
  const std::shared_ptr<Bitmap> bitmap = CreateDibSection(5, 3, 24);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) bitmap->SetPixel(x, y, Rgb{static_cast<uint8_t>(50 * x), static_cast<uint8_t>(80 * y), 7});
  ASSERT_TRUE(WritePngFile(root.Path() / "one.png", *bitmap));
  ASSERT_TRUE(WritePngFile(root.Path() / "three.png", *bitmap, 3));
  const std::shared_ptr<Bitmap> one = ReadPngFile(root.Path() / "one.png");
  const std::shared_ptr<Bitmap> three = ReadPngFile(root.Path() / "three.png");
  ASSERT_TRUE(one && three);
  EXPECT_EQ(one->Width(), 5);
  EXPECT_EQ(three->Width(), 15);
  EXPECT_EQ(three->Height(), 9);
  for (int32_t y = 0; y < 9; ++y) {
    for (int32_t x = 0; x < 15; ++x) {
      EXPECT_EQ(three->GetPixel(x, y), bitmap->GetPixel(x / 3, y / 3));
      EXPECT_EQ(one->GetPixel(x / 3, y / 3), bitmap->GetPixel(x / 3, y / 3));
    }
  }
  EXPECT_FALSE(WritePngFile(root.Path() / "no" / "folder.png", *bitmap));
  EXPECT_FALSE(WritePngFile(root.Path() / "bad.png", 2, 2, std::vector<Rgb>(3)));
  EXPECT_FALSE(ReadPngFile(root.Path() / "missing.png"));
  std::filesystem::resize_file(root.Path() / "three.png", 60);
  EXPECT_FALSE(ReadPngFile(root.Path() / "three.png")) << "cut short";
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

TEST(GdiFonts, AFontFileAddedForTheProcessServesItsFamilyUntilRemoved) {
  test::ScopedRoot root;
  const std::optional<FontFile> installed = FindFontFile(u"Liberation Mono", false);
  ASSERT_TRUE(installed);
  const std::filesystem::path copy = root.Path() / "Fonts" / "MONO.TTF";
  std::filesystem::create_directories(copy.parent_path());
  std::filesystem::copy_file(installed->path, copy);

  EXPECT_EQ(AddPrivateFont(root.Path() / "Fonts" / "NONE.TTF"), 0) << "a missing file adds nothing";
  EXPECT_FALSE(RemovePrivateFont(root.Path() / "Fonts" / "NONE.TTF"));
  ASSERT_EQ(AddPrivateFont(copy), 1);
  ASSERT_EQ(AddPrivateFont(root.Path() / "Fonts" / ".." / "Fonts" / "MONO.TTF"), 1) << "the same file again";
  for (const char16_t* face : {u"Liberation Mono", u"liberation mono"}) {
    const std::optional<FontFile> added = FindFontFile(face, false);
    ASSERT_TRUE(added);
    EXPECT_EQ(added->path, copy);
    EXPECT_EQ(added->family, u"Liberation Mono");
    EXPECT_FALSE(added->bold);
  }
  const std::optional<FontFile> bold = FindFontFile(u"Liberation Mono", true);
  ASSERT_TRUE(bold);
  EXPECT_EQ(bold->path, copy) << "a family added without its bold face is drawn bold from the regular one";
  DeviceContext dc;
  LogFont font;
  font.face = u"Liberation Mono";
  font.height = -12;
  EXPECT_TRUE(dc.SelectFont(font));

  EXPECT_TRUE(RemovePrivateFont(copy));
  EXPECT_EQ(FindFontFile(u"Liberation Mono", false)->path, copy) << "added twice, removed once";
  EXPECT_TRUE(RemovePrivateFont(copy));
  EXPECT_EQ(FindFontFile(u"Liberation Mono", false)->path, installed->path);
  EXPECT_FALSE(RemovePrivateFont(copy));
}

TEST(GdiFonts, SimSunIsDrawnWithAFaceThatHasTheChineseCharacters) {
  EXPECT_EQ(SubstituteFace(u"simsun"), u"AR PL UMing CN");
  const std::shared_ptr<Bitmap> bitmap = CreateDibSection(80, 16, 24);
  bitmap->Fill(kWhite);
  DeviceContext dc;
  dc.SelectBitmap(bitmap);
  LogFont font;
  font.face = u"simsun";
  font.height = 12;
  ASSERT_TRUE(dc.SelectFont(font));
  const Size extent = dc.TextExtent(u"扫描文档").value();
  EXPECT_EQ(extent.cx, 4 * dc.CharWidth(U'扫').value()) << "every character a full cell";
  EXPECT_GE(dc.CharWidth(U'扫').value(), 11);
  ASSERT_TRUE(dc.DrawText(u"扫描文档", Rect{0, 0, 80, 16}, DT_LEFT | DT_VCENTER | DT_SINGLELINE));
  // Each character leaves many pixels (a missing glyph is an empty box of a few lines).
  for (int32_t i = 0; i < 4; ++i) {
    int inked = 0;
    for (int32_t y = 0; y < 16; ++y)
      for (int32_t x = i * extent.cx / 4; x < (i + 1) * extent.cx / 4; ++x) inked += bitmap->GetPixel(x, y) == kBlack;
    EXPECT_GT(inked, 25) << "character " << i;
  }
  EXPECT_FALSE(test::WritePicture("gdi-simsun", *bitmap, 4).empty());
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
