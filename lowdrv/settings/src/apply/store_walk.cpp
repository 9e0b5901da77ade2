// Helpers over the XML store for the settings passes.
#include "apply/store_walk.h"

namespace rzd::lowdrv::apply {

std::optional<std::u16string> CurrentText(MSXML6StoreBSTR& store) {
  Bstr text;
  if (!store.GetText(text)) return std::nullopt;
  return text.Str();
}

std::optional<std::u16string> TextAt(MSXML6StoreBSTR& store, std::u16string_view path) {
  Bstr text;
  if (!store.GetNodeText(path, text)) return std::nullopt;
  return text.Str();
}

std::optional<std::u16string> AttributeOf(MSXML6StoreBSTR& store, std::u16string_view name) {
  Bstr value;
  if (!store.GetNodeAttribute(name, value)) return std::nullopt;
  return value.Str();
}

bool AttributeIs(MSXML6StoreBSTR& store, std::u16string_view name, std::u16string_view value) {
  auto actual = AttributeOf(store, name);
  return actual && *actual == value;
}

bool Exists(MSXML6StoreBSTR& store, std::u16string_view path) {
  SavedContext here(store);
  bool found = store.SelectNode(path);
  here.Restore();
  return found;
}

}  // namespace rzd::lowdrv::apply
