// XPath 1.0 string literals for values taken from documents (IDs, attribute values).
#pragma once

#include <string>
#include <string_view>

namespace rzd::lowdrv::apply {

// The value as one XPath expression that evaluates to exactly that string: "..." when it holds
// no double quote, '...' when it holds no apostrophe, else a concat() of pieces. The result can
// never end the literal early and so never widens or changes the path it is put into.
std::u16string XPathLiteral(std::u16string_view value);

}  // namespace rzd::lowdrv::apply
