#include "platform/text.h"
#include "platform/types.h"

#include <cstdio>
#include <random>

namespace rzd {

std::string FormatGuidA(const GUID& g) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buffer;
}

std::u16string FormatGuid(const GUID& guid) { return FromUtf8(FormatGuidA(guid)); }

namespace {
// Reads `digits` hex digits at text[pos].
bool ReadHex(std::string_view text, size_t pos, size_t digits, uint64_t& value) {
  value = 0;
  for (size_t i = 0; i < digits; ++i) {
    int d = HexDigitValue(static_cast<unsigned char>(text[pos + i]));
    if (d < 0) return false;
    value = (value << 4) | static_cast<uint64_t>(d);
  }
  return true;
}
}  // namespace

std::optional<GUID> ParseGuid(std::string_view text) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
      text[19] != '-' || text[24] != '-') {
    return std::nullopt;
  }
  GUID g{};
  uint64_t v;
  if (!ReadHex(text, 1, 8, v)) return std::nullopt;
  g.Data1 = static_cast<uint32_t>(v);
  if (!ReadHex(text, 10, 4, v)) return std::nullopt;
  g.Data2 = static_cast<uint16_t>(v);
  if (!ReadHex(text, 15, 4, v)) return std::nullopt;
  g.Data3 = static_cast<uint16_t>(v);
  static constexpr size_t kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (size_t i = 0; i < 8; ++i) {
    if (!ReadHex(text, kBytePos[i], 2, v)) return std::nullopt;
    g.Data4[i] = static_cast<uint8_t>(v);
  }
  return g;
}

std::optional<GUID> ParseGuid(std::u16string_view text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (char16_t c : text) {
    if (c > 0x7F) return std::nullopt;
    narrow.push_back(static_cast<char>(c));
  }
  return ParseGuid(std::string_view(narrow));
}

GUID NewGuid() {
  static thread_local std::mt19937_64 engine{std::random_device{}()};
  uint64_t a = engine(), b = engine();
  GUID g{};
  g.Data1 = static_cast<uint32_t>(a >> 32);
  g.Data2 = static_cast<uint16_t>(a >> 16);
  g.Data3 = static_cast<uint16_t>((a & 0x0FFF) | 0x4000);  // version 4
  for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<uint8_t>(b >> (8 * i));
  g.Data4[0] = static_cast<uint8_t>((g.Data4[0] & 0x3F) | 0x80);  // variant 1
  return g;
}

}  // namespace rzd
