#include "platform/text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <utility>

namespace {

using rzd::FormatA;
using rzd::FormatW;

// Runs every formatting case under a locale whose decimal point is a comma, where one exists.
class FormatterInForeignLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    // scripts/setup generates this locale; its decimal point is a comma.
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  }
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(FormatterInForeignLocale, WideSpecifiers) {
  const char16_t wide[] = u"wide";
  const char narrow[] = "narrow";
  struct Case {
    std::u16string got;
    std::u16string want;
  };
  const Case cases[] = {
      {FormatW(u"%s", wide), u"wide"},
      {FormatW(u"%ls|%ws", wide, wide), u"wide|wide"},
      {FormatW(u"%S", narrow), u"narrow"},
      {FormatW(u"%hs", narrow), u"narrow"},
      {FormatW(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)"},
      {FormatW(u"%S", static_cast<const char*>(nullptr)), u"(null)"},
      {FormatW(u"%hs|%ls|%ws", static_cast<const char*>(nullptr), static_cast<const char16_t*>(nullptr),
               static_cast<const char16_t*>(nullptr)),
       u"(null)|(null)|(null)"},
      {FormatW(u"%S|%hs", "a\xc3\xa9", "\xe4\xb8\xad"), u"a\u00e9|\u4e2d"},  // narrow text is UTF-8
      {FormatW(u"%hc|%C", 'q', 'r'), u"q|r"},
      {FormatW(u"%.2f|%e|%G", 0.5, 1.5, 0.0001), u"0.50|1.500000e+00|0.0001"},  // no comma
      {FormatW(u"[%6s][%-6s][%.2s]", wide, wide, wide), u"[  wide][wide  ][wi]"},
      {FormatW(u"%c%C", u'\u00e9', 'x'), u"\u00e9x"},
      {FormatW(u"%d %i %u", -42, 7, 4000000000u), u"-42 7 4000000000"},
      {FormatW(u"%05d|%-5d|%+d", 42, 42, 42), u"00042|42   |+42"},
      {FormatW(u"%x %X %08X %#x", 255u, 255u, 0xBEEFu, 255u), u"ff FF 0000BEEF 0xff"},
      {FormatW(u"%o", 8u), u"10"},
      {FormatW(u"%ld %lu", 5, 6u), u"5 6"},
      {FormatW(u"%lld %llu", -(1ll << 40), 1ull << 63), u"-1099511627776 9223372036854775808"},
      {FormatW(u"%I64d %I64X", int64_t{1} << 33, uint64_t{0xABCDEF0123ull}), u"8589934592 ABCDEF0123"},
      {FormatW(u"%I32d %zu", -3, size_t{99}), u"-3 99"},
      {FormatW(u"%hd %hu %hhu", 70000, 70000u, 300u), u"4464 4464 44"},
      {FormatW(u"%.3f %.1e %g", 3.14159, 12345.0, 0.5), u"3.142 1.2e+04 0.5"},
      {FormatW(u"%*d|%-*d|%.*f", 4, 1, 3, 2, 1, 2.25), u"   1|2  |2.2"},
      {FormatW(u"100%%"), u"100%"},
      {FormatW(u"%p", reinterpret_cast<void*>(uintptr_t{0x1234})), u"0000000000001234"},
      {FormatW(u"\u00fc%s", u"\u4e2d"), u"\u00fc\u4e2d"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
  }
}

TEST_F(FormatterInForeignLocale, NarrowSpecifiers) {
  struct Case {
    std::string got;
    std::string want;
  };
  const Case cases[] = {
      {FormatA("%s|%hs", "a", "b"), "a|b"},
      {FormatA("%S|%ls|%ws", u"w", u"x", u"y"), "w|x|y"},
      {FormatA("%s", static_cast<const char*>(nullptr)), "(null)"},
      {FormatA("%S|%hs", static_cast<const char16_t*>(nullptr), static_cast<const char*>(nullptr)), "(null)|(null)"},
      {FormatA("%d %u %x %lld", -1, 3000000000u, 0xABu, -(1ll << 40)), "-1 3000000000 ab -1099511627776"},
      {FormatA("%S", u"\u00e9"), "\xc3\xa9"},
      {FormatA("%.2f", 1.5), "1.50"},
      {FormatA("%04X", 0x1Fu), "001F"},
      {FormatA("%C", u'z'), "z"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
  }
}

TEST(Formatter, NeverReadsArgumentsForPercentN) {
  int untouched = 17;
  EXPECT_EQ(FormatA("a%nb", &untouched), "ab");
  EXPECT_EQ(untouched, 17);
}

TEST(Utf, RoundTripAndSurrogates) {
  std::u16string text = u"A\u00e9\u4e2d\U0001F600";
  auto utf8 = rzd::TryToUtf8(text);
  ASSERT_TRUE(utf8);
  EXPECT_EQ(*utf8, "A\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80");
  EXPECT_EQ(rzd::FromUtf8(*utf8), text);
  const char16_t lone[] = {u'a', 0xD800, u'b'};
  EXPECT_FALSE(rzd::TryToUtf8(std::u16string_view(lone, 3)));
  EXPECT_EQ(rzd::ToUtf8(std::u16string_view(lone, 3)), "a\xef\xbf\xbd" "b");
  const char16_t trailing[] = {0xDC00};
  EXPECT_FALSE(rzd::TryToUtf8(std::u16string_view(trailing, 1)));
}

TEST(Utf, InvalidUtf8BecomesReplacement) {
  struct Case {
    std::string in;
    std::u16string want;
  };
  const Case cases[] = {
      {"a\xff" "b", u"a\ufffdb"},
      {"\xc3", u"\ufffd"},                // truncated
      {"\xc0\xaf", u"\ufffd"},            // overlong
      {"\xed\xa0\x80", u"\ufffd"},        // encoded surrogate
      {"\xe4\xb8\xad", u"\u4e2d"},
  };
  for (const auto& c : cases) EXPECT_EQ(rzd::FromUtf8(c.in), c.want);
}

TEST(Ansi, Windows1252) {
  EXPECT_EQ(rzd::FromAnsi("\x80\x9f\xe9"), u"\u20ac\u0178\u00e9");
  EXPECT_EQ(rzd::ToAnsi(u"\u20ac\u00e9\u4e2d"), "\x80\xe9?");
}

TEST(Case, FoldingForIdentifiers) {
  struct Case {
    std::u16string a, b;
    bool equal;
  };
  const Case cases[] = {
      {u"Software\\Classes", u"SOFTWARE\\classes", true},
      {u"\u00e9t\u00e9", u"\u00c9T\u00c9", true},
      {u"\u00ff", u"\u0178", true},
      {u"\u0430\u0431", u"\u0410\u0411", true},
      {u"abc", u"abd", false},
      {u"abc", u"abcd", false},
      {u"\u00f7", u"\u00d7", false},
  };
  for (const auto& c : cases) EXPECT_EQ(rzd::EqualsNoCase(c.a, c.b), c.equal) << rzd::ToUtf8(c.a);
  EXPECT_LT(rzd::CompareNoCase(u"apple", u"Banana"), 0);
  EXPECT_EQ(rzd::ToLower(u"ABC\u00c9"), u"abc\u00e9");
}

TEST(Numbers, WToISemantics) {
  struct Case {
    std::u16string in;
    int32_t want;
  };
  const Case cases[] = {
      {u"42", 42},          {u"  -17xyz", -17},        {u"+8", 8},
      {u"abc", 0},          {u"", 0},                  {u"\t 12", 12},
      {u"2147483647", 2147483647}, {u"2147483648", 2147483647}, {u"-2147483648", INT32_MIN},
      {u"-99999999999", INT32_MIN}, {u"- 5", 0},        {u"0x10", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(rzd::WToI(c.in), c.want) << rzd::ToUtf8(c.in);
  EXPECT_EQ(rzd::WToI64(u"9223372036854775807"), INT64_MAX);
  EXPECT_EQ(rzd::WToI64(u"99999999999999999999"), INT64_MAX);
}

TEST(Numbers, HexDigitValues) {
  const std::pair<char16_t, int> cases[] = {{u'0', 0},  {u'9', 9},  {u'a', 10}, {u'f', 15}, {u'A', 10},
                                            {u'F', 15}, {u'g', -1}, {u'G', -1}, {u'/', -1}, {u':', -1},
                                            {u'@', -1}, {u'`', -1}, {u' ', -1}, {u'\xFF10', -1}};
  for (const auto& [c, want] : cases) EXPECT_EQ(rzd::HexDigitValue(c), want) << static_cast<int>(c);
}

TEST(Trim, BlanksAtBothEnds) {
  EXPECT_EQ(rzd::TrimView(u" \t a b \r\n"), u"a b");
  EXPECT_EQ(rzd::TrimView(u"   "), u"");
}

}  // namespace
