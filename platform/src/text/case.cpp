#include "platform/text.h"

#include <limits>

namespace rzd {

char16_t FoldChar(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);  // Latin-1
  if (c == 0xFF) return 0x178;
  if (c == 0xB5) return 0x39C;  // micro sign folds with Greek mu
  if (c >= 0x100 && c <= 0x17F) {  // Latin Extended-A: alternating pairs
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : static_cast<char16_t>(c - 1);
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    return (c & 1) ? static_cast<char16_t>(c - 1) : c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 32);  // Greek
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 32);                  // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
  return c;
}

std::u16string FoldCase(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) c = FoldChar(c);
  return out;
}

std::u16string ToUpper(std::u16string_view text) { return FoldCase(text); }

namespace {
char16_t LowerChar(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  if (c == 0x178) return 0xFF;
  if (c >= 0x100 && c <= 0x17F) {
    char16_t lower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E) ? static_cast<char16_t>(c + 1)
                                                                              : static_cast<char16_t>(c | 1);
    return FoldChar(lower) == c && lower != c ? lower : c;
  }
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<char16_t>(c + 32);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
  return c;
}
}  // namespace

std::u16string ToLower(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) c = LowerChar(c);
  return out;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = FoldChar(a[i]), y = FoldChar(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

namespace {
template <typename T>
T ParseSaturating(std::u16string_view text) {
  size_t i = 0;
  auto blank = [](char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
  while (i < text.size() && blank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  // Accumulate as a negative number so the minimum is representable.
  T value = 0;
  constexpr T kMin = std::numeric_limits<T>::min();
  bool saturated = false;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    T digit = static_cast<T>(text[i] - u'0');
    if (value < (kMin + digit) / 10) {
      saturated = true;
      continue;
    }
    value = static_cast<T>(value * 10 - digit);
  }
  if (saturated) return negative ? kMin : std::numeric_limits<T>::max();
  if (negative) return value;
  return value == kMin ? std::numeric_limits<T>::max() : static_cast<T>(-value);
}
}  // namespace

int32_t WToI(std::u16string_view text) { return ParseSaturating<int32_t>(text); }
int64_t WToI64(std::u16string_view text) { return ParseSaturating<int64_t>(text); }

namespace {
template <class Text>
std::optional<uint32_t> ParseDigits(Text text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  uint64_t value = 0;
  for (auto c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<uint32_t>(value);
}
}  // namespace

std::optional<uint32_t> ParseUInt32(std::u16string_view text) { return ParseDigits(text); }
std::optional<uint32_t> ParseUInt32(std::string_view text) { return ParseDigits(text); }

int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace rzd
