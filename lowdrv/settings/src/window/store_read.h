// Reads of settings below a node of a settings document, for the window conversion. Every read
// is relative to the store's current node and leaves the context where it was.
#pragma once

#include "foundation/xml_store.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rzd::lowdrv::window {

// Keeps a saved context of a store: Restore() makes it current again; freed with the keeper.
class KeptContext {
 public:
  explicit KeptContext(MSXML6StoreBSTR& store) : store_(store), saved_(store.CloneContext()) {}
  ~KeptContext() { store_.FreeContext(saved_); }
  KeptContext(const KeptContext&) = delete;
  KeptContext& operator=(const KeptContext&) = delete;
  bool Saved() const { return saved_ != nullptr; }
  void Restore() { store_.SetContext(saved_); }

 private:
  MSXML6StoreBSTR& store_;
  XmlStoreContext* saved_;
};

// Text of the first node `path` selects from the current node.
std::optional<std::u16string> TextBelow(MSXML6StoreBSTR& store, std::u16string_view path);
// The current value of the enumeration `name` anywhere below: ".//name/Enum/Value[@IsCurrent='true']".
std::optional<std::u16string> CurrentValueBelow(MSXML6StoreBSTR& store, std::u16string_view name);
// The value text of the range `name` anywhere below: ".//name/Range/Value".
std::optional<std::u16string> RangeTextBelow(MSXML6StoreBSTR& store, std::u16string_view name);
// The same as an integer (wide atoi rules).
std::optional<int32_t> RangeIntBelow(MSXML6StoreBSTR& store, std::u16string_view name);
// True when the current value of `name` below is "On".
bool IsOnBelow(MSXML6StoreBSTR& store, std::u16string_view name);

// The current node's attribute.
std::optional<std::u16string> AttributeHere(MSXML6StoreBSTR& store, std::u16string_view name);

// True when `path` selects a node from the current node.
bool ExistsBelow(MSXML6StoreBSTR& store, std::u16string_view path);

// Selects the first node of `path` from the current node and makes it current; false (context
// unchanged) when nothing is selected.
bool MoveTo(MSXML6StoreBSTR& store, std::u16string_view path);

}  // namespace rzd::lowdrv::window
