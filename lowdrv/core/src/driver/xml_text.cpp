#include "xml_text.h"

namespace rzd::lowdrv {

std::u16string XmlEscaped(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  AppendXmlEscaped(out, text);
  return out;
}

void AppendXmlEscaped(std::u16string& out, std::u16string_view text) {
  for (char16_t c : text) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'\t':
      case u'\n':
      case u'\r': out.push_back(c); break;
      default:
        if (c >= 0x20) out.push_back(c);
        break;
    }
  }
}

std::u16string CDataText(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c < 0x20 || c == 0x7F) continue;
    out.push_back(c);
    if (c == u'>' && out.size() >= 3 && out.compare(out.size() - 3, 3, u"]]>") == 0)
      out.insert(out.size() - 1, u"]]><![CDATA[");
  }
  return out;
}

}  // namespace rzd::lowdrv
