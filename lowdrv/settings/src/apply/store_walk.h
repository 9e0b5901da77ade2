// Small helpers over the XML store for the settings passes: a saved context that is put back on
// every way out, a walk over a selection whose body may select freely, and text reads.
#pragma once

#include "foundation/xml_store.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rzd::lowdrv::apply {

// Saves the store's context on construction; Restore() makes it current again. The saved
// context is freed with the keeper.
class SavedContext {
 public:
  explicit SavedContext(MSXML6StoreBSTR& store) : store_(store), saved_(store.CloneContext()) {}
  ~SavedContext() { store_.FreeContext(saved_); }
  SavedContext(const SavedContext&) = delete;
  SavedContext& operator=(const SavedContext&) = delete;
  bool Saved() const { return saved_ != nullptr; }
  void Restore() { store_.SetContext(saved_); }

 private:
  MSXML6StoreBSTR& store_;
  XmlStoreContext* saved_;
};

// A body result that ends a walk without being a failure.
constexpr uint32_t kStopWalk = 1;

// Selects `path` and runs `body` with each selected node current, in document order. The body
// may move and select as it likes; the walk goes on from its own list. A body result other than
// 0 ends the walk with that result. Nothing selected (or an invalid path): 0.
template <class Body>
uint32_t ForEachSelected(MSXML6StoreBSTR& store, std::u16string_view path, Body&& body) {
  if (!store.SelectNode(path)) return 0;
  for (;;) {
    SavedContext here(store);
    if (!here.Saved()) return 0;
    if (uint32_t code = body(); code != 0) return code;
    here.Restore();  // the selection list is shared with the saved context
    if (!store.MoveToNextNode()) return 0;
  }
}

// The text of the current node, or of the first node `path` selects from it; nullopt when there
// is no such node.
std::optional<std::u16string> CurrentText(MSXML6StoreBSTR& store);
std::optional<std::u16string> TextAt(MSXML6StoreBSTR& store, std::u16string_view path);

// The current node's attribute; nullopt when it has none.
std::optional<std::u16string> AttributeOf(MSXML6StoreBSTR& store, std::u16string_view name);

// True when the current node's attribute `name` is exactly `value`.
bool AttributeIs(MSXML6StoreBSTR& store, std::u16string_view name, std::u16string_view value);

// True when `path` selects a node from the current node; the context is kept.
bool Exists(MSXML6StoreBSTR& store, std::u16string_view path);

}  // namespace rzd::lowdrv::apply
