// Blocks back into pages and sides, and the files of a side.
#include "image_files.h"
#include "page_assembler.h"

#include "foundation/xml_store.h"
#include "platform/text.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_root.h"

#include "png_file.h"

#include <gtest/gtest.h>

#include <memory>

namespace rzd::frontend {
namespace {

RasterBlockInfo Block(LONG side, LONG boundary, uint64_t fill, LONG error = 0) {
  RasterBlockInfo info;
  info.properties[kRasterSide] = side;
  info.properties[kRasterBytesPerLine] = 2;
  info.properties[kRasterLinesPerSide] = 2;
  info.boundary = boundary;
  info.fill = fill;
  info.error = error;
  return info;
}

TEST(PageAssemblerTest, SidesOfAlternatingBlocksComeTogetherPerPage) {
  std::vector<std::string> progress;
  PageAssembler pages([&](uint32_t page, int side, uint64_t bytes, bool ended) {
    progress.push_back(std::to_string(page) + (side == 0 ? "f" : "b") + std::to_string(bytes) + (ended ? "!" : ""));
  });
  const uint8_t a[] = {1, 2, 3, 4};
  const uint8_t b[] = {5, 6, 7, 8};
  pages.Add(Block(0, 1, 4), a);
  pages.Add(Block(1, 1, 4), b);
  pages.Add(Block(0, 2, 2), a);  // the front ends first
  EXPECT_TRUE(pages.TakeCompleted().empty());
  pages.Add(Block(1, 3, 2), b);
  pages.Add(Block(0, 6, 4), b);  // the second page, front only, ends the scan
  const std::vector<ScannedPage> done = pages.TakeCompleted();
  ASSERT_EQ(done.size(), 2u);
  EXPECT_EQ(done[0].sequence, 1u);
  EXPECT_EQ(done[0].front->bytes, (std::vector<uint8_t>{1, 2, 3, 4, 1, 2}));
  EXPECT_EQ(done[0].back->bytes, (std::vector<uint8_t>{5, 6, 7, 8, 5, 6}));
  EXPECT_EQ(done[0].boundary, 3);
  EXPECT_EQ(done[1].sequence, 2u);
  EXPECT_FALSE(done[1].back);
  EXPECT_EQ(done[1].boundary, 6);
  EXPECT_EQ(progress, (std::vector<std::string>{"1f4", "1b4", "1f6!", "1b6!", "2f4!"}));
}

TEST(PageAssemblerTest, BothSidesInOneStreamAreSplitInGroupsOfLines) {
  PageAssembler pages;
  // Two-line groups of 2-byte lines, front first: F F B B F B.
  const uint8_t stream[] = {10, 11, 12, 13, 20, 21, 22, 23, 14, 15, 24, 25};
  pages.Add(Block(2, 3, sizeof stream), stream);
  const std::vector<ScannedPage> done = pages.TakeCompleted();
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].front->bytes, (std::vector<uint8_t>{10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(done[0].back->bytes, (std::vector<uint8_t>{20, 21, 22, 23, 24, 25}));
  EXPECT_EQ(done[0].front->properties[kRasterSide], 0);
  EXPECT_EQ(done[0].back->properties[kRasterSide], 1);
}

TEST(PageAssemblerTest, AnErrorEndsThePageAndAnEmptyEndIsNoPage) {
  PageAssembler pages;
  const uint8_t a[] = {1, 2};
  pages.Add(Block(0, 6, 0), a);  // the end of a scan with nothing more
  EXPECT_TRUE(pages.TakeCompleted().empty());
  pages.Add(Block(0, 1, 2), a);
  pages.Add(Block(0, 6, 0, 2), a);
  const std::vector<ScannedPage> done = pages.TakeCompleted();
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].sequence, 1u);
  EXPECT_EQ(done[0].error, 2);
  EXPECT_EQ(pages.LastError(), 2);
}

// ---- Files.

class SideFilesTest : public test::TempRoot {};

TEST_F(SideFilesTest, RawSidesBecomePngsOfTheirLinesTurnedTheRightWay) {
  const struct {
    const char* name;
    LONG bits, pixels, gender, width, bytesPerLine;
    int colourType;
    std::vector<uint8_t> line;      // one delivered line
    std::vector<uint8_t> expected;  // its PNG row
  } kCases[] = {
      {"rgb", 24, 0, 0, 2, 6, PNG_COLOR_TYPE_RGB, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
      {"bgr", 24, 1, 0, 2, 6, PNG_COLOR_TYPE_RGB, {1, 2, 3, 4, 5, 6}, {3, 2, 1, 6, 5, 4}},
      {"padded grey", 8, 2, 0, 3, 4, PNG_COLOR_TYPE_GRAY, {7, 8, 9, 99}, {7, 8, 9}},
      {"white is zero", 8, 2, 1, 2, 2, PNG_COLOR_TYPE_GRAY, {0, 255}, {255, 0}},
      {"line art", 1, 2, 0, 12, 2, PNG_COLOR_TYPE_GRAY, {0xA5, 0xF0}, {0xA5, 0xF0}},
      {"no width", 8, 2, 0, 0, 3, PNG_COLOR_TYPE_GRAY, {1, 2, 3}, {1, 2, 3}},
  };
  for (const auto& c : kCases) {
    SideImage side;
    side.properties[kRasterBitsPerPixel] = c.bits;
    side.properties[kRasterPixels] = c.pixels;
    side.properties[kRasterPixelGender] = c.gender;
    side.properties[kRasterWidth] = c.width;
    side.properties[kRasterBytesPerLine] = c.bytesPerLine;
    for (int l = 0; l < 3; ++l) side.bytes.insert(side.bytes.end(), c.line.begin(), c.line.end());
    side.bytes.push_back(0);  // part of a line: left out
    const std::filesystem::path file = RootPath() / (std::string(c.name) + ".png");
    ImageSize size;
    std::string error;
    ASSERT_TRUE(WriteSideImage(file, side, &size, &error)) << c.name << ": " << error;
    const test::PngFile png = test::ReadPng(file);
    EXPECT_EQ(png.height, 3u) << c.name;
    EXPECT_EQ(size.height, 3u) << c.name;
    EXPECT_EQ(png.width, size.width) << c.name;
    EXPECT_EQ(png.bitDepth, c.bits == 1 ? 1 : 8) << c.name;
    EXPECT_EQ(png.colourType, c.colourType) << c.name;
    for (const auto& row : png.rows) EXPECT_EQ(row, c.expected) << c.name;
  }
  SideImage odd;
  odd.properties[kRasterBitsPerPixel] = 16;
  odd.properties[kRasterBytesPerLine] = 4;
  odd.bytes.assign(8, 0);
  ImageSize size;
  std::string error;
  EXPECT_FALSE(WriteSideImage(RootPath() / "odd.png", odd, &size, &error));
  EXPECT_EQ(error, "the unit delivered raw data of an unknown format (16 bits per pixel, 4 bytes per line)");
}

TEST_F(SideFilesTest, AJpegSideIsWrittenAsDeliveredAndTheMetadataIsTheSidesLastResult) {
  SideImage side;
  side.properties[kRasterCompression] = 1;
  side.properties[kRasterWidth] = 40;
  side.properties[kRasterLength] = 30;
  side.bytes = {0xFF, 0xD8, 1, 2, 3, 0xFF, 0xD9};
  ImageSize size;
  std::string error;
  ASSERT_TRUE(WriteSideImage(RootPath() / "page.jpg", side, &size, &error)) << error;
  EXPECT_EQ(test::ReadBytes(RootPath() / "page.jpg"), std::string(side.bytes.begin(), side.bytes.end()));
  EXPECT_EQ(size.width, 40u);
  EXPECT_EQ(size.height, 30u);

  const std::u16string operation =
      u"<Operation><Result><Address><Side>Front</Side><NumberOfLines>1</NumberOfLines></Address></Result>"
      u"<Result><Address><Side>Back</Side><NumberOfLines>2</NumberOfLines></Address></Result>"
      u"<Result><Address><Side>Front</Side><NumberOfLines>3</NumberOfLines></Address></Result></Operation>";
  ASSERT_TRUE(WriteSideMetadata(RootPath() / "front.xml", operation, 0, side, &error)) << error;
  ASSERT_TRUE(WriteSideMetadata(RootPath() / "back.xml", operation, 1, side, &error)) << error;
  ASSERT_TRUE(WriteSideMetadata(RootPath() / "none.xml", u"", 1, side, &error)) << error;
  auto text = [&](const char* name, const char16_t* path) {
    MSXML6StoreSTL store;
    std::u16string value;
    const std::string bytes = test::ReadBytes(RootPath() / name);
    if (bytes.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0) != 0) return std::u16string(u"(no declaration)");
    if (!store.LoadFromString(FromUtf8(bytes.substr(39)))) return std::u16string(u"(unparsed)");
    store.GetNodeText(path, value);
    return value;
  };
  EXPECT_EQ(text("front.xml", u"/Result/Address/NumberOfLines"), u"3");
  EXPECT_EQ(text("back.xml", u"/Result/Address/NumberOfLines"), u"2");
  EXPECT_EQ(text("none.xml", u"/Result/ImageDimensions/Length"), u"30");
  EXPECT_EQ(SideFileStem(7, 1), "page-007-back");
}

}  // namespace
}  // namespace rzd::frontend
