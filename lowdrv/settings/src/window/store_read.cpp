#include "store_read.h"

#include "platform/text.h"

namespace rzd::lowdrv::window {

std::optional<std::u16string> TextBelow(MSXML6StoreBSTR& store, std::u16string_view path) {
  Bstr text;
  if (!store.GetNodeText(path, text)) return std::nullopt;
  return text.Str();
}

std::optional<std::u16string> CurrentValueBelow(MSXML6StoreBSTR& store, std::u16string_view name) {
  return TextBelow(store, u".//" + std::u16string(name) + u"/Enum/Value[@IsCurrent='true']");
}

std::optional<std::u16string> RangeTextBelow(MSXML6StoreBSTR& store, std::u16string_view name) {
  return TextBelow(store, u".//" + std::u16string(name) + u"/Range/Value");
}

std::optional<int32_t> RangeIntBelow(MSXML6StoreBSTR& store, std::u16string_view name) {
  auto text = RangeTextBelow(store, name);
  if (!text) return std::nullopt;
  return WToI(*text);
}

bool IsOnBelow(MSXML6StoreBSTR& store, std::u16string_view name) {
  auto value = CurrentValueBelow(store, name);
  return value && *value == u"On";
}

std::optional<std::u16string> AttributeHere(MSXML6StoreBSTR& store, std::u16string_view name) {
  Bstr value;
  if (!store.GetNodeAttribute(name, value)) return std::nullopt;
  return value.Str();
}

bool ExistsBelow(MSXML6StoreBSTR& store, std::u16string_view path) {
  KeptContext here(store);
  const bool found = store.SelectNode(path);
  here.Restore();
  return found;
}

bool MoveTo(MSXML6StoreBSTR& store, std::u16string_view path) { return store.SelectNode(path); }

}  // namespace rzd::lowdrv::window
