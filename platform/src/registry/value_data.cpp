// Windows byte forms of the string value types.
#include "platform/registry.h"

namespace rzd {

namespace {
void AppendUnit(std::vector<uint8_t>& out, char16_t c) {
  out.push_back(static_cast<uint8_t>(c & 0xFF));
  out.push_back(static_cast<uint8_t>(c >> 8));
}

char16_t UnitAt(std::span<const uint8_t> data, size_t index) {
  return static_cast<char16_t>(data[2 * index] | (data[2 * index + 1] << 8));
}
}  // namespace

std::vector<uint8_t> EncodeRegString(std::u16string_view text) {
  std::vector<uint8_t> out;
  out.reserve((text.size() + 1) * 2);
  for (char16_t c : text) AppendUnit(out, c);
  AppendUnit(out, 0);
  return out;
}

std::vector<uint8_t> EncodeRegMultiString(const std::vector<std::u16string>& strings) {
  std::vector<uint8_t> out;
  for (const auto& s : strings) {
    for (char16_t c : s) AppendUnit(out, c);
    AppendUnit(out, 0);
  }
  AppendUnit(out, 0);
  return out;
}

std::u16string DecodeRegString(std::span<const uint8_t> data) {
  std::u16string out;
  size_t units = data.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    char16_t c = UnitAt(data, i);
    if (c == 0) break;
    out.push_back(c);
  }
  return out;
}

std::vector<std::u16string> DecodeRegMultiString(std::span<const uint8_t> data) {
  std::vector<std::u16string> out;
  std::u16string current;
  size_t units = data.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    char16_t c = UnitAt(data, i);
    if (c != 0) {
      current.push_back(c);
    } else if (current.empty()) {
      return out;  // the closing terminator
    } else {
      out.push_back(std::move(current));
      current.clear();
    }
  }
  if (!current.empty()) out.push_back(std::move(current));  // unterminated last string
  return out;
}

}  // namespace rzd
