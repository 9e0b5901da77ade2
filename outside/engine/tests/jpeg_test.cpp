// JPEG sides: the unit sends only entropy-coded data made with the host's tables; with a
// standard header in front (built here the way the host builds it) libjpeg decodes it cleanly.
// The layouts table runs three times: on the unit in this process, on rzd-engine in its own, and
// on the unit on a mocked USB port over libusb.
#include "engine/page_pattern.h"
#include "engine/sim_unit.h"
#include "host_link.h"
#include "unit_bench.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <tuple>

#include <jpeglib.h>

namespace rzd::engine {
namespace {

using test::HostLink;
using test::Reply;
using test::SenseView;
using test::WindowParams;

// Natural-order position of each zigzag index.
constexpr int kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                             12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                             35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                             58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

constexpr uint8_t kK1[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                             14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                             18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                             49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr uint8_t kK2[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                             24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                             99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                             99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

// The host's tables for a scale: each entry (v * scale + 50) / 100, held within 1..255.
std::vector<uint8_t> Tables(unsigned scale) {
  std::vector<uint8_t> t(128);
  for (int i = 0; i < 64; ++i) {
    t[i] = static_cast<uint8_t>(std::clamp((kK1[i] * scale + 50) / 100, 1u, 255u));
    t[64 + i] = static_cast<uint8_t>(std::clamp((kK2[i] * scale + 50) / 100, 1u, 255u));
  }
  return t;
}

void Append(std::vector<uint8_t>& s, std::initializer_list<int> bytes) {
  for (int b : bytes) s.push_back(static_cast<uint8_t>(b));
}

// The four standard Huffman tables as DHT segments, taken from libjpeg's defaults.
std::vector<uint8_t> StandardHuffmanSegments(bool color) {
  jpeg_compress_struct c{};
  jpeg_error_mgr e{};
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  c.in_color_space = JCS_RGB;
  c.input_components = 3;
  jpeg_set_defaults(&c);
  std::vector<uint8_t> s;
  auto segment = [&](const JHUFF_TBL* t, int classId) {
    int count = 0;
    for (int i = 1; i <= 16; ++i) count += t->bits[i];
    const int length = 2 + 1 + 16 + count;
    Append(s, {0xFF, 0xC4, length >> 8, length & 0xFF, classId});
    for (int i = 1; i <= 16; ++i) s.push_back(t->bits[i]);
    for (int i = 0; i < count; ++i) s.push_back(t->huffval[i]);
  };
  segment(c.dc_huff_tbl_ptrs[0], 0x00);
  segment(c.ac_huff_tbl_ptrs[0], 0x10);
  if (color) {
    segment(c.dc_huff_tbl_ptrs[1], 0x01);
    segment(c.ac_huff_tbl_ptrs[1], 0x11);
  }
  jpeg_destroy_compress(&c);
  return s;
}

// A baseline stream around the unit's entropy data, the way the host writes its header.
std::vector<uint8_t> Stream(const std::vector<uint8_t>& entropy, const std::vector<uint8_t>& tables,
                            bool color, int sampling, int width, int lines) {
  std::vector<uint8_t> s = {0xFF, 0xD8};
  for (int t = 0; t < (color ? 2 : 1); ++t) {
    Append(s, {0xFF, 0xDB, 0x00, 0x43, t});
    for (int i = 0; i < 64; ++i) s.push_back(tables[t * 64 + kZigzag[i]]);
  }
  if (color) {
    const int first = sampling == 1 ? 0x22 : sampling == 2 ? 0x21 : 0x11;
    Append(s, {0xFF, 0xC0, 0x00, 0x11, 0x08, lines >> 8, lines & 0xFF, width >> 8, width & 0xFF,
               0x03, 0x01, first, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01});
  } else {
    Append(s, {0xFF, 0xC0, 0x00, 0x0B, 0x08, lines >> 8, lines & 0xFF, width >> 8, width & 0xFF,
               0x01, 0x01, 0x11, 0x00});
  }
  const std::vector<uint8_t> huffman = StandardHuffmanSegments(color);
  s.insert(s.end(), huffman.begin(), huffman.end());
  if (color) {
    Append(s, {0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00});
  } else {
    Append(s, {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
  }
  s.insert(s.end(), entropy.begin(), entropy.end());
  Append(s, {0xFF, 0xD9});
  return s;
}

struct Decoded {
  bool ok = false;
  int warnings = 0;
  int width = 0, height = 0, components = 0;
  std::vector<uint8_t> samples;
};

struct DecodeErrors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  int warnings;
};

extern "C" void DecodeFail(j_common_ptr info) {
  std::longjmp(reinterpret_cast<DecodeErrors*>(info->err)->jump, 1);
}
extern "C" void DecodeMessage(j_common_ptr info, int level) {
  if (level < 0) ++reinterpret_cast<DecodeErrors*>(info->err)->warnings;
}

bool DecodeInto(jpeg_decompress_struct& d, const std::vector<uint8_t>& stream, Decoded& out) {
  if (setjmp(reinterpret_cast<DecodeErrors*>(d.err)->jump) != 0) return false;
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, stream.data(), static_cast<unsigned long>(stream.size()));
  jpeg_read_header(&d, TRUE);
  jpeg_start_decompress(&d);
  out.width = static_cast<int>(d.output_width);
  out.height = static_cast<int>(d.output_height);
  out.components = d.output_components;
  out.samples.resize(static_cast<size_t>(out.width) * out.height * out.components);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = &out.samples[static_cast<size_t>(d.output_scanline) * out.width * out.components];
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  return true;
}

Decoded Decode(const std::vector<uint8_t>& stream) {
  Decoded out;
  jpeg_decompress_struct d{};
  DecodeErrors errors{};
  d.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = DecodeFail;
  errors.pub.emit_message = DecodeMessage;
  out.ok = DecodeInto(d, stream, out);
  out.warnings = errors.warnings + static_cast<int>(errors.pub.num_warnings);
  jpeg_destroy_decompress(&d);
  return out;
}

double MeanDifference(const Decoded& image, uint32_t sheet, uint32_t side) {
  const size_t lineBytes = static_cast<size_t>(image.width) * image.components;
  double total = 0;
  for (int line = 0; line < image.height; ++line) {
    const std::vector<uint8_t> expected = PatternLine(sheet, side, line, lineBytes);
    for (size_t i = 0; i < lineBytes; ++i)
      total += std::abs(int(image.samples[line * lineBytes + i]) - int(expected[i]));
  }
  return total / (lineBytes * image.height);
}

struct JpegCase {
  const char* name;
  uint32_t mode;  // 0x10 grey, 0x80 colour
  uint8_t sampling;
  uint16_t source;  // 1 simplex, 4 duplex
  int duplexMode;
};

// Parameters: the link, then the layout.
class UnitJpeg : public test::OnLink<std::tuple<test::LinkKind, JpegCase>> {};

void PrintTo(const JpegCase& c, std::ostream* out) { *out << c.name; }

TEST_P(UnitJpeg, SidesDecodeWithoutWarningsOnceTheHeaderIsAdded) {
  const JpegCase& c = std::get<1>(GetParam());
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  ASSERT_EQ(unit.Control("duplexmode " + std::to_string(c.duplexMode)).rfind("ok", 0), 0u);
  ASSERT_EQ(unit.Control("load 1").rfind("ok", 0), 0u);
  const std::vector<uint8_t> tables = Tables(50);  // quality 75
  std::vector<uint8_t> record = {0, 0, 0x64, 0x84};
  record.insert(record.end(), tables.begin(), tables.end());
  ASSERT_TRUE(host.Send(0x8B, record).Good());
  WindowParams win;
  win.mode = c.mode;
  win.pixels = 100;
  win.lines = c.source == 4 ? 74 : 37;
  win.source = c.source;
  win.compression = 3;
  win.sampling = c.sampling;
  ASSERT_TRUE(host.SetWindow(win));
  ASSERT_TRUE(host.Reserve(0).Good());

  const bool duplex = c.source == 4;
  std::vector<uint8_t> entropy[2];
  bool ended[2] = {false, !duplex};
  int last = -1;
  int reads = 0;
  while (!(ended[0] && ended[1]) && reads++ < 10000) {
    int side = 0;
    if (duplex) {
      if (c.duplexMode == 5) side = ended[0] ? 1 : 0;
      else side = last < 0 ? 0 : (ended[1 - last] ? last : 1 - last);
    }
    // The host asks for multiples of 64 bytes.
    const Reply r = host.ReadImage(512);
    entropy[side].insert(entropy[side].end(), r.data.begin(), r.data.end());
    last = side;
    if (r.Good()) {
      ASSERT_EQ(r.data.size(), 512u);
      continue;
    }
    ASSERT_TRUE(r.CheckCondition());
    const SenseView s = host.RequestSense();
    ASSERT_EQ(s.asc, 0x80);
    ASSERT_EQ(s.ascq, 0x04);
    EXPECT_EQ(s.info, r.data.size());
    EXPECT_EQ(s.bytes, entropy[side].size());
    EXPECT_EQ(s.lines, 37u);
    EXPECT_EQ(s.pixels, 100u);
    ended[side] = true;
  }
  ASSERT_TRUE(ended[0] && ended[1]);
  for (uint32_t side = 0; side < (duplex ? 2u : 1u); ++side) {
    SCOPED_TRACE(testing::Message() << "side " << side);
    ASSERT_FALSE(entropy[side].empty());
    const Decoded image = Decode(Stream(entropy[side], tables, c.mode == 0x80, c.sampling, 100, 37));
    ASSERT_TRUE(image.ok);
    EXPECT_EQ(image.warnings, 0);
    EXPECT_EQ(image.width, 100);
    EXPECT_EQ(image.height, 37);
    EXPECT_EQ(image.components, c.mode == 0x80 ? 3 : 1);
    // The image is this side's page, not the other side's.
    const double own = MeanDifference(image, 1, side);
    EXPECT_LT(own, 24.0);
    EXPECT_LT(own, MeanDifference(image, 1, 1 - side));
    // Read with other tables than the ones sent, the same data gives a much worse image.
    const Decoded wrong =
        Decode(Stream(entropy[side], Tables(100), c.mode == 0x80, c.sampling, 100, 37));
    ASSERT_TRUE(wrong.ok);
    EXPECT_GT(MeanDifference(wrong, 1, side), own * 2);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, UnitJpeg,
    ::testing::Combine(
        test::AllLinks(),
        ::testing::Values(JpegCase{"grey", 0x10, 4, 1, 0}, JpegCase{"colour2x2", 0x80, 1, 1, 0},
                          JpegCase{"colour2x1", 0x80, 2, 1, 0}, JpegCase{"colour1x1", 0x80, 3, 1, 0},
                          JpegCase{"duplexAlternating", 0x80, 1, 4, 0},
                          JpegCase{"duplexFrontThenBack", 0x10, 4, 4, 5})),
    [](const ::testing::TestParamInfo<UnitJpeg::ParamType>& info) {
      return std::string(std::get<1>(info.param).name) + "_" + test::LinkKindName(std::get<0>(info.param));
    });

TEST(UnitJpeg, TheTablesSentAreTheTablesUsed) {
  // The same page with two sets of tables: coarser tables give less entropy data.
  size_t sizes[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    SimUnit unit;
    HostLink host(unit);
    ASSERT_EQ(unit.Control("load 1").rfind("ok", 0), 0u);
    std::vector<uint8_t> record = {0, 0, 0x64, 0x84};
    const std::vector<uint8_t> tables = Tables(i == 0 ? 20 : 400);
    record.insert(record.end(), tables.begin(), tables.end());
    ASSERT_TRUE(host.Send(0x8B, record).Good());
    WindowParams win;
    win.pixels = 128;
    win.lines = 64;
    win.compression = 3;
    ASSERT_TRUE(host.SetWindow(win));
    ASSERT_TRUE(host.Reserve(0).Good());
    const Reply r = host.ReadImage(1 << 20);
    ASSERT_TRUE(r.CheckCondition());
    sizes[i] = r.data.size();
  }
  EXPECT_GT(sizes[0], sizes[1]);
}

}  // namespace
}  // namespace rzd::engine
