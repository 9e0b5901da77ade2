// Gamma-table and matrix texts: clean-up, length, strict tokens, the two table layouts and the
// accessors of the selected window description.
#include "window/tone_text.h"
#include "window_test_support.h"

namespace rzd::lowdrv::wintest {
namespace {

std::u16string GammaText(size_t tokens, std::u16string_view separator = u" ") {
  std::u16string text;
  for (size_t i = 0; i < tokens; ++i) {
    if (i != 0) text += separator;
    text += FormatW(u"0x%02X", static_cast<unsigned>((255 - i) & 0xFF));
  }
  return text;
}

constexpr char16_t kIdentityMatrix[] = u"0x400 0x000 0x000 0x000 0x400 0x000 0x000 0x000 0x400";

class ToneTextTest : public ::testing::Test {
 protected:
  // `tableType` is inquiry byte 91: 0x80 and 0x81 choose the one-byte layout.
  void UseTableType(uint8_t tableType) {
    ReduzidInq inq = ModelInquiry();
    inq.ASICShadingTableType = tableType;
    CRZDScannerSettingsBase::SetInquiryCopy(inq);
  }
  CScannerSettings_AV settings_;
};

TEST_F(ToneTextTest, TableLayoutFollowsTheShadingTableType) {
  const struct {
    uint8_t type;
    bool twoByte;
  } cases[] = {{0x00, true}, {0x7F, true}, {0x80, false}, {0x81, false}, {0x82, true}, {0xFF, true}};
  for (const auto& c : cases) {
    UseTableType(c.type);
    EXPECT_EQ(settings_.IsGammaTable512() != FALSE, c.twoByte) << "type " << int(c.type);
    uint8_t table[512];
    std::memset(table, 0xEE, sizeof(table));
    ASSERT_TRUE(settings_.ParseGamma(GammaText(256), table));
    for (size_t i = 0; i < 256; ++i) {
      const uint8_t want = static_cast<uint8_t>(255 - i);
      if (c.twoByte) {
        EXPECT_EQ(table[2 * i], 0);
        EXPECT_EQ(table[2 * i + 1], want);
      } else {
        EXPECT_EQ(table[i], want);
      }
    }
    if (!c.twoByte) {
      for (size_t i = 256; i < 512; ++i) EXPECT_EQ(table[i], 0) << "unused half must be zero, byte " << i;
    }
    uint16_t size = 0;
    settings_.GetGammaTable(nullptr, nullptr, nullptr, &size);
    EXPECT_EQ(size, c.twoByte ? 512 : 256);
  }
  CRZDScannerSettingsBase::SetInquiryCopy(ModelInquiry());
}

TEST_F(ToneTextTest, GammaTexts) {
  UseTableType(0);
  struct Case {
    const char* what;
    std::u16string text;
    bool ok;
  };
  std::u16string lowerHex = GammaText(256);
  lowerHex.replace(5 * 10 + 2, 2, u"f5");  // token 10 is 0xF5
  std::u16string longer = GammaText(256) + u" 0x00";
  std::u16string noX = GammaText(256);
  noX[5 * 7 + 1] = u'X';
  std::u16string badDigit = GammaText(256);
  badDigit[5 * 3 + 3] = u'G';
  std::u16string signDigit = GammaText(256);
  signDigit.replace(5 * 3 + 2, 2, u"+1");
  std::u16string blankDigit = GammaText(256);
  blankDigit.replace(5 * 3 + 2, 2, u" 1");
  std::u16string threeDigits = GammaText(256);
  threeDigits.replace(5 * 255, 4, u"0x0A0");
  std::u16string comma = GammaText(256);
  comma[5 * 9 + 4] = u',';
  const Case cases[] = {
      {"256 tokens, no trailing space (1279 characters)", GammaText(256), true},
      {"trailing space", GammaText(256) + u" ", true},
      {"line break and two spaces between tokens", GammaText(256, u"\r\n  "), true},
      {"tabs between tokens", GammaText(256, u"\t"), true},
      {"lower-case digits", lowerHex, true},
      {"more tokens after the 256th", longer, true},
      {"255 tokens", GammaText(255), false},
      {"empty", u"", false},
      {"0X instead of 0x", noX, false},
      {"not a hexadecimal digit", badDigit, false},
      {"a sign instead of a digit", signDigit, false},
      {"a blank instead of a digit", blankDigit, false},
      {"last token with three digits", threeDigits, false},
      {"comma as separator", comma, false},
  };
  for (const Case& c : cases) {
    uint8_t table[512];
    std::memset(table, 0xEE, sizeof(table));
    EXPECT_EQ(settings_.ParseGamma(c.text, table) != FALSE, c.ok) << c.what;
    if (!c.ok) {
      // A refused text writes nothing.
      for (uint8_t b : table) ASSERT_EQ(b, 0xEE) << c.what;
    } else {
      EXPECT_EQ(table[1], 0xFF) << c.what;
    }
  }
}

TEST_F(ToneTextTest, GammaFailuresAreLoggedWithTheirReason) {
  LogCapture log;
  uint8_t table[512];
  EXPECT_FALSE(settings_.ParseGamma(GammaText(256), nullptr));
  EXPECT_TRUE(log.Contains(u"ParseGamma failed because of invalid pbyData"));
  EXPECT_FALSE(settings_.ParseGamma(GammaText(255), table));
  EXPECT_TRUE(log.Contains(u"ParseGamma failed because of wrong string length"));
  std::u16string bad = GammaText(256);
  bad[2] = u'Z';
  EXPECT_FALSE(settings_.ParseGamma(bad, table));
  EXPECT_TRUE(log.Contains(u"ParseGamma failed because of bad value"));
}

TEST_F(ToneTextTest, MatrixTexts) {
  struct Case {
    const char* what;
    std::u16string text;
    bool ok;
  };
  std::u16string twoDigits = kIdentityMatrix;
  twoDigits.replace(6 * 8, 5, u"0x40 ");
  const Case cases[] = {
      {"identity", kIdentityMatrix, true},
      {"luminance rows", u"0x12B 0x24B 0x072 0x12B 0x24B 0x072 0x12B 0x24B 0x072", true},
      {"line breaks", u"0x400 0x000 0x000\n0x000 0x400 0x000\r\n0x000  0x000 0x400", true},
      {"eight tokens", u"0x400 0x000 0x000 0x000 0x400 0x000 0x000 0x000", false},
      {"a token of two digits", u"0x400 0x000 0x000 0x000 0x400 0x000 0x000 0x000 0x40 ", false},
      {"four digits", u"0x4000 0x000 0x000 0x000 0x400 0x000 0x000 0x000 0x400", false},
      {"tab separator (tabs are not cleaned in a matrix)", u"0x400\t0x000 0x000 0x000 0x400 0x000 0x000 0x000 0x400",
       false},
      {"bad digit", u"0x400 0x0G0 0x000 0x000 0x400 0x000 0x000 0x000 0x400", false},
  };
  for (const Case& c : cases) {
    uint16_t matrix[9];
    std::fill(std::begin(matrix), std::end(matrix), 0xEEEE);
    EXPECT_EQ(settings_.ParseMatrix(c.text, matrix) != FALSE, c.ok) << c.what;
    if (c.ok) {
      EXPECT_NE(matrix[0], 0xEEEE) << c.what;
    } else {
      for (uint16_t v : matrix) ASSERT_EQ(v, 0xEEEE) << c.what;
    }
  }
  uint16_t matrix[9];
  ASSERT_TRUE(settings_.ParseMatrix(u"0x12B 0x24B 0x072 0x12B 0x24B 0x072 0x12B 0x24B 0xFFF", matrix));
  EXPECT_EQ(matrix[0], 0x12B);
  EXPECT_EQ(matrix[1], 0x24B);
  EXPECT_EQ(matrix[8], 0xFFF);
  EXPECT_FALSE(settings_.ParseMatrix(kIdentityMatrix, nullptr));
}

TEST_F(ToneTextTest, AccessorsFollowTheSelectors) {
  for (size_t i = 0; i < 9; ++i) {
    settings_.m_Primary.Matrix[i] = 1;
    settings_.m_Alternate.Matrix[i] = 2;
    settings_.m_Third.Matrix[i] = 3;
  }
  auto matrixOf = [&](bool current) {
    uint16_t m[9] = {};
    current ? settings_.GetCurrentMatrix(m) : settings_.GetMartix(m);
    return m[4];
  };
  uint8_t *red = nullptr, *green = nullptr, *blue = nullptr;

  EXPECT_EQ(settings_.GetWindowDescription(), &settings_.m_Primary.Desc);
  settings_.GetGammaTable(&red, &green, &blue, nullptr);
  EXPECT_EQ(red, settings_.m_Primary.Gamma);
  EXPECT_EQ(green, settings_.m_Primary.Gamma + 512);
  EXPECT_EQ(blue, settings_.m_Primary.Gamma + 1024);
  EXPECT_EQ(matrixOf(false), 1);
  EXPECT_EQ(matrixOf(true), 1);

  settings_.m_bAlternateSelected = 1;
  EXPECT_EQ(settings_.GetWindowDescription(), &settings_.m_Alternate.Desc);
  settings_.GetGammaTable(&red, &green, &blue, nullptr);
  EXPECT_EQ(red, settings_.m_Alternate.Gamma);
  EXPECT_EQ(matrixOf(false), 2);
  EXPECT_EQ(matrixOf(true), 2);

  settings_.m_bThirdSelected = 1;
  EXPECT_EQ(settings_.GetWindowDescription(), &settings_.m_Third.Desc);
  settings_.GetGammaTable(&red, &green, &blue, nullptr);
  EXPECT_EQ(red, settings_.m_Alternate.Gamma);  // the third description's tables are read directly
  EXPECT_EQ(matrixOf(false), 2);
  EXPECT_EQ(matrixOf(true), 3);
}

}  // namespace
}  // namespace rzd::lowdrv::wintest
