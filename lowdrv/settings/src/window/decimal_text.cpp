#include "decimal_text.h"

#include <charconv>
#include <string>

namespace rzd::lowdrv::window {

double DecimalValue(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\r' || text[i] == u'\n')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  // Only the characters a decimal number can hold; anything else ends it.
  std::string ascii;
  for (; i < text.size() && ascii.size() < 64; ++i) {
    const char16_t c = text[i];
    if ((c >= u'0' && c <= u'9') || c == u'.' || c == u'e' || c == u'E' || c == u'+' || c == u'-')
      ascii.push_back(static_cast<char>(c));
    else
      break;
  }
  if (ascii.empty() || ascii[0] == '+' || ascii[0] == '-') return 0.0;
  double value = 0.0;
  const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value, std::chars_format::general);
  if (result.ec != std::errc()) return 0.0;
  return negative ? -value : value;
}

}  // namespace rzd::lowdrv::window
