// Text put into an XML element by string formatting: the three characters that would end or
// break the element (&, <, >) written as entities, so the text arrives as it was given.
#pragma once

#include <string>
#include <string_view>

namespace rzd {

inline std::u16string EscapeXmlText(std::u16string_view text) {
  std::u16string escaped;
  escaped.reserve(text.size());
  for (char16_t c : text) {
    switch (c) {
      case u'&': escaped += u"&amp;"; break;
      case u'<': escaped += u"&lt;"; break;
      case u'>': escaped += u"&gt;"; break;
      default: escaped.push_back(c);
    }
  }
  return escaped;
}

}  // namespace rzd
