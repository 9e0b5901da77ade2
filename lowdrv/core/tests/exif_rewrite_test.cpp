// The rewrite of the Make and Model of an engine-made JPEG header: texts in place, moved to new
// room at the end of the segment, in the value field, added with a new IFD, in either byte order;
// and streams it must leave alone (no Exif, a cut or broken segment, no room).
#include "scan/exif_rewrite.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace rzd::lowdrv::test {
namespace {

struct ExifEntry {
  uint16_t tag;
  std::string text;  // without its terminating zero
};

// A stream: SOI, an APP1 Exif segment with these ASCII entries (texts after the IFD, a short
// one in the value field), a DQT-like segment and the start of a scan.
std::vector<uint8_t> Stream(const std::vector<ExifEntry>& entries, bool bigEndian = true) {
  std::vector<uint8_t> tiff = {static_cast<uint8_t>(bigEndian ? 'M' : 'I'), static_cast<uint8_t>(bigEndian ? 'M' : 'I')};
  auto put16 = [&](std::vector<uint8_t>& v, uint32_t x) {
    if (bigEndian) v.insert(v.end(), {static_cast<uint8_t>(x >> 8), static_cast<uint8_t>(x)});
    else v.insert(v.end(), {static_cast<uint8_t>(x), static_cast<uint8_t>(x >> 8)});
  };
  auto put32 = [&](std::vector<uint8_t>& v, uint32_t x) {
    if (bigEndian) {
      put16(v, x >> 16);
      put16(v, x & 0xFFFF);
    } else {
      put16(v, x & 0xFFFF);
      put16(v, x >> 16);
    }
  };
  put16(tiff, 0x2A);
  put32(tiff, 8);
  put16(tiff, static_cast<uint32_t>(entries.size()));
  uint32_t at = 8 + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
  std::vector<uint8_t> values;
  for (const ExifEntry& e : entries) {
    put16(tiff, e.tag);
    put16(tiff, 2);
    put32(tiff, static_cast<uint32_t>(e.text.size()) + 1);
    if (e.text.size() + 1 <= 4) {
      std::string v = e.text;
      v.resize(4, '\0');
      tiff.insert(tiff.end(), v.begin(), v.end());
    } else {
      put32(tiff, at + static_cast<uint32_t>(values.size()));
      values.insert(values.end(), e.text.begin(), e.text.end());
      values.push_back(0);
      if (values.size() % 2) values.push_back(0);
    }
  }
  put32(tiff, 0);
  tiff.insert(tiff.end(), values.begin(), values.end());
  std::vector<uint8_t> s = {0xFF, 0xD8, 0xFF, 0xE1};
  const uint32_t length = 2 + 6 + static_cast<uint32_t>(tiff.size());
  s.insert(s.end(), {static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 'E', 'x', 'i', 'f', 0, 0});
  s.insert(s.end(), tiff.begin(), tiff.end());
  s.insert(s.end(), {0xFF, 0xDB, 0x00, 0x05, 0x11, 0x22, 0x33, 0xFF, 0xDA, 0x00, 0x02, 0xAB, 0xCD});
  return s;
}

// The ASCII entries of the first Exif segment, read the way a reader of the stream reads them;
// empty when the segment cannot be read.
std::map<uint16_t, std::string> ReadEntries(const std::vector<uint8_t>& s) {
  std::map<uint16_t, std::string> out;
  if (s.size() < 20 || s[2] != 0xFF || s[3] != 0xE1) return out;
  const size_t segmentEnd = 4 + (static_cast<size_t>(s[4]) << 8 | s[5]);
  const size_t t = 12;
  const bool big = s[t] == 'M';
  auto g16 = [&](size_t p) { return big ? (s[p] << 8 | s[p + 1]) : (s[p + 1] << 8 | s[p]); };
  auto g32 = [&](size_t p) { return static_cast<uint32_t>(big ? (g16(p) << 16 | g16(p + 2)) : (g16(p + 2) << 16 | g16(p))); };
  const size_t ifd = t + g32(t + 4);
  const size_t count = static_cast<size_t>(g16(ifd));
  for (size_t i = 0; i < count; ++i) {
    const size_t e = ifd + 2 + 12 * i;
    const uint32_t n = g32(e + 4);
    const size_t at = n <= 4 ? e + 8 : t + g32(e + 8);
    if (at + n > segmentEnd || n == 0) return {};
    out[static_cast<uint16_t>(g16(e))] = std::string(reinterpret_cast<const char*>(&s[at]), n - 1);
  }
  return out;
}

// The bytes from the DQT-like segment on (what must survive the rewrite unchanged).
std::vector<uint8_t> Tail(const std::vector<uint8_t>& s) {
  const size_t segmentEnd = 4 + (static_cast<size_t>(s[4]) << 8 | s[5]);
  return {s.begin() + static_cast<ptrdiff_t>(segmentEnd), s.end()};
}

size_t Rewrite(std::vector<uint8_t>& s, size_t room, std::string_view make, std::string_view model) {
  const size_t length = s.size();
  s.resize(length + room, 0xEE);
  const size_t result = jpeg::RewriteExifMakeModel(s.data(), length, s.size(), make, model);
  EXPECT_LE(result, s.size());
  s.resize(result);
  return result;
}

TEST(ExifRewriteTest, TextsAreRewrittenWhereverTheyFit) {
  struct Case {
    const char* name;
    std::vector<ExifEntry> entries;
    bool bigEndian;
    std::string make;
    std::string model;
    bool grows;
  };
  const Case cases[] = {
      {"shorter texts in their old places", {{0x010F, "QUARX CORP"}, {0x0110, "M48tz Scanner"}}, true, "Quarx", "M48tz", false},
      {"longer texts get room", {{0x010F, "QUARX"}, {0x0110, "M48tz"}}, true, "Quarx", "Quarx M48tz Scanner", true},
      {"short texts go into the entry", {{0x010F, "QUARX"}, {0x0110, "M48tz"}}, true, "Abc", "M4", false},
      {"a short old text moves out", {{0x010F, "Q"}, {0x0110, "M"}}, true, "Corvanite", "Quarx M48tz Scanner", true},
      {"little-endian", {{0x010F, "QUARX"}, {0x0110, "M48tz"}}, false, "Quarx", "Quarx M48tz Scanner", true},
      {"a missing model is added", {{0x010F, "QUARX"}, {0x0131, "Firmware 1"}}, true, "Quarx", "Quarx M48tz Scanner", true},
      {"no entries at all", {}, true, "Quarx", "Quarx M48tz Scanner", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> s = Stream(c.entries, c.bigEndian);
    const size_t before = s.size();
    const std::vector<uint8_t> tail = Tail(s);
    Rewrite(s, 256, c.make, c.model);
    EXPECT_EQ(s.size() > before, c.grows);
    const std::map<uint16_t, std::string> entries = ReadEntries(s);
    EXPECT_EQ(entries.at(0x010F), c.make);
    EXPECT_EQ(entries.at(0x0110), c.model);
    for (const ExifEntry& e : c.entries) {
      if (e.tag != 0x010F && e.tag != 0x0110) {
        EXPECT_EQ(entries.at(e.tag), e.text);
      }
    }
    EXPECT_EQ(Tail(s), tail);
    // The old texts are gone from the stream.
    const std::string text(s.begin(), s.end());
    for (const ExifEntry& e : c.entries) {
      if ((e.tag == 0x010F || e.tag == 0x0110) && e.text.size() > 3 && e.text != c.make && e.text != c.model) {
        EXPECT_EQ(text.find(e.text + '\0'), std::string::npos) << e.text;
      }
    }
  }
}

TEST(ExifRewriteTest, StreamsItCannotReadOrGrowAreLeftAlone) {
  const std::vector<uint8_t> good = Stream({{0x010F, "QUARX"}, {0x0110, "M48tz"}});
  struct Case {
    const char* name;
    std::vector<uint8_t> stream;
    size_t room;
  };
  std::vector<Case> cases;
  cases.push_back({"no room to grow", good, 4});
  cases.push_back({"no start of image", std::vector<uint8_t>(good.begin() + 2, good.end()), 256});
  cases.push_back({"the segment runs past the data", std::vector<uint8_t>(good.begin(), good.begin() + 30), 256});
  std::vector<uint8_t> noExif = good;
  noExif[6] = 'X';
  cases.push_back({"no Exif signature", noExif, 256});
  std::vector<uint8_t> badOrder = good;
  badOrder[12] = 'Z';
  cases.push_back({"no byte order", badOrder, 256});
  std::vector<uint8_t> farIfd = good;
  farIfd[19] = 0xF0;
  cases.push_back({"the IFD lies outside", farIfd, 256});
  std::vector<uint8_t> manyEntries = good;
  manyEntries[20] = 0x40;
  cases.push_back({"more entries than the segment holds", manyEntries, 256});
  std::vector<uint8_t> scanFirst = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02};
  scanFirst.insert(scanFirst.end(), good.begin() + 2, good.end());
  cases.push_back({"the scan starts first", scanFirst, 256});
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> before = c.stream;
    const size_t length = c.stream.size();
    c.stream.resize(length + c.room, 0xEE);
    EXPECT_EQ(jpeg::RewriteExifMakeModel(c.stream.data(), length, c.stream.size(), "Quarx", "Quarx M48tz Scanner"), length);
    c.stream.resize(length);
    EXPECT_EQ(c.stream, before);
  }
  EXPECT_EQ(jpeg::RewriteExifMakeModel(nullptr, 10, 100, "a", "b"), 10u);
}

TEST(ExifRewriteTest, TheReserveCoversTheGrowthOfBothTexts) {
  for (size_t makeLength : {0u, 3u, 4u, 9u, 40u}) {
    for (size_t modelLength : {0u, 5u, 19u, 64u, 300u}) {
      const std::string make(makeLength, 'm');
      const std::string model(modelLength, 'n');
      std::vector<uint8_t> s = Stream({{0x010F, "Q"}, {0x0110, "M"}});
      const size_t before = s.size();
      const size_t reserve = jpeg::ExifRewriteReserve(make, model);
      EXPECT_GT(Rewrite(s, reserve, make, model), before - 1);
      EXPECT_EQ(ReadEntries(s).at(0x0110), model);
    }
  }
}

}  // namespace
}  // namespace rzd::lowdrv::test
