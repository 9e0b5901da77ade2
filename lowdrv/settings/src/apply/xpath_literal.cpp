// XPath 1.0 string literals.
#include "apply/xpath_literal.h"

namespace rzd::lowdrv::apply {

std::u16string XPathLiteral(std::u16string_view value) {
  if (value.find(u'"') == std::u16string_view::npos) return u"\"" + std::u16string(value) + u"\"";
  if (value.find(u'\'') == std::u16string_view::npos) return u"'" + std::u16string(value) + u"'";
  // Both quote kinds: runs without a double quote in "...", each double quote as '"'.
  std::u16string out = u"concat(";
  bool first = true;
  size_t start = 0;
  while (start <= value.size()) {
    size_t quote = value.find(u'"', start);
    size_t end = quote == std::u16string_view::npos ? value.size() : quote;
    if (end > start) {
      if (!first) out += u',';
      out += u"\"" + std::u16string(value.substr(start, end - start)) + u"\"";
      first = false;
    }
    if (quote == std::u16string_view::npos) break;
    if (!first) out += u',';
    out += u"'\"'";
    first = false;
    start = quote + 1;
  }
  // concat() needs two arguments at least; a value of one piece got its quote form above.
  out += u')';
  return out;
}

}  // namespace rzd::lowdrv::apply
