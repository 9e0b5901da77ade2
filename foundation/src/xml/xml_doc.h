// The document wrapper of the XML store. libxml2 frees a node as soon as it leaves the tree;
// the DOM the store stands in for keeps a node alive while anything refers to it. So nodes are
// never freed while their document lives: a removed or replaced node is unlinked and handed to
// the holder of its document, which frees it together with the document. Everything that keeps a
// node (the store's position, a selection, a saved context) also keeps a shared reference to the
// node's holder.
#pragma once

#include <libxml/tree.h>

#include <memory>
#include <vector>

namespace rzd::xml {

// Initialises libxml2 once per process.
void EnsureLibraryReady();

class DocHolder : public std::enable_shared_from_this<DocHolder> {
 public:
  // Takes ownership of `doc` (null: null).
  static std::shared_ptr<DocHolder> Adopt(xmlDocPtr doc);
  // A new empty document; null when out of memory.
  static std::shared_ptr<DocHolder> CreateEmpty();
  ~DocHolder();
  DocHolder(const DocHolder&) = delete;
  DocHolder& operator=(const DocHolder&) = delete;

  xmlDocPtr Doc() const { return doc_; }
  // Unlinks `node` (of this document) from its parent, or from its owner element for an
  // attribute, and keeps it with its subtree until the document goes. Throws only before
  // anything changed (out of memory).
  void DetachAndBury(xmlNodePtr node);
  // Puts `replacement` (unlinked) where `old` is and keeps `old` as DetachAndBury does.
  void ReplaceAndBury(xmlNodePtr old, xmlNodePtr replacement);

  // The holder of a document made by this module.
  static DocHolder* Of(xmlDocPtr doc) { return doc ? static_cast<DocHolder*>(doc->_private) : nullptr; }

 private:
  explicit DocHolder(xmlDocPtr doc);
  void ReserveBurial();
  xmlDocPtr doc_;
  std::vector<xmlNodePtr> buried_;
};

// DetachAndBury through the holder of the node's document; false when it has none.
bool DetachAndBury(xmlNodePtr node);

}  // namespace rzd::xml
