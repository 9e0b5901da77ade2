// Whole batches through the exported Control and Read against rzd-engine in its own process:
// every image format, simplex and the duplex transfer modes 0, 5, 3 and 6, and three buffer
// sizes, three sheets each. Raw lines must be the unit's pattern lines of the right sheet, side
// and line; every JPEG side must be a complete stream libjpeg decodes cleanly at the documented
// size; boundaries run 1...2...3...6; page documents parse, their offsets run on without gaps and
// a side's last document gives what was delivered.
#include "jpeg_decode.h"
#include "scan_fixture.h"

#include <map>
#include <tuple>

namespace rzd::lowdrv::test {
namespace {

constexpr uint32_t kSheets = 3;

struct Format {
  const char* name;
  ScanChoice::Kind kind;
  bool jpeg;
  const char16_t* subsampling;
};
const Format kFormats[] = {
    {"RawGrey", ScanChoice::Kind::Gray, false, u"2"},
    {"RawColour", ScanChoice::Kind::Color, false, u"2"},
    // The model scans line art as grey JPEG and hands the threshold to the client.
    {"LineArt", ScanChoice::Kind::LineArt, true, u"2"},
    {"JpegGrey", ScanChoice::Kind::Gray, true, u"2"},
    {"JpegColourSampling1", ScanChoice::Kind::Color, true, u"4"},
    {"JpegColourSampling2", ScanChoice::Kind::Color, true, u"2"},
    {"JpegColourSampling3", ScanChoice::Kind::Color, true, u"1"},
};

struct Mode {
  const char* name;
  bool duplex;
  const char* unitMode;
};
const Mode kModes[] = {
    {"Simplex", false, "0"}, {"Duplex0", true, "0"}, {"Duplex5", true, "5"}, {"Duplex3", true, "3"}, {"Duplex6", true, "6"},
};

enum class Buffer { OneLine, Odd, Large };
const char* kBufferNames[] = {"OneLine", "Odd", "Large"};

// One side's stream as the documents describe it.
struct Stream {
  std::vector<uint8_t> bytes;
  uint64_t lines = 0;
  bool ended = false;
  int64_t length = -1;
  int64_t imageSize = -1;
  int64_t width = -1;
};

class ScanTableTest : public ScanTest,
                      public ::testing::WithParamInterface<std::tuple<size_t, size_t, Buffer>> {};

TEST_P(ScanTableTest, DeliversEveryPageWhole) {
  const Format& format = kFormats[std::get<0>(GetParam())];
  const Mode& mode = kModes[std::get<1>(GetParam())];
  const Buffer buffer = std::get<2>(GetParam());
  OpenAndLock({"load " + std::to_string(kSheets) + " duplex", std::string("duplexmode ") + mode.unitMode});

  ScanChoice choice;
  choice.kind = format.kind;
  choice.jpeg = format.jpeg;
  choice.subsampling = format.subsampling;
  choice.duplex = mode.duplex;
  const uint32_t applied = Apply(EditsFor(choice));
  ASSERT_TRUE(applied == 0 || applied == 0x800C) << applied;

  const ReduzidWindowDescriptor window = *Driver().m_pSettings->GetWindowDescription();
  const uint32_t line = window.PixelNum | (uint32_t{window.HiBytePixelNum} << 16);
  const bool combined = mode.duplex && std::string(mode.unitMode) == "3" && !format.jpeg;
  ASSERT_GT(line, 0u);
  uint32_t size = 0;
  switch (buffer) {
    case Buffer::OneLine: size = format.jpeg || !mode.duplex ? line : 2 * line; break;
    case Buffer::Odd: size = 5 * line + 37; break;
    case Buffer::Large: size = 1u << 20; break;
  }
  const std::vector<ReadCall> calls = ReadBatch(size);
  ASSERT_FALSE(calls.empty());
  for (size_t i = 0; i < calls.size(); ++i) ASSERT_TRUE(calls[i].ok) << "call " << i << ": " << ToUtf8(calls[i].meta);

  // Boundaries: 1 inside a side, 2 when one side of a duplex page ended, 3 at a page end, 6 at
  // the end of the batch; never 4 or 5.
  std::map<uint32_t, int> seen;
  for (const ReadCall& c : calls) seen[c.boundary] += 1;
  EXPECT_EQ(calls.back().boundary, 6u);
  EXPECT_EQ(seen[6], 1);
  EXPECT_EQ(seen[3], static_cast<int>(kSheets) - 1);
  EXPECT_EQ(seen[2], mode.duplex && !combined ? static_cast<int>(kSheets) : 0);
  EXPECT_EQ(seen[4] + seen[5], 0);
  EXPECT_GT(seen[1], 0);

  // The streams by page and side, with the documents' offsets checked on the way.
  std::map<std::pair<int64_t, std::u16string>, Stream> streams;
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE("call " + std::to_string(i));
    const ReadCall& c = calls[i];
    PageDoc doc(c.meta);
    ASSERT_TRUE(doc.Parsed()) << ToUtf8(c.meta);
    for (const char16_t* path : {u"/Result/Address/Page", u"/Result/Address/Image", u"/Result/Address/Side",
                                 u"/Result/Address/DocumentSource", u"/Result/Address/ImageSource", u"/Result/Address/Stream",
                                 u"/Result/Format/Pixels", u"/Result/Format/Compression", u"/Result/Format/BitsPerPixel",
                                 u"/Result/ImageDimensions/Width", u"/Result/Resolutions/X", u"/Result/ImageSize"})
      EXPECT_TRUE(doc.Has(path)) << ToUtf8(path);
    EXPECT_EQ(doc.Int(u"/Result/Address/Image"), 1);
    EXPECT_EQ(doc.Text(u"/Result/Format/Compression"), format.jpeg ? u"JPG" : u"None");
    EXPECT_EQ(doc.Text(u"/Result/Address/ScanMode"), mode.duplex ? u"Duplex" : u"Simplex");
    const std::u16string side = doc.Text(u"/Result/Address/Side");
    Stream& s = streams[{doc.Int(u"/Result/Address/Page"), side}];
    ASSERT_FALSE(s.ended) << "data after the side's end";
    EXPECT_EQ(doc.Int(u"/Result/Address/ByteOffset"), static_cast<int64_t>(format.jpeg ? s.bytes.size() : s.bytes.size()));
    EXPECT_EQ(doc.Int(u"/Result/Address/NumberOfBytes"), static_cast<int64_t>(c.data.size()));
    if (!format.jpeg) {
      EXPECT_EQ(doc.Int(u"/Result/Address/LineOffset"), static_cast<int64_t>(s.lines));
      const int64_t lines = doc.Int(u"/Result/Address/NumberOfLines");
      EXPECT_EQ(lines * doc.Int(u"/Result/Format/BytesPerLine"), static_cast<int64_t>(c.data.size()));
      s.lines += static_cast<uint64_t>(lines);
    } else {
      EXPECT_FALSE(doc.Has(u"/Result/Address/NumberOfLines"));
      EXPECT_EQ(doc.Int(u"/Result/Address/LineOffset"), static_cast<int64_t>(s.bytes.size()));
    }
    s.bytes.insert(s.bytes.end(), c.data.begin(), c.data.end());
    if (doc.Int(u"/Result/ImageSize") != 0) {
      s.ended = true;
      s.length = doc.Int(u"/Result/ImageDimensions/Length");
      s.imageSize = doc.Int(u"/Result/ImageSize");
      s.width = doc.Int(u"/Result/ImageDimensions/Width");
      EXPECT_EQ(s.imageSize, static_cast<int64_t>(s.bytes.size()));
      if (!format.jpeg) {
        EXPECT_EQ(s.length, static_cast<int64_t>(s.lines));
      }
    }
    if (format.kind == ScanChoice::Kind::LineArt) {
      EXPECT_EQ(doc.Text(u"/Result/ConvertToBWThreshold"), u"102");
    }
  }

  // Every side of every sheet, complete.
  const uint32_t linesPerSide = (window.LineNum | (uint32_t{window.HiByteLineNum} << 16)) / (mode.duplex ? 2 : 1);
  const std::vector<std::u16string> sides = combined ? std::vector<std::u16string>{u"Both"}
                                            : mode.duplex ? std::vector<std::u16string>{u"Front", u"Back"}
                                                          : std::vector<std::u16string>{u"Front"};
  EXPECT_EQ(streams.size(), kSheets * sides.size());
  for (uint32_t sheet = 1; sheet <= kSheets; ++sheet) {
    for (const std::u16string& side : sides) {
      SCOPED_TRACE("sheet " + std::to_string(sheet) + " " + ToUtf8(side));
      auto found = streams.find({sheet, side});
      ASSERT_NE(found, streams.end());
      const Stream& s = found->second;
      ASSERT_TRUE(s.ended);
      if (!format.jpeg) {
        std::vector<uint8_t> expected;
        if (side == u"Both") {
          for (uint32_t block = 0; block * 16 < linesPerSide; ++block) {
            for (uint32_t face = 0; face < 2; ++face) {
              for (uint32_t l = block * 16; l < std::min(linesPerSide, block * 16 + 16); ++l) {
                const std::vector<uint8_t> p = engine::PatternLine(sheet, face, l, line);
                expected.insert(expected.end(), p.begin(), p.end());
              }
            }
          }
        } else {
          const uint32_t face = side == u"Back" ? 1 : 0;
          for (uint32_t l = 0; l < linesPerSide; ++l) {
            const std::vector<uint8_t> p = engine::PatternLine(sheet, face, l, line);
            expected.insert(expected.end(), p.begin(), p.end());
          }
        }
        ASSERT_EQ(s.bytes.size(), expected.size());
        EXPECT_TRUE(s.bytes == expected) << "the side's lines are not the unit's";
      } else {
        ASSERT_GE(s.bytes.size(), 4u);
        EXPECT_EQ(s.bytes[0], 0xFF);
        EXPECT_EQ(s.bytes[1], 0xD8);
        EXPECT_EQ(s.bytes[s.bytes.size() - 2], 0xFF);
        EXPECT_EQ(s.bytes.back(), 0xD9);
        const Decoded d = DecodeJpeg(s.bytes);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.warnings, 0) << d.error;
        EXPECT_EQ(static_cast<int64_t>(d.width), s.width);
        EXPECT_EQ(static_cast<int64_t>(d.height), s.length);
        EXPECT_EQ(d.height, linesPerSide);
        EXPECT_EQ(d.components, format.kind == ScanChoice::Kind::Color ? 3 : 1);
      }
    }
  }
}

std::string TableName(const ::testing::TestParamInfo<std::tuple<size_t, size_t, Buffer>>& info) {
  return std::string(kFormats[std::get<0>(info.param)].name) + "_" + kModes[std::get<1>(info.param)].name + "_" +
         kBufferNames[static_cast<int>(std::get<2>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Batches, ScanTableTest,
                         ::testing::Combine(::testing::Range<size_t>(0, std::size(kFormats)),
                                            ::testing::Range<size_t>(0, std::size(kModes)),
                                            ::testing::Values(Buffer::OneLine, Buffer::Odd, Buffer::Large)),
                         TableName);

}  // namespace
}  // namespace rzd::lowdrv::test
