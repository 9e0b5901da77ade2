#include "ini/ini_codec.h"

#include "platform/text.h"

namespace rzd::ini {

namespace {
std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    auto b0 = static_cast<unsigned char>(bytes[i]);
    auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    out.push_back(static_cast<char16_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0));
  }
  return out;  // an odd last byte is ignored
}
}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t extra;
    char32_t cp;
    char32_t minimum;
    if ((c & 0xE0) == 0xC0) {
      extra = 1, cp = c & 0x1F, minimum = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2, cp = c & 0x0F, minimum = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3, cp = c & 0x07, minimum = 0x10000;
    } else {
      return false;
    }
    if (i + extra >= bytes.size()) return false;  // sequence cut off
    for (size_t k = 1; k <= extra; ++k) {
      auto t = static_cast<unsigned char>(bytes[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

std::u16string DecodeProfileBytes(std::string_view bytes) {
  auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
  if (starts("\xFF\xFE")) return DecodeUtf16(bytes.substr(2), false);
  if (starts("\xFE\xFF")) return DecodeUtf16(bytes.substr(2), true);
  if (starts("\xEF\xBB\xBF")) return FromUtf8(bytes.substr(3));
  if (IsValidUtf8(bytes)) return FromUtf8(bytes);
  return FromAnsi(bytes);
}

std::string EncodeProfileText(std::u16string_view text) {
  std::string out;
  out.reserve(2 + text.size() * 2);
  out.push_back('\xFF');
  out.push_back('\xFE');
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

}  // namespace rzd::ini
