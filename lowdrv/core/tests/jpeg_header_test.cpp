// The driver's JPEG headers and tables: sizes that follow the components, the Exif block, the
// scaled and fixed quantisation tables, and streams made of the driver's header and libjpeg's
// entropy-coded data (with the restart markers the driver puts between pieces) that libjpeg
// decodes to exactly the image of its own stream.
#include "jpeg_decode.h"
#include "lowdrv/core/driver_model.h"
#include "lowdrv/engine/engine_caps.h"
#include "lowdrv/engine/jpeg_tables.h"
#include "scan/jpeg_header.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace rzd::lowdrv::test {
namespace {

constexpr char kMake[] = "Quarx";
constexpr char kModel[] = "Quarx M48tz Scanner";

uint32_t Get16(const uint8_t* p) { return static_cast<uint32_t>(p[0] << 8 | p[1]); }
uint32_t Get32(const uint8_t* p) { return Get16(p) << 16 | Get16(p + 2); }

uint32_t HeaderSize(bool restart, uint8_t bits, uint8_t mode, std::string_view make = kMake,
                    std::string_view model = kModel) {
  uint32_t size = 0;
  EXPECT_TRUE(jpeg::AVGetJFIFHeaderSize(&size, restart, bits, mode, make, model));
  return size;
}

TEST(JpegHeaderTest, SizesFollowTheComponentsAndTheRestartSegment) {
  const uint32_t exif = jpeg::ExifBlockSize(kMake, kModel) + 4;
  EXPECT_EQ(jpeg::ExifBlockSize(kMake, kModel), 44u + 8u + 20u);
  struct Case {
    bool restart;
    uint8_t bits;
    uint8_t mode;
    uint32_t size;
  };
  const Case cases[] = {
      {false, 8, 4, 89 + 13 + 216 + 10 + exif},   // grey
      {true, 8, 4, 95 + 13 + 216 + 10 + exif},
      {false, 8, 1, 89 + 13 + 216 + 10 + exif},   // grey with a colour mode: still one component
      {false, 24, 1, 89 + 88 + 432 + 14 + exif},  // colour 2x2
      {false, 24, 2, 89 + 88 + 432 + 14 + exif},
      {true, 24, 3, 95 + 88 + 432 + 14 + exif},
      {false, 24, 0, 89 + 88 + 432 + 14 + exif},  // colour with another mode: three components 1x1
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.bits) + " mode " + std::to_string(c.mode) + (c.restart ? " restart" : ""));
    EXPECT_EQ(HeaderSize(c.restart, c.bits, c.mode), c.size);
  }
}

TEST(JpegHeaderTest, TheWriterFillsExactlyTheSizeSegmentBySegment) {
  for (const uint8_t bits : {uint8_t{8}, uint8_t{24}}) {
    for (const bool restart : {false, true}) {
      SCOPED_TRACE(std::to_string(bits) + (restart ? " restart" : ""));
      const uint32_t size = HeaderSize(restart, bits, 1);
      std::vector<uint8_t> buffer(size + 16, 0xEE);
      jpeg::HeaderParams p;
      p.bits = bits;
      p.width = 640;
      p.lines = 480;
      p.xResolution = 300;
      p.yResolution = 200;
      p.luminance = jpeg::kStandardLuminanceTable.data();
      p.chrominance = jpeg::kStandardChrominanceTable.data();
      p.restart = restart;
      p.restartInterval = 80;
      p.samplingMode = 1;
      p.make = kMake;
      p.model = kModel;
      ASSERT_TRUE(jpeg::WriteJFIFHeader(buffer.data(), p));
      EXPECT_EQ(buffer[size], 0xEE);
      // Start of image, then segments up to the scan header, which ends the header exactly.
      ASSERT_EQ(Get16(buffer.data()), 0xFFD8u);
      size_t at = 2;
      std::vector<uint32_t> markers;
      while (at + 4 <= size) {
        markers.push_back(Get16(&buffer[at]));
        at += 2 + Get16(&buffer[at + 2]);
      }
      EXPECT_EQ(at, size);
      ASSERT_FALSE(markers.empty());
      EXPECT_EQ(markers.back(), 0xFFDAu);
      EXPECT_EQ(markers[0], 0xFFE0u);
      EXPECT_EQ(markers[1], 0xFFE1u);
      const size_t dri = std::count(markers.begin(), markers.end(), 0xFFDDu);
      EXPECT_EQ(dri, restart ? 1u : 0u);
      EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xFFDBu), bits == 24 ? 2 : 1);
      EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xFFC4u), bits == 24 ? 4 : 2);
      // JFIF 1.00 in dots per inch with both resolutions.
      EXPECT_EQ(std::memcmp(&buffer[6], "JFIF\0\x01\x00\x01", 8), 0);
      EXPECT_EQ(Get16(&buffer[14]), 300u);
      EXPECT_EQ(Get16(&buffer[16]), 200u);
    }
  }
  // A frame cannot carry a width or line count of 0 or above 65535.
  std::vector<uint8_t> buffer(HeaderSize(false, 8, 4));
  jpeg::HeaderParams p;
  p.luminance = p.chrominance = jpeg::kStandardLuminanceTable.data();
  p.width = 70000;
  p.lines = 10;
  EXPECT_FALSE(jpeg::WriteJFIFHeader(buffer.data(), p));
  p.width = 10;
  p.lines = 0;
  EXPECT_FALSE(jpeg::WriteJFIFHeader(buffer.data(), p));
  p.lines = 10;
  EXPECT_FALSE(jpeg::WriteJFIFHeader(nullptr, p));
}

// The text an Exif entry names (count and value or offset, from the TIFF header).
std::string EntryText(const std::vector<uint8_t>& block, size_t entry) {
  const uint8_t* e = block.data() + 16 + 12 * entry;
  const uint32_t count = Get32(e + 4);
  const uint8_t* text = count <= 4 ? e + 8 : block.data() + 6 + Get32(e + 8);
  return std::string(reinterpret_cast<const char*>(text), count);
}

TEST(JpegHeaderTest, ExifEntriesNameTheirTextsFromTheTiffHeader) {
  struct Case {
    std::string make;
    std::string model;
    uint32_t align;  // the driver pads its texts to 4 bytes, the unit to 2
    uint32_t size;
  };
  const Case cases[] = {
      {"Quarx", "Quarx M48tz Scanner", 4, 44 + 8 + 20},
      {"Abc", "M4", 4, 44},            // both in their value fields
      {"Corvanite", "X", 4, 44 + 12},  // one of each
      {"", "", 4, 44},
      {"Quarx", "Quarx M48tz Scanner", 2, 44 + 6 + 20},
      {"Corvanite", "X", 2, 44 + 10},
      {"Abcd", "Quarx M48tz", 2, 44 + 6 + 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.make + "/" + c.model + " align " + std::to_string(c.align));
    ASSERT_EQ(jpeg::ExifBlockSize(c.make, c.model, c.align), c.size);
    std::vector<uint8_t> block(c.size, 0xEE);
    jpeg::WriteExifBlock(block.data(), c.make, c.model, c.align);
    EXPECT_EQ(std::memcmp(block.data(), "Exif\0\0MM\0\x2A\0\0\0\x08\0\x02", 16), 0);
    EXPECT_EQ(Get16(&block[16]), 0x010Fu);
    EXPECT_EQ(Get16(&block[28]), 0x0110u);
    EXPECT_EQ(Get16(&block[18]), 2u);
    EXPECT_EQ(EntryText(block, 0), c.make + '\0');
    EXPECT_EQ(EntryText(block, 1), c.model + '\0');
    EXPECT_EQ(Get32(&block[40]), 0u);
    // The texts that do not fit their value fields follow the IFD, each padded to the alignment.
    if (c.model.size() + 1 > 4) {
      EXPECT_EQ(Get32(&block[36]), 38 + jpeg::ExifTextRoom(c.make, c.align));
    }
  }
}

TEST(JpegHeaderTest, QualityGivesTheScaleWithinItsRange) {
  EXPECT_EQ(jpeg::ScaleForQuality(50), 100u);
  EXPECT_EQ(jpeg::ScaleForQuality(10), 500u);
  EXPECT_EQ(jpeg::ScaleForQuality(100), 0u);
  EXPECT_EQ(jpeg::ScaleForQuality(0), 5000u);    // held at 1
  EXPECT_EQ(jpeg::ScaleForQuality(101), 0u);     // held at 100
  EXPECT_EQ(jpeg::ScaleForQuality(255), 0u);
}

TEST(JpegHeaderTest, ScaledTablesStayWithinOneAndTwoHundredFiftyFive) {
  for (const uint32_t scale : {0u, 1u, 100u, 5000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(scale);
    uint8_t tables[jpeg::kTablesSize] = {};
    jpeg::ScaleTables(scale, tables);
    for (size_t i = 0; i < 64; ++i) {
      const uint64_t lum = std::clamp<uint64_t>((uint64_t{jpeg::kStandardLuminanceTable[i]} * scale + 50) / 100, 1, 255);
      const uint64_t chr = std::clamp<uint64_t>((uint64_t{jpeg::kStandardChrominanceTable[i]} * scale + 50) / 100, 1, 255);
      EXPECT_EQ(tables[i], lum);
      EXPECT_EQ(tables[64 + i], chr);
    }
  }
}

TEST(JpegHeaderTest, TheModelHasFixedTablesUpToScaleTwentySix) {
  rzd::test::ScopedRoot root;
  CScannerLLD driver(u"\\\\?\\usb#vid_2e5a&pid_0148#qm48tz000001#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  uint8_t fixed0[kJPEGTablesSize] = {};
  uint8_t fixed26[kJPEGTablesSize] = {};
  uint8_t scaled27[kJPEGTablesSize] = {};
  uint8_t expected27[kJPEGTablesSize] = {};
  // No unit is open: the send fails, the tables are made all the same.
  driver.ChrominanceQuantizationTable(0, fixed0);
  driver.ChrominanceQuantizationTable(26, fixed26);
  driver.ChrominanceQuantizationTable(27, scaled27);
  jpeg::ScaleTables(27, expected27);
  EXPECT_EQ(std::memcmp(fixed0, kModelQuantTables, kJPEGTablesSize), 0);
  EXPECT_EQ(std::memcmp(fixed26, kModelQuantTables, kJPEGTablesSize), 0);
  EXPECT_EQ(std::memcmp(scaled27, expected27, kJPEGTablesSize), 0);
}

TEST(JpegHeaderTest, RestartMarkersCycleAndTheEndMarkerEnds) {
  uint8_t m[2] = {};
  for (uint32_t i = 0; i < 20; ++i) {
    jpeg::RestartMarker(i, m);
    EXPECT_EQ(m[0], 0xFF);
    EXPECT_EQ(m[1], 0xD0 + (i & 7));
  }
  jpeg::EndMarker(m);
  EXPECT_EQ(m[0], 0xFF);
  EXPECT_EQ(m[1], 0xD9);
}

// libjpeg's own stream of an image, and its entropy-coded data with the restart markers taken out
// (where they were is kept).
struct Encoded {
  std::vector<uint8_t> stream;
  std::vector<uint8_t> entropy;
  std::vector<size_t> pieceEnds;
};

Encoded EncodeWithLibjpeg(uint32_t width, uint32_t height, bool color, uint8_t mode, uint32_t interval,
                          const uint8_t* lum, const uint8_t* chr) {
  jpeg_compress_struct c{};
  jpeg_error_mgr e{};
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&c, &out, &outSize);
  c.image_width = width;
  c.image_height = height;
  c.input_components = color ? 3 : 1;
  c.in_color_space = color ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&c);
  c.optimize_coding = FALSE;
  c.restart_interval = interval;
  unsigned int table[64];
  for (int i = 0; i < 64; ++i) table[i] = lum[i];
  jpeg_add_quant_table(&c, 0, table, 100, TRUE);
  for (int i = 0; i < 64; ++i) table[i] = chr[i];
  jpeg_add_quant_table(&c, 1, table, 100, TRUE);
  if (color) {
    c.comp_info[0].h_samp_factor = mode == 1 || mode == 2 ? 2 : 1;
    c.comp_info[0].v_samp_factor = mode == 1 ? 2 : 1;
  }
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(width) * (color ? 3 : 1));
  while (c.next_scanline < height) {
    for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i * 7 + c.next_scanline * 13);
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  Encoded enc;
  enc.stream.assign(out, out + outSize);
  std::free(out);
  // The entropy data: after the scan header, before the end marker.
  size_t at = 2;
  while (Get16(&enc.stream[at]) != 0xFFDA) at += 2 + Get16(&enc.stream[at + 2]);
  at += 2 + Get16(&enc.stream[at + 2]);
  for (size_t i = at; i + 2 < enc.stream.size(); ++i) {
    if (enc.stream[i] == 0xFF && enc.stream[i + 1] >= 0xD0 && enc.stream[i + 1] <= 0xD7) {
      enc.pieceEnds.push_back(enc.entropy.size());
      ++i;
      continue;
    }
    enc.entropy.push_back(enc.stream[i]);
  }
  return enc;
}

struct Layout {
  const char* name;
  uint8_t bits;
  uint8_t mode;
  uint32_t width;
  uint32_t height;
};

void PrintTo(const Layout& layout, std::ostream* out) { *out << layout.name; }

class JpegStreamTest : public ::testing::TestWithParam<std::tuple<Layout, bool>> {};

TEST_P(JpegStreamTest, TheDriversHeaderAroundLibjpegsDataDecodesToTheSameImage) {
  const auto [layout, restart] = GetParam();
  uint8_t tables[jpeg::kTablesSize] = {};
  jpeg::ScaleTables(jpeg::ScaleForQuality(75), tables);
  const uint16_t interval = jpeg::RestartInterval(layout.width, layout.bits, layout.mode);
  ASSERT_GT(interval, 0u);
  const bool color = layout.bits == 24;
  const Encoded enc = EncodeWithLibjpeg(layout.width, layout.height, color, color ? layout.mode : 0,
                                        restart ? interval : 0, tables, tables + 64);
  if (restart) {
    // A piece for every restart spacing's lines of MCU rows.
    const uint32_t mcuRows = (layout.height + jpeg::McuHeight(layout.bits, layout.mode) - 1) /
                             jpeg::McuHeight(layout.bits, layout.mode);
    const uint32_t rowsPerPiece = caps::kRestartSpacingLines / jpeg::McuHeight(layout.bits, layout.mode);
    EXPECT_EQ(enc.pieceEnds.size(), (mcuRows + rowsPerPiece - 1) / rowsPerPiece - 1);
  }

  jpeg::HeaderParams p;
  p.bits = layout.bits;
  p.width = layout.width;
  p.lines = layout.height;
  p.xResolution = p.yResolution = 200;
  p.luminance = tables;
  p.chrominance = tables + 64;
  p.restart = restart;
  p.restartInterval = interval;
  p.samplingMode = layout.mode;
  p.make = kMake;
  p.model = kModel;
  std::vector<uint8_t> stream(HeaderSize(restart, layout.bits, layout.mode));
  ASSERT_TRUE(jpeg::WriteJFIFHeader(stream.data(), p));
  size_t from = 0;
  for (size_t piece = 0; piece < enc.pieceEnds.size(); ++piece) {
    stream.insert(stream.end(), enc.entropy.begin() + static_cast<ptrdiff_t>(from),
                  enc.entropy.begin() + static_cast<ptrdiff_t>(enc.pieceEnds[piece]));
    uint8_t marker[2];
    jpeg::RestartMarker(static_cast<uint32_t>(piece), marker);
    stream.insert(stream.end(), marker, marker + 2);
    from = enc.pieceEnds[piece];
  }
  stream.insert(stream.end(), enc.entropy.begin() + static_cast<ptrdiff_t>(from), enc.entropy.end());
  uint8_t end[2];
  jpeg::EndMarker(end);
  stream.insert(stream.end(), end, end + 2);

  const Decoded ours = DecodeJpeg(stream);
  const Decoded theirs = DecodeJpeg(enc.stream);
  ASSERT_TRUE(ours.ok) << ours.error;
  ASSERT_TRUE(theirs.ok) << theirs.error;
  EXPECT_EQ(ours.warnings, 0) << ours.error;
  EXPECT_EQ(ours.width, layout.width);
  EXPECT_EQ(ours.height, layout.height);
  EXPECT_EQ(ours.components, color ? 3 : 1);
  EXPECT_TRUE(ours.pixels == theirs.pixels);
}

const Layout kLayouts[] = {
    {"Grey", 8, 4, 200, 150},           {"GreyOddWidth", 8, 4, 203, 131},
    {"GreyWithAColourMode", 8, 1, 96, 70}, {"Colour2x2", 24, 1, 208, 160},
    {"Colour2x1", 24, 2, 200, 100},     {"Colour1x1", 24, 3, 120, 90},
    {"ColourAnotherMode", 24, 0, 64, 64},
};

INSTANTIATE_TEST_SUITE_P(Layouts, JpegStreamTest, ::testing::Combine(::testing::ValuesIn(kLayouts), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "Restart" : "");
                         });

}  // namespace
}  // namespace rzd::lowdrv::test
