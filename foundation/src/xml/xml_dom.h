// DOM behaviour on libxml2 nodes: names, text, attributes, element creation, serialisation.
#pragma once

#include "platform/errors.h"

#include <libxml/tree.h>

#include <string>
#include <string_view>

namespace rzd::xml {

// The DOM name: the qualified name of an element or attribute ("prefix:local"), "#text",
// "#cdata-section", "#comment", "#document", a processing instruction's target.
std::u16string NodeName(xmlNodePtr node);

// The DOM text: for elements and documents the text and CDATA of every descendant joined in
// document order, for other nodes their value; blanks trimmed from both ends.
std::u16string NodeText(xmlNodePtr node);

// Sets the text of a node without reading markup in it: an element's children are replaced by
// one text node (none for empty text); the value of a text, CDATA, comment, processing
// instruction or attribute node is replaced. Removed children are buried, not freed.
HRESULT SetNodeText(xmlNodePtr node, const std::string& utf8);

// The element the store's "current element" is for a node: the node itself for an element, the
// owner element for an attribute, the parent element for other nodes; null for a document.
xmlNodePtr ElementOf(xmlNodePtr node);

// The attribute of `element` whose qualified name is `qname`; null when missing.
xmlAttrPtr FindAttribute(xmlNodePtr element, std::string_view qname);
std::u16string AttributeValue(xmlAttrPtr attr);
// Sets an attribute without a namespace (the value is not read as markup).
HRESULT SetAttribute(xmlNodePtr element, const std::string& name, const std::string& value);

// True for a valid qualified name ("local" or "prefix:local").
bool IsValidQName(const std::string& name);
// True for a valid name without a colon.
bool IsValidNCName(const std::string& name);

// Creates an element named `qname` in `namespaceUri` (empty: none) as the last child of `parent`
// (an element, or a document without a document element). Refuses invalid names and a prefix
// without a namespace. The new element, or null with `hr` set.
xmlNodePtr AppendElement(xmlNodePtr parent, const std::string& qname, const std::string& namespaceUri, HRESULT& hr);

// True when a node of `type` may be a child of `parent` (element: any child kind; document:
// comments, processing instructions and one element).
bool MayHoldChild(xmlNodePtr parent, xmlElementType type, xmlNodePtr replacing = nullptr);

// The markup of a node as the DOM's xml property gives it: no XML declaration for anything but a
// document, namespace declarations in scope included for an element.
std::string NodeMarkup(xmlNodePtr node);
// A whole document in UTF-8 with its declaration.
std::string DocumentFileText(xmlDocPtr doc);

}  // namespace rzd::xml
