// The state behind MSXML6StoreBase: the document, the context and the last results.
#pragma once

#include "foundation/xml_store.h"
#include "xml/xml_doc.h"

#include <memory>
#include <vector>

namespace rzd::xml {

// The node list of a selection, walked by MoveToNextNode. Shared between the store and the
// contexts saved from it, like the DOM's node list object.
struct Selection {
  std::shared_ptr<DocHolder> holder;
  std::vector<xmlNodePtr> nodes;
  size_t next = 0;
};

struct Position {
  std::shared_ptr<DocHolder> holder;  // keeps the node's document (and so the node) alive
  xmlNodePtr node = nullptr;
  xmlNodePtr element = nullptr;
  std::shared_ptr<Selection> selection;
};

// The holder of the document a node belongs to.
inline std::shared_ptr<DocHolder> HolderOfNode(xmlNodePtr node) {
  DocHolder* holder = DocHolder::Of(node->doc);
  return holder ? holder->shared_from_this() : nullptr;
}

}  // namespace rzd::xml

namespace rzd {

class XmlStoreContext {
 public:
  explicit XmlStoreContext(xml::Position position) : position(std::move(position)) {}
  xml::Position position;
};

struct MSXML6StoreBase::Impl {
  std::shared_ptr<xml::DocHolder> doc;
  xml::Position pos;
  HRESULT lastHr = S_OK;
  XmlParseError parseError;

  bool Fail(HRESULT hr) {
    lastHr = hr;
    return false;
  }
  xmlNodePtr DocNode() const { return reinterpret_cast<xmlNodePtr>(doc->Doc()); }
  // Makes `node` current; the selection list is kept unless one is given.
  void MoveTo(xmlNodePtr node);
  void MoveTo(xmlNodePtr node, std::shared_ptr<xml::Selection> selection);
};

}  // namespace rzd
