// The metadata record the service writes, read the way Produce reads it.
#include "meta_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace rzd::nethal {
namespace {

std::vector<uint8_t> Record(const std::u16string& text, const std::vector<uint8_t>& data, uint64_t kind,
                            const std::function<void(uint64_t*)>& change = nullptr, size_t slack = 0) {
  const uint64_t textSize = 2 * text.size() + 2;
  uint64_t fields[5] = {40, textSize, 40 + textSize, data.size(), kind};
  if (change) change(fields);
  std::vector<uint8_t> view(40 + textSize + data.size() + slack);
  std::memcpy(view.data(), fields, sizeof fields);
  std::memcpy(view.data() + 40, text.c_str(), textSize);
  std::memcpy(view.data() + 40 + textSize, data.data(), data.size());
  return view;
}

TEST(MetaRecordTest, ARecordInsideItsViewGivesItsTextDataAndKind) {
  const std::vector<uint8_t> data(1001, 0xF0);
  const std::vector<uint8_t> view = Record(u"<Operation/>", data, 2);
  MetaRecord record;
  ASSERT_EQ(ReadMetaRecord(view.data(), view.size(), &record), MetaCheck::kRecord);
  EXPECT_EQ(record.text, u"<Operation/>");
  EXPECT_EQ(record.dataSize, 1001u);
  EXPECT_EQ(record.data, view.data() + 40 + 26);  // n characters: data at 2n + 42
  EXPECT_EQ(record.kind, 2u);
}

TEST(MetaRecordTest, AnAllZeroHeaderMeansNothingWasWritten) {
  const std::vector<uint8_t> view(4096, 0);
  MetaRecord record;
  EXPECT_EQ(ReadMetaRecord(view.data(), view.size(), &record), MetaCheck::kEmpty);
}

TEST(MetaRecordTest, RecordsThatLeaveTheirViewOrTheirTextAreRefused) {
  const struct {
    const char* name;
    std::function<void(uint64_t*)> change;
  } kCases[] = {
      {"kind 3", [](uint64_t* f) { f[4] = 3; }},
      {"text offset in the header", [](uint64_t* f) { f[0] = 8; }},
      {"text past the view", [](uint64_t* f) { f[0] = 1ull << 40; }},
      {"text size wrapping", [](uint64_t* f) { f[1] = ~0ull - 10; }},
      {"text without terminator", [](uint64_t* f) { f[1] -= 2; }},
      {"empty text", [](uint64_t* f) { f[1] = 0; }},
      {"data past the view", [](uint64_t* f) { f[3] += 1; }},
      {"data offset wrapping", [](uint64_t* f) { f[2] = ~0ull; }},
      {"data size wrapping", [](uint64_t* f) { f[3] = ~0ull; }},
  };
  for (const auto& c : kCases) {
    const std::vector<uint8_t> view = Record(u"<Operation/>", std::vector<uint8_t>(10, 1), 0, c.change);
    MetaRecord record;
    EXPECT_EQ(ReadMetaRecord(view.data(), view.size(), &record), MetaCheck::kBad) << c.name;
  }
  const std::vector<uint8_t> shortView(39, 1);
  MetaRecord record;
  EXPECT_EQ(ReadMetaRecord(shortView.data(), shortView.size(), &record), MetaCheck::kBad);
}

}  // namespace
}  // namespace rzd::nethal
