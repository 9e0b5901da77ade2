#include "foundation/string_utils.h"

#include <gtest/gtest.h>

#include <clocale>
#include <iterator>

namespace rzd {
namespace {

TEST(FormatBufferC, FitsTruncatesAndRefuses) {
  struct Case {
    size_t size;
    int32_t result;
    const char16_t* text;
  };
  // "value 12345" has 11 characters.
  const Case cases[] = {
      {32, 11, u"value 12345"},
      {12, 11, u"value 12345"},  // exactly with its terminator
      {11, -1, u"value 1234"},   // one short: truncated, still terminated
      {1, -1, u""},
  };
  for (const Case& c : cases) {
    char16_t buffer[40];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(FormatBufferC(buffer, c.size, u"value %d", 12345), c.result) << c.size;
    EXPECT_EQ(std::u16string(buffer), c.text) << c.size;
    EXPECT_EQ(buffer[c.size], u'#') << "nothing written past the buffer";
  }
  char16_t untouched[4] = {u'a', u'b', u'c', 0};
  EXPECT_EQ(FormatBufferC(untouched, 0, u"x"), -1);
  EXPECT_EQ(std::u16string(untouched), u"abc");
  EXPECT_EQ(FormatBufferC(nullptr, 4, u"x"), -1);
}

TEST(FormatStringC, FormatsInTheCLocale) {
  EXPECT_EQ(FormatStringC(u"%s %.2f %d %S", u"a", 2.5, -3, "n"), u"a 2.50 -3 n");
  EXPECT_EQ(FormatStringC(u"%%"), u"%");
}

TEST(FormatStringC, IgnoresTheProcessLocale) {
  // A process whose locale writes a decimal comma still gets points from both formatters.
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
  std::u16string formatted = FormatStringC(u"%.2f|%g", 2.5, 0.125);
  char16_t buffer[16];
  int32_t count = FormatBufferC(buffer, std::size(buffer), u"%.1f", -1.5);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(formatted, u"2.50|0.125");
  EXPECT_EQ(count, 4);
  EXPECT_EQ(std::u16string(buffer), u"-1.5");
}

TEST(StringHelpers, ReplaceUpperAndList) {
  std::u16string text = u"a\\b\\c";
  EXPECT_EQ(ReplaceChar(text, u'\\', u'/'), 2u);
  EXPECT_EQ(text, u"a/b/c");
  EXPECT_EQ(ReplaceChar(text, u'x', u'y'), 0u);

  EXPECT_EQ(ToUpperString(u"vid_0a1b&pid_00ff äö"), u"VID_0A1B&PID_00FF ÄÖ");

  std::vector<std::u16string> list{u"Alpha", u"Beta"};
  EXPECT_TRUE(IsStringInList(list, u"Beta"));
  EXPECT_FALSE(IsStringInList(list, u"beta"));
  EXPECT_FALSE(IsStringInList({}, u"Beta"));
}

}  // namespace
}  // namespace rzd
