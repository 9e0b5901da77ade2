// XPath 1.0 selections for the store.
#pragma once

#include <libxml/tree.h>

#include <string_view>
#include <vector>

namespace rzd::xml {

enum class XPathStatus {
  Nodes,    // at least one node selected
  Empty,    // a valid node-set expression that selected nothing
  Invalid,  // not a valid expression, or not one that gives a node-set
};

// Evaluates `path` with `context` as context node (a node of `doc`, or the document itself) and
// gives the selected nodes in document order (namespace nodes are left out: they are copies that
// die with the result).
XPathStatus SelectNodes(xmlDocPtr doc, xmlNodePtr context, std::u16string_view path, std::vector<xmlNodePtr>& out);

}  // namespace rzd::xml
