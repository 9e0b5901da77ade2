#include "tone_text.h"

#include "tone_curve.h"

#include "platform/text.h"

#include <cstring>

namespace rzd::lowdrv::window {

namespace {

constexpr size_t kGammaTokens = 256;
constexpr size_t kGammaDigits = 2;
constexpr size_t kMatrixTokens = 9;
constexpr size_t kMatrixDigits = 3;

// Reads token `index` of a text of tokens "0x" + `digits` hexadecimal digits, one space apart.
// False unless the token is exactly that and is followed by a space or the end of the text.
bool ReadToken(const std::u16string& text, size_t index, size_t digits, uint32_t& value) {
  const size_t at = index * (digits + 3);
  const size_t end = at + 2 + digits;
  if (end > text.size()) return false;
  if (text[at] != u'0' || text[at + 1] != u'x') return false;
  value = 0;
  for (size_t i = at + 2; i < end; ++i) {
    const int d = HexDigitValue(text[i]);
    if (d < 0) return false;
    value = value * 16 + static_cast<uint32_t>(d);
  }
  return end == text.size() || text[end] == u' ';
}

}  // namespace

std::u16string CleanTableText(std::u16string_view text, bool tabs) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c == u'\r' || c == u'\n' || (tabs && c == u'\t')) c = u' ';
    if (c == u' ' && !out.empty() && out.back() == u' ') continue;
    out.push_back(c);
  }
  return out;
}

TextParse ParseGammaText(std::u16string_view text, bool twoByte, uint8_t* table) {
  const std::u16string clean = CleanTableText(text, true);
  if (clean.size() < kGammaTokens * (kGammaDigits + 3) - 1) return TextParse::WrongLength;
  uint8_t result[kToneTableSize] = {};
  for (size_t i = 0; i < kGammaTokens; ++i) {
    uint32_t value = 0;
    if (!ReadToken(clean, i, kGammaDigits, value)) return TextParse::BadValue;
    SetToneEntry(result, i, static_cast<uint8_t>(value), twoByte);
  }
  std::memcpy(table, result, sizeof(result));
  return TextParse::Ok;
}

TextParse ParseMatrixText(std::u16string_view text, uint16_t* matrix) {
  const std::u16string clean = CleanTableText(text, false);
  if (clean.size() <= kMatrixTokens * (kMatrixDigits + 3) - 2) return TextParse::WrongLength;
  uint16_t result[kMatrixTokens] = {};
  for (size_t i = 0; i < kMatrixTokens; ++i) {
    uint32_t value = 0;
    if (!ReadToken(clean, i, kMatrixDigits, value)) return TextParse::BadValue;
    result[i] = static_cast<uint16_t>(value);
  }
  std::memcpy(matrix, result, sizeof(result));
  return TextParse::Ok;
}

}  // namespace rzd::lowdrv::window
