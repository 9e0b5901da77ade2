// The imprinter's line as the unit receives it: SendImprinterPageSettings against rzd-engine,
// byte for byte with the fixed glyph source and a fixed clock, and with the machine's fonts for
// what real glyphs must show. Each rotation's line is also drawn as the unit would print it
// (build/<preset>/pictures/imprinter-*.png).
#include "driver_unit_fixture.h"

#include "imprinter/imprinter_text.h"
#include "lowdrv/engine/byte_order.h"
#include "testsupport/fixed_glyphs.h"
#include "testsupport/pictures.h"

#include <map>

namespace rzd::lowdrv::test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr ImprinterTime kFixedTime{2026, 3, 14, 9, 26, 53};

// "12 AB ..." hex words into bytes.
Bytes Hex(const std::string& text) {
  Bytes bytes;
  std::istringstream in(text);
  std::string word;
  while (in >> word) bytes.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
  return bytes;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Zeros(size_t n) { return Bytes(n, 0); }

// `count` rows of one glyph word.
Bytes Rows(size_t count, uint16_t word) {
  Bytes bytes;
  for (size_t i = 0; i < count; ++i) {
    bytes.push_back(static_cast<uint8_t>(word >> 8));
    bytes.push_back(static_cast<uint8_t>(word));
  }
  return bytes;
}

// A block head: 0, 0, 1, the 32-bit length big-endian.
Bytes Head(size_t length) {
  Bytes head = {0, 0, 1, 0, 0, 0, 0};
  PutBE32(&head[3], static_cast<uint32_t>(length));
  return head;
}

Bytes Be32(uint32_t value) {
  Bytes b(4);
  PutBE32(b.data(), value);
  return b;
}

// The parameter record: counter start and digits, the three positions.
Bytes Parameter(uint32_t start, uint32_t digits, uint32_t counter, uint32_t text, uint32_t dateTime) {
  return Head(39) + Be32(start) + Be32(digits) + Be32(counter) + Be32(text) + Be32(dateTime) + Zeros(12);
}

class DriverImprinterTest : public DriverUnitTest {
 protected:
  void OpenWithGlyphs(std::shared_ptr<gdi::GlyphSource> glyphs) {
    StartUnit();
    driver_ = std::make_unique<CScannerLLD>(path_);
    ASSERT_EQ(driver_->OpenScanner(), 0u);
    driver_->m_pImprintGlyphs = std::move(glyphs);
    driver_->m_ImprinterClock = [] { return kFixedTime; };
    Param() = RZDImprinterParam{};
    Param().bEnabled = 1;
    Param().fTopOffset = 0.5f;  // 600 position units
    TakeUnitLog();
  }
  void OpenFixed() { OpenWithGlyphs(std::make_shared<rzd::test::FixedGlyphSource>()); }

  RZDImprinterParam& Param() { return driver_->m_pSettings->m_ImprParam; }

  // Sends the line; the blocks the unit kept by data type, and the data types in sending order.
  std::map<uint16_t, Bytes> Send(std::vector<uint16_t>* order = nullptr) {
    Control("imprinter");  // nothing kept is asserted here; the page setting starts a new line
    driver_->SendImprinterPageSettings();
    std::map<uint16_t, Bytes> blocks;
    std::istringstream lines(Control("imprinter"));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
      const uint16_t type = static_cast<uint16_t>(std::stoul(line.substr(0, 3), nullptr, 16));
      blocks[type] = Hex(line.substr(line.find(':') + 1));
    }
    if (order) {
      order->clear();
      for (const std::string& block : TakeUnitLog()) {
        const Bytes b = Hex(block.substr(block.find(':') + 1));
        if (block.rfind("new ", 0) == 0 && b.size() == 12 && b[0] == 0xAA) order->push_back(GetBE16(&b[3]));
      }
    }
    return blocks;
  }

  std::unique_ptr<CScannerLLD> driver_;
};

// ---- Byte for byte, with the fixed glyphs (see fixed_glyphs.h): digits 6 rows wide, other
// characters 4, a cell of 13 rows; a glyph is a block (advance - 1) wide, 1 + (code mod 8) high.

TEST_F(DriverImprinterTest, NoTextNoTokensSendsThePageSettingAndThePositionsOnly) {
  OpenFixed();
  struct Case {
    int32_t rotation;
    uint32_t position;
  };
  for (const Case& c : {Case{0, 600}, Case{90, 600}, Case{180, 600}, Case{270, 600}, Case{45, 0}}) {
    Param().lFontRotation = c.rotation;
    std::vector<uint16_t> order;
    const auto blocks = Send(&order);
    EXPECT_EQ(order, (std::vector<uint16_t>{0x203, 0x202})) << c.rotation;
    EXPECT_EQ(blocks.at(0x203), Hex("00 00 01 00 00 00 09 01 00")) << c.rotation;
    EXPECT_EQ(blocks.at(0x202), Parameter(0, 0, c.position, c.position, c.position)) << c.rotation;
  }
  Param().bSinglePage = 1;
  EXPECT_EQ(Send().at(0x203), Hex("00 00 01 00 00 00 08 01"));
}

TEST_F(DriverImprinterTest, CounterOnlyTurnedNinety) {
  OpenFixed();
  Param().lFontRotation = 90;
  Param().bCounterToken = 1;
  Param().byCounterDigits = 4;
  Param().llCounterStart = 0x100000011;  // the low 32 bits are sent
  Param().strText = u"AB";
  std::vector<uint16_t> order;
  const auto blocks = Send(&order);
  EXPECT_EQ(order, (std::vector<uint16_t>{0x203, 0x205, 0x206, 0x202}));
  EXPECT_EQ(blocks.at(0x203), Hex("00 00 01 00 00 00 09 07 00"));
  // "9876543210" drawn upward from row 60: digit d in rows 6d to 6d+5, its gap first; the block
  // carries 60 rows x 6 (the average width) = 360 bytes, zero past the 120 drawn.
  Bytes digits;
  for (int d = 0; d < 10; ++d) digits = digits + Rows(1, 0) + Rows(5, static_cast<uint16_t>(((1 << (d % 8 + 1)) - 1) << 8));
  EXPECT_EQ(blocks.at(0x205), Head(29 + 360) + Hex("02 00") + Rows(10, 0x0606) + digits + Zeros(240));
  // "AB " is text: it runs backwards along the rows (space, B, A), 12 rows x 4 = 48 bytes.
  const Bytes text = Rows(1, 0) + Rows(3, 0x0100) + Rows(1, 0) + Rows(3, 0x0700) + Rows(1, 0) + Rows(3, 0x0300);
  EXPECT_EQ(blocks.at(0x206), Head(11 + 48) + Zeros(4) + text + Zeros(24));
  // Counter at the top offset, the text after four digits of 6 rows, the date after the text.
  EXPECT_EQ(blocks.at(0x202), Parameter(0x11, 4, 600, 600 + 4 * 6 * 12, 600 + 4 * 6 * 12 + 12 * 12));
}

// Digit words of the fixed glyphs drawn turned 270: the block starts at dot 4.
uint16_t Digit270(int d) {
  static const uint16_t kWords[] = {0x0800, 0x0C00, 0x0E00, 0x0F00, 0x0F80, 0x0FC0, 0x0FE0, 0x0FF0, 0x0800, 0x0C00};
  return kWords[d];
}

TEST_F(DriverImprinterTest, DateAndTimeWithSlashAndColonTurned270) {
  OpenFixed();
  Param().lFontRotation = 270;
  Param().bDateToken = Param().bTimeToken = 1;
  Param().byDateTimeFormat = 5;
  Param().strDateSeparator = u"/";
  Param().strTimeSeparator = u":";
  std::vector<uint16_t> order;
  const auto blocks = Send(&order);
  EXPECT_EQ(order, (std::vector<uint16_t>{0x203, 0x205, 0x206, 0x207, 0x204, 0x202}));
  EXPECT_EQ(blocks.at(0x203), Hex("00 00 01 00 00 00 09 59 00"));
  Bytes digits;
  for (int d = 0; d < 10; ++d) digits = digits + Rows(5, Digit270(d)) + Rows(1, 0);
  EXPECT_EQ(blocks.at(0x205), Head(29 + 360) + Hex("03 00") + Rows(10, 0x0606) + digits + Zeros(240));
  // The text is the two spaces around the empty imprinter text.
  EXPECT_EQ(blocks.at(0x206), Head(11 + 32) + Zeros(4) + Rows(3, 0x0800) + Rows(1, 0) + Rows(3, 0x0800) + Rows(1, 0) + Zeros(16));
  EXPECT_EQ(blocks.at(0x207), Hex("00 00 01 00 00 00 0E 07 EA 03 0E 09 1A 35"));
  // "// ::": five widths of 4, S = 20 / 5; entries (S, w); 12 x 20 = 240 bytes of data.
  const Bytes separators = Rows(3, 0x0FF0) + Rows(1, 0) + Rows(3, 0x0FF0) + Rows(1, 0) + Rows(3, 0x0800) + Rows(1, 0) +
                           Rows(3, 0x0E00) + Rows(1, 0) + Rows(3, 0x0E00) + Rows(1, 0);
  EXPECT_EQ(blocks.at(0x204), Head(21 + 240) + Hex("03 00 04 04 04 04 04 04 04 04 04 04 00 00") + separators + Zeros(200));
  // Date and time first: 14 digits of 6 rows plus five separators of 4 rows.
  const uint32_t text = 600 + (14 * 6 + 5 * 4) * 12;
  EXPECT_EQ(blocks.at(0x202), Parameter(0, 0, text + 8 * 12, text, 600));
}

TEST_F(DriverImprinterTest, TurnedHalfDigitsAndSeparatorsAreReversedTheTextIsNot) {
  OpenFixed();
  Param().lFontRotation = 180;
  Param().bDateToken = Param().bTimeToken = 1;
  Param().byDateTimeFormat = 5;
  Param().strDateSeparator = u"/";
  Param().strTimeSeparator = u":";
  Param().strText = u"A";
  const auto blocks = Send();
  // One cell of 13 rows per digit, in string order; the block (5 wide at dots 6-10) on rows 3 on.
  Bytes digits;
  for (int d = 0; d < 10; ++d) digits = digits + Rows(3, 0) + Rows(d % 8 + 1, 0x03E0) + Rows(13 - 3 - (d % 8 + 1), 0);
  EXPECT_EQ(blocks.at(0x205), Head(29 + 780) + Hex("01 00") + Rows(10, 0x060D) + digits + Zeros(780 - 260));
  // " A " as written: its last character in the first cell.
  const Bytes text = Rows(3, 0) + Rows(1, 0x00E0) + Rows(9, 0) + Rows(3, 0) + Rows(2, 0x00E0) + Rows(8, 0) + Rows(3, 0) +
                     Rows(1, 0x00E0) + Rows(9, 0);
  EXPECT_EQ(blocks.at(0x206), Head(11 + 4 * 39) + Zeros(4) + text + Zeros(4 * 39 - 78));
  // "// ::" in string order; S = 65 / 5 = 13; entries exchanged to (w, S).
  const Bytes separators = Rows(3, 0) + Rows(8, 0x00E0) + Rows(2, 0) + Rows(3, 0) + Rows(8, 0x00E0) + Rows(2, 0) +
                           Rows(3, 0) + Rows(1, 0x00E0) + Rows(9, 0) + Rows(3, 0) + Rows(3, 0x00E0) + Rows(7, 0) +
                           Rows(3, 0) + Rows(3, 0x00E0) + Rows(7, 0);
  EXPECT_EQ(blocks.at(0x204), Head(21 + 240) + Hex("01 00 04 0D 04 0D 04 0D 04 0D 04 0D 00 00") + separators +
                                  Zeros(240 - 130));
  EXPECT_EQ(blocks.at(0x202), Parameter(0, 0, 600, 600, 600 + 39 * 12));
}

TEST_F(DriverImprinterTest, FixedPitchUnderlinedTurned270MarksEveryRow) {
  OpenFixed();
  Param().lFontRotation = 270;
  Param().byFontType = 2;
  Param().bFixedPitch = 1;
  Param().bCounterToken = 1;
  Param().byCounterDigits = 3;
  Param().strText = u"AB";
  const auto blocks = Send();
  const Bytes& digits = blocks.at(0x205);
  for (size_t row = 0; row < 60; ++row) EXPECT_EQ(digits[29 + 2 * row] & 0x80, 0x80) << row;
  const Bytes& text = blocks.at(0x206);
  for (size_t row = 0; row < 12; ++row) EXPECT_EQ(text[11 + 2 * row] & 0x80, 0x80) << row;
  // Turned 90 the mark is dot 11.
  Param().lFontRotation = 90;
  const auto turned = Send();
  for (size_t row = 0; row < 60; ++row) EXPECT_EQ(turned.at(0x205)[29 + 2 * row + 1] & 0x10, 0x10) << row;
}

TEST_F(DriverImprinterTest, LongTextIsCutToTheBitmapAndTheGlyphBuffer) {
  OpenFixed();
  Param().strText = std::u16string(600, u'W');
  Param().byFontType = 3;  // every character 12 rows wide
  for (int32_t rotation : {0, 90, 180, 270}) {
    Param().lFontRotation = rotation;
    const auto blocks = Send();
    // 1024 rows of 12 would be 12288 bytes: the block carries the 6144 of the buffer.
    ASSERT_EQ(blocks.count(0x206), 1u) << rotation << ": the unit took the block";
    EXPECT_EQ(blocks.at(0x206).size(), 11u + 6144) << rotation;
    EXPECT_EQ(GetBE32(&blocks.at(0x206)[3]), 11u + 6144) << rotation;
  }
}

TEST_F(DriverImprinterTest, DateInFormatZeroKeepsTheText) {
  OpenFixed();
  Param().lFontRotation = 90;
  Param().bDateToken = 1;
  Param().byDateTimeFormat = 0;
  Param().strText = u"AB";
  const auto blocks = Send();
  EXPECT_EQ(blocks.at(0x203), Hex("00 00 01 00 00 00 09 09 00"));
  // " AB ": 16 rows of 4.
  ASSERT_EQ(blocks.count(0x206), 1u);
  EXPECT_EQ(blocks.at(0x206).size(), 11u + 64);
}

TEST(ImprinterText, ComposedTextKeepsItsSpacesWithinFiveHundredElevenBytes) {
  struct Case {
    std::u16string text;
    bool counter, dateOrTime;
    std::string composed;
  };
  const std::string longText(600, 'x');
  const Case cases[] = {
      {u"AB", false, false, "AB"},
      {u"AB", true, false, "AB "},
      {u"AB", false, true, " AB "},
      {u"AB", true, true, " AB "},
      {u"", false, false, ""},
      {u"", true, false, " "},
      {u"\u00E9\u20AC\u4E00", false, false, "\xE9\x80?"},  // the ANSI code page; no form: '?'
      {std::u16string(u"A\0B", 3), false, false, "A"},
      {std::u16string(600, u'x'), false, false, longText.substr(0, 511)},
      {std::u16string(600, u'x'), true, false, longText.substr(0, 510) + " "},
      {std::u16string(600, u'x'), false, true, " " + longText.substr(0, 509) + " "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ComposeImprinterText(c.text, c.counter, c.dateOrTime), c.composed) << ToUtf8(c.text).substr(0, 8);
  }
}

TEST_F(DriverImprinterTest, ClosingRecordIsAWholeHead) {
  OpenFixed();
  ASSERT_TRUE(driver_->SendImprinterClosingRecord());
  const std::vector<std::string> log = TakeUnitLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "data 8: 00 00 01 00 00 00 08 00");
}

TEST_F(DriverImprinterTest, NothingIsSentWithoutTheBatchReservation) {
  OpenFixed();
  Param().bCounterToken = 1;
  driver_->m_bBatchReservation = 0;
  driver_->SendImprinterPageSettings();
  EXPECT_TRUE(TakeUnitLog().empty());
}

// ---- The machine's fonts.

// The glyph words of one rendering.
struct Rendered {
  std::vector<uint16_t> words;
  uint32_t width = 0;
};
Rendered Render(CScannerLLD& driver, uint8_t mode, int32_t rotation, std::string_view text, uint8_t fixedPitch = 1,
                uint8_t fontType = 0) {
  uint8_t glyphs[2048] = {};
  uint32_t width = 0, length = 0;
  driver.RenderImprintGlyphs(mode, rotation, fontType, glyphs, std::span<uint32_t>(&width, 1), &length, text, false,
                             fixedPitch);
  Rendered r;
  r.width = width;
  for (uint32_t i = 0; i < length; ++i) r.words.push_back(static_cast<uint16_t>(glyphs[2 * i] << 8 | glyphs[2 * i + 1]));
  return r;
}

TEST_F(DriverImprinterTest, RealDigitsLieInStringOrderInEveryRotation) {
  OpenWithGlyphs(nullptr);
  for (int32_t rotation : {0, 90, 180, 270}) {
    const Rendered all = Render(*driver_, imprint::kDigits, rotation, "0123456789");
    ASSERT_EQ(all.words.size() % 10, 0u) << rotation;
    const size_t pitch = all.words.size() / 10;
    ASSERT_GT(pitch, 4u) << rotation;
    std::vector<std::vector<uint16_t>> seen;
    for (int d = 0; d < 10; ++d) {
      const std::vector<uint16_t> chunk(all.words.begin() + d * pitch, all.words.begin() + (d + 1) * pitch);
      // Digit d is where it lies when drawn alone.
      EXPECT_EQ(chunk, Render(*driver_, imprint::kDigits, rotation, std::string(1, static_cast<char>('0' + d))).words)
          << "rotation " << rotation << " digit " << d;
      for (const auto& other : seen) EXPECT_NE(chunk, other) << "rotation " << rotation << " digit " << d;
      seen.push_back(chunk);
    }
  }
}

TEST_F(DriverImprinterTest, RealUnderlineIsDrawnAlongTheRowsWhenTurned) {
  OpenWithGlyphs(nullptr);
  for (int32_t rotation : {90, 270}) {
    const Rendered text = Render(*driver_, imprint::kText, rotation, "Quarx 42", 1, 2);
    ASSERT_FALSE(text.words.empty());
    const uint16_t mark = rotation == 270 ? 0x8000 : 0x0010;
    for (uint16_t word : text.words) EXPECT_EQ(word & mark, mark) << rotation;
    // The proportional face draws its own underline: some rows of the text carry no mark there.
    const Rendered plain = Render(*driver_, imprint::kText, rotation, "Quarx 42", 0, 2);
    EXPECT_FALSE(plain.words.empty());
  }
}

// Draws the line the unit would print from the blocks it kept: each field at its position (rows of
// 1/100 inch), the counter and the date and time made of the digit and separator glyphs. Fields
// turned 90 or 180 run backwards along the rows, as their text glyphs do. The picture is turned
// back by the rotation, so the line reads from left to right (rotation 0 stays a column).
void DrawLine(const std::map<uint16_t, Bytes>& blocks, int32_t rotation, const std::string& name) {
  const Bytes& param = blocks.at(0x202);
  const uint32_t counterStart = GetBE32(&param[7]), digits = GetBE32(&param[11]);
  const int64_t counterAt = GetBE32(&param[15]) / 12, textAt = GetBE32(&param[19]) / 12, dateAt = GetBE32(&param[23]) / 12;
  const bool backwards = rotation == 90 || rotation == 180;
  const Bytes& font = blocks.at(0x205);
  const uint32_t pitch = font[10];
  auto word = [](const Bytes& b, size_t head, size_t row) -> uint16_t {
    const size_t at = head + 2 * row;
    return at + 1 < b.size() ? static_cast<uint16_t>(b[at] << 8 | b[at + 1]) : 0;
  };
  std::map<int64_t, uint16_t> rows;  // paper row -> dots
  auto place = [&](int64_t at, const std::vector<std::vector<uint16_t>>& glyphs) {
    std::vector<uint16_t> field;
    for (size_t i = 0; i < glyphs.size(); ++i) {
      const auto& g = glyphs[backwards ? glyphs.size() - 1 - i : i];
      field.insert(field.end(), g.begin(), g.end());
    }
    for (size_t r = 0; r < field.size(); ++r) rows[at + static_cast<int64_t>(r)] |= field[r];
  };
  auto digit = [&](int d) {
    std::vector<uint16_t> g;
    for (uint32_t r = 0; r < pitch; ++r) g.push_back(word(font, 29, d * pitch + r));
    return g;
  };
  std::vector<std::vector<uint16_t>> counter;
  const std::string number = std::to_string(counterStart);
  for (size_t i = number.size(); i < digits; ++i) counter.push_back(digit(0));
  for (char c : number.substr(number.size() > digits ? number.size() - digits : 0)) counter.push_back(digit(c - '0'));
  place(counterAt, counter);
  if (blocks.count(0x206)) {
    const int64_t length = backwards ? dateAt - textAt : counterAt - textAt;
    std::vector<uint16_t> text;
    for (int64_t r = 0; r < length; ++r) text.push_back(word(blocks.at(0x206), 11, static_cast<size_t>(r)));
    place(textAt, {text});
  }
  if (blocks.count(0x207)) {
    const Bytes& t = blocks.at(0x207);
    const Bytes& sep = blocks.at(0x204);
    const bool upright = rotation == 0 || rotation == 180;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u%02u%02u%02u%02u%02u", GetBE16(&t[7]), t[9], t[10], t[11], t[12], t[13]);
    std::vector<std::vector<uint16_t>> line;
    size_t sepRow = 0;
    auto separator = [&](int entry) {
      // Its rows: S when upright (entries are (w, S)), else its width (entries are (S, w)).
      const uint32_t rowsOf = sep[10 + 2 * entry];
      if (rowsOf == 0 || (upright && sep[9 + 2 * entry] == 0)) return;
      std::vector<uint16_t> g;
      for (uint32_t r = 0; r < rowsOf; ++r) g.push_back(word(sep, 21, sepRow + r));
      sepRow += rowsOf;
      line.push_back(g);
    };
    for (int i = 0; i < 14; ++i) {
      line.push_back(digit(stamp[i] - '0'));
      if (i == 3 || i == 5) separator(i == 3 ? 0 : 1);
      if (i == 7) separator(2);
      if (i == 9 || i == 11) separator(i == 9 ? 3 : 4);
    }
    place(dateAt, line);
  }
  const int64_t first = rows.empty() ? 0 : rows.begin()->first, last = rows.empty() ? 0 : rows.rbegin()->first;
  const int32_t length = static_cast<int32_t>(last - first + 1), margin = 3;
  const bool across = rotation == 90 || rotation == 270;
  gdi::BitmapInfo info;
  info.width = (across ? length : 12) + 2 * margin;
  info.height = (across ? 12 : length) + 2 * margin;
  info.bitsPerPixel = 24;
  const std::shared_ptr<gdi::Bitmap> picture = gdi::Bitmap::Create(info);
  ASSERT_TRUE(picture);
  picture->Fill(gdi::kWhite);
  for (const auto& [paperRow, dots] : rows) {
    const int32_t row = static_cast<int32_t>(paperRow - first);
    for (int32_t dot = 0; dot < 12; ++dot) {
      if (!(dots & (0x8000 >> dot))) continue;
      // The glyph bitmap's pixel (dot, row), turned back by the rotation.
      int32_t x = dot, y = row;
      if (rotation == 90) x = length - 1 - row, y = dot;
      if (rotation == 180) x = 11 - dot, y = length - 1 - row;
      if (rotation == 270) x = row, y = 11 - dot;
      picture->SetPixel(x + margin, y + margin, gdi::kBlack);
    }
  }
  EXPECT_FALSE(rzd::test::WritePicture(name, *picture, 4).empty());
}

TEST_F(DriverImprinterTest, RealLinesOfEveryRotationAsTheUnitWouldPrintThem) {
  OpenWithGlyphs(nullptr);
  Param().bCounterToken = Param().bDateToken = Param().bTimeToken = 1;
  Param().byCounterDigits = 6;
  Param().llCounterStart = 1234;
  Param().byDateTimeFormat = 5;
  Param().strDateSeparator = u"/";
  Param().strTimeSeparator = u":";
  Param().strText = u"Quarx M48tz";
  for (int32_t rotation : {0, 90, 180, 270}) {
    Param().lFontRotation = rotation;
    const auto blocks = Send();
    ASSERT_EQ(blocks.size(), 6u) << rotation << ": the unit took every block";
    DrawLine(blocks, rotation, "imprinter-rotation-" + std::to_string(rotation));
  }
}

TEST_F(DriverImprinterTest, RealLongestTextInEveryRotationAndFontType) {
  OpenWithGlyphs(nullptr);
  Param().bCounterToken = Param().bDateToken = 1;
  Param().byCounterDigits = 9;
  Param().byDateTimeFormat = 3;
  Param().strDateSeparator = u"-";
  Param().strText = std::u16string(700, u'M');
  for (uint8_t fixedPitch : {0, 1}) {
    for (uint8_t fontType : {0, 1, 2, 3}) {
      for (int32_t rotation : {0, 90, 180, 270, 45}) {
        Param().bFixedPitch = fixedPitch;
        Param().byFontType = fontType;
        Param().lFontRotation = rotation;
        const auto blocks = Send();
        ASSERT_EQ(blocks.size(), 6u) << rotation << "/" << int(fontType) << "/" << int(fixedPitch);
        EXPECT_LE(blocks.at(0x206).size(), 11u + 6144);
      }
    }
  }
}

}  // namespace
}  // namespace rzd::lowdrv::test
