// Text between the store's UTF-16 strings and libxml2's UTF-8.
#pragma once

#include <libxml/xmlstring.h>

#include <optional>
#include <string>
#include <string_view>

namespace rzd::xml {

// UTF-8 of `text` when every character may stand in an XML 1.0 document (tab, LF, CR,
// U+0020-U+D7FF, U+E000-U+FFFD, U+10000-U+10FFFF); nullopt for anything else, lone surrogates
// included, since such text could not be read back.
std::optional<std::string> ToXmlUtf8(std::u16string_view text);

// UTF-16 of libxml2 text (null: empty).
std::u16string FromXml(const xmlChar* text);
std::u16string FromXml(std::string_view text);

inline const xmlChar* Xc(const std::string& text) { return reinterpret_cast<const xmlChar*>(text.c_str()); }

}  // namespace rzd::xml
