// One profile screen: its bitmaps, where each part lands, and the buffer the unit takes.
#include "scanhost/lcd/lcd_screen.h"
#include "testsupport/fixed_glyphs.h"
#include "testsupport/pictures.h"

#include <gtest/gtest.h>

#include <cstring>

namespace rzd::scanhost::lcd {
namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v = 0;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
  uint16_t v = 0;
  std::memcpy(&v, b.data() + at, 2);
  return v;
}

TEST(LcdScreen, TheBitmapsHaveTheirSizes) {
  struct Case {
    uint32_t id;
    int32_t width, height;
  } cases[] = {
      {bitmap::kBackground, 128, 92}, {bitmap::kNameBox, 92, 32},     {bitmap::kResolutionLine, 96, 16},
      {bitmap::kColourLine, 96, 16},  {bitmap::kPaperLine, 96, 16},   {bitmap::kFormatLabel, 24, 10},
      {bitmap::kIconBmp, 28, 28},     {bitmap::kIconGif, 28, 28},     {bitmap::kIconJpeg, 28, 28},
      {bitmap::kIconPdf, 28, 28},     {bitmap::kIconPng, 28, 28},     {bitmap::kIconTiff, 28, 28},
      {bitmap::kIconDocument, 28, 28}, {bitmap::kDefaultScreen, 128, 92},
  };
  for (const Case& c : cases) {
    const std::shared_ptr<gdi::Bitmap> picture = LoadScreenBitmap(c.id);
    ASSERT_TRUE(picture) << c.id;
    EXPECT_EQ(picture->Width(), c.width) << c.id;
    EXPECT_EQ(picture->Height(), c.height) << c.id;
  }
  EXPECT_FALSE(LoadScreenBitmap(207));
}

TEST(LcdScreen, TransferValuesNameTheirFormats) {
  struct Case {
    uint32_t transfer;
    std::u16string_view text;
    uint32_t icon;
  } cases[] = {
      {0x10, u"TXT", bitmap::kIconDocument},     {0x20, u"RTF", bitmap::kIconDocument},
      {0x40, u"DOC", bitmap::kIconDocument},     {0x80, u"CSV", bitmap::kIconDocument},
      {0x100, u"XLS", bitmap::kIconDocument},    {0x200, u"HTML", bitmap::kIconDocument},
      {0x400, u"sPDF", bitmap::kIconPdf},        {0x800, u"nPDF", bitmap::kIconPdf},
      {0x1000, u"GIF", bitmap::kIconGif},        {0x2000, u"PNG", bitmap::kIconPng},
      {0x4000, u"DOCX", bitmap::kIconDocument},  {0x8000, u"PDFA", bitmap::kIconPdf},
      {0x10008, u"PDF", bitmap::kIconPdf},       {0x20002, u"JPEG", bitmap::kIconJpeg},
      {0x30004, u"TIFF", bitmap::kIconTiff},     {0x100000 | 0x400, u"sPDF", bitmap::kIconPdf},
      {0xFFF00000 | 0x2000, u"PNG", bitmap::kIconPng}, {0, u"BMP", bitmap::kIconBmp},
      {0x10, u"TXT", bitmap::kIconDocument},     {0x18, u"BMP", bitmap::kIconBmp},
      {0x10000, u"BMP", bitmap::kIconBmp},
  };
  for (const Case& c : cases) {
    const OutputFormat format = FormatOfTransfer(c.transfer);
    EXPECT_EQ(format.text, c.text) << std::hex << c.transfer;
    EXPECT_EQ(format.icon, c.icon) << std::hex << c.transfer;
  }
}

TEST(LcdScreen, TheUploadBufferIsABitmapFileAndTwentySixZeros) {
  const std::shared_ptr<gdi::Bitmap> screen = LoadScreenBitmap(bitmap::kBackground);
  ASSERT_TRUE(screen);
  screen->SetPixel(0, 91, gdi::Rgb{1, 2, 3});    // bottom left: the first pixel of the file
  screen->SetPixel(127, 0, gdi::Rgb{4, 5, 6});   // top right: the last
  const std::vector<uint8_t> buffer = UploadBuffer(*screen);
  ASSERT_EQ(buffer.size(), 35408u);
  EXPECT_EQ(buffer.size(), kUploadBufferBytes);
  EXPECT_EQ(buffer[0], 'B');
  EXPECT_EQ(buffer[1], 'M');
  EXPECT_EQ(U32(buffer, 2), 54u + 128 * 92 * 3) << "file size without the trailer";
  EXPECT_EQ(U32(buffer, 6), 0u);
  EXPECT_EQ(U32(buffer, 10), 54u);
  EXPECT_EQ(U32(buffer, 14), 40u);
  EXPECT_EQ(static_cast<int32_t>(U32(buffer, 18)), 128);
  EXPECT_EQ(static_cast<int32_t>(U32(buffer, 22)), 92) << "positive: bottom-up";
  EXPECT_EQ(U16(buffer, 26), 1);
  EXPECT_EQ(U16(buffer, 28), 24);
  EXPECT_EQ(U32(buffer, 30), 0u);
  EXPECT_EQ(U32(buffer, 34), 128u * 92 * 3);
  EXPECT_EQ(U32(buffer, 38), static_cast<uint32_t>(screen->Info().xPelsPerMeter));
  EXPECT_EQ(U32(buffer, 42), static_cast<uint32_t>(screen->Info().yPelsPerMeter));
  EXPECT_EQ(U32(buffer, 46), 0u);
  EXPECT_EQ(U32(buffer, 50), 0u);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 54, buffer.begin() + 57), (std::vector<uint8_t>{3, 2, 1}));
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 54 + 35328 - 3, buffer.begin() + 54 + 35328),
            (std::vector<uint8_t>{6, 5, 4}));
  // Rows follow each other without padding: the second row starts 384 bytes on.
  const gdi::Rgb second = screen->GetPixel(0, 90);
  EXPECT_EQ(buffer[54 + 384], second.b);
  for (size_t i = 54 + 35328; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0) << i;
}

TEST(LcdScreen, EveryPartLandsInItsPlace) {
  // Fixed glyphs: a cell of 13 rows, 4 pixels per letter, 6 per digit.
  ScreenContent content;
  content.name = u"Scan";                     // 16 wide
  content.format = FormatOfTransfer(0x400);   // "sPDF", 16 wide
  content.linkIcon = gdi::CreateDibSection(32, 32, 32);
  content.linkIcon->Fill(gdi::Rgb{9, 9, 9});
  content.colourMode = u"Color";
  content.resolution = u"300 DPI";
  content.paper = u"A4";
  const std::optional<DrawnScreen> drawn =
      DrawProfileScreen(content, ScreenFont{u"Arial", 14}, std::make_shared<test::FixedGlyphSource>());
  ASSERT_TRUE(drawn);
  ASSERT_EQ(drawn->items.size(), 7u);
  struct Expected {
    uint32_t bitmap;
    gdi::Rect placed;
    std::optional<gdi::Rect> text;
  } expected[] = {
      {bitmap::kNameBox, {36, 5, 128, 37}, gdi::Rect{74, 14, 90, 27}},      // centred: (92 - 16) / 2, (32 - 13) / 2
      {bitmap::kIconPdf, {98, 48, 126, 76}, std::nullopt},
      {bitmap::kFormatLabel, {100, 76, 124, 86}, gdi::Rect{104, 75, 120, 88}},  // centred on x 112; the cell is taller than the label
      {0, {5, 5, 37, 37}, std::nullopt},                                        // centred on y 21
      {bitmap::kColourLine, {2, 43, 98, 59}, gdi::Rect{3, 44, 23, 57}},         // x 1 on the line
      {bitmap::kResolutionLine, {2, 59, 98, 75}, gdi::Rect{3, 60, 37, 73}},
      {bitmap::kPaperLine, {2, 76, 98, 92}, gdi::Rect{3, 77, 13, 90}},
  };
  for (size_t i = 0; i < drawn->items.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(drawn->items[i].bitmap, expected[i].bitmap);
    EXPECT_EQ(drawn->items[i].placed, expected[i].placed);
    EXPECT_EQ(drawn->items[i].text, expected[i].text);
  }
  // Each text's centre is the centre of its box (the label on x 112, the name on the box's).
  EXPECT_EQ((drawn->items[2].text->left + drawn->items[2].text->right) / 2, 112);
  EXPECT_EQ(drawn->screen->GetPixel(5, 5), (gdi::Rgb{9, 9, 9}));

  // Without a format no icon and no label; without a link no link icon.
  ScreenContent bare = content;
  bare.format.reset();
  bare.linkIcon.reset();
  const std::optional<DrawnScreen> plain =
      DrawProfileScreen(bare, ScreenFont{u"Arial", 14}, std::make_shared<test::FixedGlyphSource>());
  ASSERT_TRUE(plain);
  ASSERT_EQ(plain->items.size(), 4u);
  EXPECT_EQ(plain->items[1].bitmap, bitmap::kColourLine);
  const std::shared_ptr<gdi::Bitmap> background = LoadScreenBitmap(bitmap::kBackground);
  for (int32_t y = 44; y < 90; ++y) {
    for (int32_t x = 98; x < 128; ++x) EXPECT_EQ(plain->screen->GetPixel(x, y), background->GetPixel(x, y)) << x << "," << y;
  }
}

// A link icon as a cache would hand it: a blue envelope on white.
std::shared_ptr<gdi::Bitmap> EnvelopeIcon() {
  std::shared_ptr<gdi::Bitmap> icon = gdi::CreateDibSection(32, 32, 32);
  icon->Fill(gdi::kWhite);
  const gdi::Rgb blue{47, 109, 181};
  for (int32_t x = 3; x < 29; ++x) {
    for (int32_t y = 8; y < 25; ++y) icon->SetPixel(x, y, (y == 8 || y == 24 || x == 3 || x == 28) ? blue : gdi::Rgb{230, 238, 248});
  }
  for (int32_t i = 0; i < 13; ++i) {
    icon->SetPixel(3 + i, 8 + i * 8 / 13, blue);
    icon->SetPixel(28 - i, 8 + i * 8 / 13, blue);
  }
  return icon;
}

TEST(LcdScreen, ScreensWithTheMachinesFontsAsPictures) {
  struct Sample {
    const char* picture;
    ScreenContent content;
    ScreenFont font;
  } samples[] = {
      {"lcd-sample-english", {u"Invoices", FormatOfTransfer(0x400), EnvelopeIcon(), u"Color", u"300 DPI", u"Letter"},
       {u"Arial", 14}},
      {"lcd-sample-russian", {u"Договоры", FormatOfTransfer(0x30004), nullptr, u"Оттен. серого", u"200 DPI", u"A4"},
       {u"Arial", 14}},
      {"lcd-sample-chinese", {u"扫描到邮件", FormatOfTransfer(0x20002), EnvelopeIcon(), u"Couleur", u"150 DPI",
                              u"Taille auto."},
       {u"simsun", 12}},
  };
  for (const Sample& sample : samples) {
    const std::optional<DrawnScreen> drawn = DrawProfileScreen(sample.content, sample.font);
    ASSERT_TRUE(drawn) << sample.picture;
    // Every text leaves ink inside its cell, and nothing of it outside its bitmap.
    for (const PlacedItem& item : drawn->items) {
      if (!item.text) continue;
      int inked = 0;
      for (int32_t y = item.placed.top; y < item.placed.bottom; ++y) {
        for (int32_t x = item.placed.left; x < item.placed.right; ++x) inked += drawn->screen->GetPixel(x, y) == gdi::kBlack;
      }
      EXPECT_GT(inked, 10) << sample.picture << " item " << item.bitmap;
    }
    EXPECT_FALSE(test::WritePicture(sample.picture, *drawn->screen, 4).empty());
  }
}

TEST(LcdScreen, SlotsOfProfileKeysAndFunctions) {
  EXPECT_EQ(SlotName(u"F4"), u"F4N33");
  EXPECT_EQ(SlotName(u"F1"), u"F1N33");
}

}  // namespace
}  // namespace rzd::scanhost::lcd
