// Parsing documents the way the store's callers expect: no DTD (refused on every path, so no
// entity is ever defined or loaded), no network, no external files, whitespace-only text between
// tags dropped, namespaces well formed; the first error is reported with its line.
#pragma once

#include "xml/xml_doc.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace rzd::xml {

// Largest document text the store parses, in bytes.
constexpr size_t kMaxDocumentBytes = 64u * 1024u * 1024u;

struct ParseOutcome {
  xmlDocPtr doc = nullptr;  // the caller owns it
  int32_t line = 0;         // of the first error
  std::u16string reason;
};

enum class InputEncoding {
  Utf8,    // the text is UTF-8 whatever its declaration says (converted from a UTF-16 string)
  Detect,  // bytes of a file: byte-order mark, declaration, else UTF-8
};

ParseOutcome ParseDocument(std::string_view bytes, InputEncoding encoding);

// Removes text nodes made only of blanks (space, tab, CR, LF) below `node`, except where
// xml:space="preserve" is in force. For freshly parsed trees only (frees the nodes).
void DropBlankText(xmlNodePtr node);

}  // namespace rzd::xml
