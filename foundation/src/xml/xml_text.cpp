#include "xml/xml_text.h"

#include "platform/text.h"

namespace rzd::xml {

std::optional<std::string> ToXmlUtf8(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return std::nullopt;
      ++i;  // a pair: U+10000 and above, all allowed
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return std::nullopt;
    } else if ((c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D) || c == 0xFFFE || c == 0xFFFF) {
      return std::nullopt;
    }
  }
  return TryToUtf8(text);
}

std::u16string FromXml(const xmlChar* text) {
  if (text == nullptr) return {};
  return FromUtf8(reinterpret_cast<const char*>(text));
}

std::u16string FromXml(std::string_view text) { return FromUtf8(text); }

}  // namespace rzd::xml
