// Capability containers from a source are checked before use: sizes, counts, indexes, steps and
// texts, in the reader itself and through a session against sources that break each rule.
#include "apphal/twain_container.h"
#include "session_fixture.h"

#include <cstring>

namespace rzd::apphal::test {
namespace {

using twainds::ScriptBuilder;

// Container bytes built field by field.
class Bytes {
 public:
  template <typename T>
  Bytes& Put(T value) {
    const auto* p = reinterpret_cast<const uint8_t*>(&value);
    bytes_.insert(bytes_.end(), p, p + sizeof(T));
    return *this;
  }
  Bytes& Fill(size_t count, uint8_t value) {
    bytes_.insert(bytes_.end(), count, value);
    return *this;
  }
  std::span<const uint8_t> Span() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

TEST(TwainContainer, ReadsEveryKind) {
  CapabilityContainer c;
  ASSERT_TRUE(ReadContainer(TWON_ONEVALUE, Bytes().Put<TW_UINT16>(TWTY_INT16).Put<int32_t>(-3).Span(), &c));
  TwainNumber value;
  ASSERT_TRUE(CurrentNumber(c, &value));
  EXPECT_EQ(value, TwainNumber::Integer(-3));

  ASSERT_TRUE(ReadContainer(TWON_ENUMERATION,
                            Bytes().Put<TW_UINT16>(TWTY_UINT16).Put<TW_UINT32>(3).Put<TW_UINT32>(2).Put<TW_UINT32>(0)
                                .Put<uint16_t>(10).Put<uint16_t>(20).Put<uint16_t>(30).Span(),
                            &c));
  ASSERT_TRUE(CurrentNumber(c, &value));
  EXPECT_EQ(value, TwainNumber::Integer(30));
  std::vector<TwainNumber> list;
  ASSERT_TRUE(ListNumbers(c, &list));
  EXPECT_EQ(list.size(), 3u);

  TW_FIX32 half{0, 0x8000};
  ASSERT_TRUE(ReadContainer(TWON_RANGE,
                            Bytes().Put<TW_UINT16>(TWTY_FIX32).Put(TW_FIX32{1, 0}).Put(TW_FIX32{3, 0}).Put(half)
                                .Put(TW_FIX32{2, 0}).Put(TW_FIX32{2, 0x8000}).Span(),
                            &c));
  ASSERT_TRUE(CurrentNumber(c, &value));
  EXPECT_DOUBLE_EQ(value.ToDouble(), 2.5);
  ASSERT_TRUE(ListNumbers(c, &list));
  ASSERT_EQ(list.size(), 5u);  // 1, 1.5, 2, 2.5, 3
  EXPECT_DOUBLE_EQ(list.back().ToDouble(), 3.0);

  ASSERT_TRUE(ReadContainer(TWON_ARRAY, Bytes().Put<TW_UINT16>(TWTY_BOOL).Put<TW_UINT32>(0).Span(), &c));
  EXPECT_FALSE(CurrentNumber(c, &value));  // an empty array has no current value
  ASSERT_TRUE(ListNumbers(c, &list));
  EXPECT_TRUE(list.empty());
}

TEST(TwainContainer, RefusesWhatDoesNotFitOrMakesNoSense) {
  struct Case {
    const char* name;
    TW_UINT16 conType;
    Bytes bytes;
  };
  const std::vector<Case> cases{
      {"empty", TWON_ONEVALUE, Bytes()},
      {"one-value cut short", TWON_ONEVALUE, Bytes().Put<TW_UINT16>(TWTY_UINT32).Put<uint16_t>(1)},
      {"unknown item type", TWON_ONEVALUE, Bytes().Put<TW_UINT16>(77).Put<uint32_t>(1)},
      {"frame item", TWON_ONEVALUE, Bytes().Put<TW_UINT16>(TWTY_FRAME).Fill(16, 0)},
      {"unknown kind", 9, Bytes().Put<TW_UINT16>(TWTY_UINT16).Put<uint32_t>(1)},
      {"huge NumItems", TWON_ENUMERATION,
       Bytes().Put<TW_UINT16>(TWTY_UINT16).Put<TW_UINT32>(0x7FFFFFFF).Put<TW_UINT32>(0).Put<TW_UINT32>(0).Fill(6, 0)},
      {"items past the memory", TWON_ENUMERATION,
       Bytes().Put<TW_UINT16>(TWTY_UINT32).Put<TW_UINT32>(3).Put<TW_UINT32>(0).Put<TW_UINT32>(0).Fill(8, 0)},
      {"more items than allowed", TWON_ARRAY,
       Bytes().Put<TW_UINT16>(TWTY_UINT8).Put<TW_UINT32>(kMaxCapabilityItems + 1).Fill(kMaxCapabilityItems + 1, 0)},
      {"current index outside", TWON_ENUMERATION,
       Bytes().Put<TW_UINT16>(TWTY_UINT16).Put<TW_UINT32>(2).Put<TW_UINT32>(2).Put<TW_UINT32>(0).Fill(4, 0)},
      {"default index outside", TWON_ENUMERATION,
       Bytes().Put<TW_UINT16>(TWTY_UINT16).Put<TW_UINT32>(2).Put<TW_UINT32>(0).Put<TW_UINT32>(9).Fill(4, 0)},
      {"enumeration of nothing", TWON_ENUMERATION,
       Bytes().Put<TW_UINT16>(TWTY_UINT16).Put<TW_UINT32>(0).Put<TW_UINT32>(0).Put<TW_UINT32>(0)},
      {"range with step 0", TWON_RANGE,
       Bytes().Put<TW_UINT16>(TWTY_UINT16).Put<uint32_t>(0).Put<uint32_t>(10).Put<uint32_t>(0).Put<uint32_t>(0).Put<uint32_t>(0)},
      {"range upside down", TWON_RANGE,
       Bytes().Put<TW_UINT16>(TWTY_INT32).Put<int32_t>(5).Put<int32_t>(1).Put<int32_t>(1).Put<int32_t>(1).Put<int32_t>(1)},
      {"range of texts", TWON_RANGE, Bytes().Put<TW_UINT16>(TWTY_STR32).Fill(20, 0)},
      {"range cut short", TWON_RANGE, Bytes().Put<TW_UINT16>(TWTY_UINT16).Fill(10, 1)},
  };
  for (const Case& c : cases) {
    CapabilityContainer container;
    EXPECT_FALSE(ReadContainer(c.conType, c.bytes.Span(), &container)) << c.name;
  }
}

TEST(TwainContainer, HugeRangesAreNotListed) {
  CapabilityContainer c;
  ASSERT_TRUE(ReadContainer(TWON_RANGE,
                            Bytes().Put<TW_UINT16>(TWTY_UINT32).Put<uint32_t>(0).Put<uint32_t>(0xFFFFFFF0)
                                .Put<uint32_t>(1).Put<uint32_t>(0).Put<uint32_t>(7).Span(),
                            &c));
  TwainNumber value;
  ASSERT_TRUE(CurrentNumber(c, &value));  // the current value is fine
  EXPECT_EQ(value, TwainNumber::Integer(7));
  std::vector<TwainNumber> list;
  EXPECT_FALSE(ListNumbers(c, &list));    // the list would have 4 billion entries
  EXPECT_TRUE(list.empty());
}

TEST(TwainContainer, TextsEndAtTheirFieldWithoutATerminator) {
  CapabilityContainer c;
  ASSERT_TRUE(ReadContainer(TWON_ENUMERATION,
                            Bytes().Put<TW_UINT16>(TWTY_STR32).Put<TW_UINT32>(2).Put<TW_UINT32>(1).Put<TW_UINT32>(0)
                                .Fill(34, 'A').Put('B').Fill(33, 0).Span(),
                            &c));
  ASSERT_EQ(c.texts.size(), 2u);
  EXPECT_EQ(c.texts[0], std::string(34, 'A'));
  EXPECT_EQ(c.texts[1], "B");
  TwainNumber value;
  EXPECT_FALSE(CurrentNumber(c, &value));
}

TEST(TwainContainer, FilledContainersHaveTheLayoutOfTheirKind) {
  std::vector<uint8_t> out(kContainerBytes, 0xEE);
  ASSERT_TRUE(FillContainer(TWON_RANGE, TWTY_UINT16, TwainNumber::Integer(0x1234), out));
  for (size_t offset : {2u, 6u, 10u, 14u, 18u}) {
    uint32_t slot;
    std::memcpy(&slot, out.data() + offset, 4);
    EXPECT_EQ(slot, 0x1234u) << offset;
  }
  ASSERT_TRUE(FillContainer(TWON_ENUMERATION, TWTY_UINT16, TwainNumber::Integer(9), out));
  CapabilityContainer c;
  ASSERT_TRUE(ReadContainer(TWON_ENUMERATION, out, &c));
  EXPECT_EQ(c.numbers, std::vector<TwainNumber>{TwainNumber::Integer(9)});
  EXPECT_EQ(c.currentIndex, 0u);
  EXPECT_FALSE(FillContainer(TWON_ONEVALUE, TWTY_STR32, TwainNumber::Integer(0), out));
  EXPECT_FALSE(FillContainer(TWON_ONEVALUE, TWTY_UINT16, TwainNumber::Integer(0), std::span<uint8_t>(out.data(), 21)));
}

// Sources that break the container rules get a bounded error, never a crash or an endless list.
TEST_F(SessionTest, BrokenContainersFromTheSourceGiveABoundedError) {
  struct Case {
    const char* kind;
    uint32_t current;  // GetCapability
    uint32_t list;     // GetCapabilityList
  } cases[] = {
      {"zerostep", kTwainBadValue, kTwainBadValue},   {"hugecount", kTwainBadValue, kTwainBadValue},
      {"badindex", kTwainBadValue, kTwainBadValue},   {"shorthandle", kTwainBadValue, kTwainBadValue},
      {"hugerange", 0, kTwainBadValue},               {"foreign", kTwainLowMemory, kTwainLowMemory},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    auto session = OpenSession(ScriptBuilder().Broken(ICAP_BRIGHTNESS, c.kind));
    TwainNumber value;
    TW_UINT16 itemType = 0;
    EXPECT_EQ(session->GetCapability(ICAP_BRIGHTNESS, &value, &itemType), c.current);
    std::vector<TwainNumber> values;
    EXPECT_EQ(session->GetCapabilityList(ICAP_BRIGHTNESS, &values), c.list);
    EXPECT_LE(values.size(), kMaxCapabilityItems);
    EXPECT_EQ(session->CloseDS(), 0u);
  }
}

TEST_F(SessionTest, UnterminatedTextsFromTheSourceStopAtTheirField) {
  auto session = OpenSession(ScriptBuilder().Broken(0x8021, "unterminated"));
  std::vector<std::string> texts;
  uint32_t current = 0;
  ASSERT_EQ(session->GetCapabilityStrings(0x8021, &texts, &current), 0u);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], std::string(34, 'A'));
  EXPECT_EQ(current, 1u);
  EXPECT_EQ(session->CloseDS(), 0u);
}

}  // namespace
}  // namespace rzd::apphal::test
