// Text put into the XML documents the driver writes by hand (the unit information and the
// maintenance status): values from the unit, from files or from the caller never break the
// document.
#pragma once

#include <string>
#include <string_view>

namespace rzd::lowdrv {

// Element text: '&', '<' and '>' escaped; control characters (below 0x20 but tab, line feed and
// carriage return) dropped.
std::u16string XmlEscaped(std::u16string_view text);
// The same, appended to `out`.
void AppendXmlEscaped(std::u16string& out, std::u16string_view text);

// The content of a CDATA section: control characters (below 0x20, and 0x7F) dropped, and every
// "]]>" split across two sections ("]]]]><![CDATA[>"), so the section ends only where the
// writer ends it.
std::u16string CDataText(std::u16string_view text);

}  // namespace rzd::lowdrv
