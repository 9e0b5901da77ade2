#include "platform/text.h"

namespace rzd {

namespace {

// The converters write through a pointer into a string sized for the longest result and cut it
// to length at the end: no per-character growth checks.

char16_t* PutUtf16(char16_t* out, char32_t cp) {
  if (cp < 0x10000) {
    *out++ = static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    *out++ = static_cast<char16_t>(0xD800 + (cp >> 10));
    *out++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
  return out;
}

char* PutUtf8(char* out, char32_t cp) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (cp >> 18));
    *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

// Converts, calling onLone for a lone surrogate; false when onLone refuses.
template <typename OnLone>
bool Utf16ToUtf8(std::u16string_view text, std::string& result, OnLone onLone) {
  // At most 3 bytes per unit (a pair of units makes 4).
  result.resize(text.size() * 3);
  char* const begin = result.data();
  char* out = begin;
  const char16_t* in = text.data();
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    char32_t c = in[i];
    if (c < 0x80) {
      *out++ = static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < n && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
        ++i;
      } else if (!onLone(c)) {
        return false;
      } else {
        c = 0xFFFD;
      }
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      if (!onLone(c)) return false;
      c = 0xFFFD;
    }
    out = PutUtf8(out, c);
  }
  result.resize(static_cast<size_t>(out - begin));
  return true;
}
}  // namespace

std::u16string FromUtf8(std::string_view text) {
  // At most one unit per byte (a 4-byte sequence makes 2).
  std::u16string result(text.size(), u'\0');
  char16_t* const begin = result.data();
  char16_t* out = begin;
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char b0 = in[i];
    size_t need;
    char32_t cp;
    char32_t min;
    if (b0 < 0x80) {
      *out++ = b0;
      ++i;
      continue;
    } else if ((b0 & 0xE0) == 0xC0) {
      need = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      need = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      need = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
      *out++ = 0xFFFD;
      ++i;
      continue;
    }
    size_t j = 1;
    for (; j <= need && i + j < n; ++j) {
      const unsigned char b = in[i + j];
      if ((b & 0xC0) != 0x80) break;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (j <= need || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      *out++ = 0xFFFD;
      i += j;  // skip the lead byte and the continuation bytes that were read
      continue;
    }
    out = PutUtf16(out, cp);
    i += need + 1;
  }
  result.resize(static_cast<size_t>(out - begin));
  return result;
}

std::optional<std::string> TryToUtf8(std::u16string_view text) {
  std::string out;
  if (!Utf16ToUtf8(text, out, [](char32_t) { return false; })) return std::nullopt;
  return out;
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  Utf16ToUtf8(text, out, [](char32_t) { return true; });
  return out;
}

// Windows-1252 bytes 0x80..0x9F; 0 where the code page has no character.
static constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::u16string FromAnsi(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char ch : text) {
    auto b = static_cast<unsigned char>(ch);
    if (b >= 0x80 && b <= 0x9F) {
      char16_t c = kCp1252High[b - 0x80];
      out.push_back(c != 0 ? c : b);  // undefined bytes map to the C1 control of the same value
    } else {
      out.push_back(b);
    }
  }
  return out;
}

std::string ToAnsi(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char mapped = '?';
    for (int i = 0; i < 32; ++i) {
      if (kCp1252High[i] == c && c != 0) {
        mapped = static_cast<char>(0x80 + i);
        break;
      }
    }
    out.push_back(mapped);
  }
  return out;
}

std::u16string_view TrimView(std::u16string_view text) {
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  size_t b = 0, e = text.size();
  while (b < e && blank(text[b])) ++b;
  while (e > b && blank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

}  // namespace rzd
