// A saved position of an XML store, restored on request and freed at scope exit.
#pragma once

#include "foundation/xml_store.h"

namespace rzd::lowdrv {

class SavedContext {
 public:
  explicit SavedContext(MSXML6StoreBSTR& store) : store_(store), context_(store.CloneContext()) {}
  ~SavedContext() { store_.FreeContext(context_); }
  SavedContext(const SavedContext&) = delete;
  SavedContext& operator=(const SavedContext&) = delete;

  // False when there was no current node to save.
  bool Valid() const { return context_ != nullptr; }
  void Restore() { store_.SetContext(context_); }

 private:
  MSXML6StoreBSTR& store_;
  XmlStoreContext* context_;
};

// Removes every node `path` selects (absolute or relative to the current context); the count.
inline int RemoveAll(MSXML6StoreBSTR& store, std::u16string_view path) {
  int removed = 0;
  while (store.SelectNode(path) && store.RemoveContextNode()) ++removed;
  return removed;
}

// Whether the current node has the attribute with exactly this value.
inline bool HasAttributeValue(MSXML6StoreBSTR& store, std::u16string_view name, std::u16string_view value) {
  Bstr text;
  return store.GetNodeAttribute(name, text) && text.View() == value;
}

}  // namespace rzd::lowdrv
