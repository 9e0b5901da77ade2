// "C"-locale formatting and small string helpers.
#include "foundation/string_utils.h"

#include "platform/text.h"

#include <algorithm>
#include <cstdarg>

namespace rzd {

std::u16string FormatStringC(const char16_t* format, ...) {
  if (format == nullptr) return {};
  va_list args;
  va_start(args, format);
  std::u16string text = VFormatW(format, args);
  va_end(args);
  return text;
}

int32_t FormatBufferC(char16_t* buffer, size_t size, const char16_t* format, ...) {
  if (buffer == nullptr || size == 0) return -1;
  if (format == nullptr) {
    buffer[0] = 0;
    return -1;
  }
  va_list args;
  va_start(args, format);
  std::u16string text = VFormatW(format, args);
  va_end(args);
  size_t count = std::min(text.size(), size - 1);
  std::copy_n(text.data(), count, buffer);
  buffer[count] = 0;
  return count == text.size() ? static_cast<int32_t>(count) : -1;
}

size_t ReplaceChar(std::u16string& text, char16_t what, char16_t with) {
  size_t count = 0;
  for (char16_t& c : text) {
    if (c == what) {
      c = with;
      ++count;
    }
  }
  return count;
}

std::u16string ToUpperString(std::u16string_view text) { return ToUpper(text); }

bool IsStringInList(const std::vector<std::u16string>& list, std::u16string_view text) {
  return std::find(list.begin(), list.end(), text) != list.end();
}

}  // namespace rzd
