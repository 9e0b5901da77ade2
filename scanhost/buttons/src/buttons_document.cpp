// The driver's Buttons document read into the presses of one poll.
#include "scanhost/buttons/button_events.h"

#include "foundation/xml_store.h"

namespace rzd::scanhost::buttons {

std::optional<ButtonState> ParseButtonsXml(std::u16string_view document) {
  MSXML6StoreSTL store;
  if (!store.LoadFromString(document)) return std::nullopt;
  ButtonState state;
  if (store.SelectNode(u"/Buttons/Event")) {
    state.function = store.GetAttributeInt(u"Function", state.function);
    return state;
  }
  if (!store.SelectNode(u"/Buttons/Button")) return std::nullopt;
  switch (store.GetAttributeInt(u"ID", 0)) {
    case 2: state.simplex = true; break;
    case 3: state.duplex = true; break;
    default: return std::nullopt;
  }
  if (!store.SelectNode(u"/Buttons/Button/Event")) return std::nullopt;
  state.function = store.GetAttributeInt(u"Function", state.function);
  std::u16string text;
  store.GetText(text);
  if (text == u"Long") {
    state.longPress = true;
  } else if (text != u"Short") {
    return std::nullopt;
  }
  return state;
}

}  // namespace rzd::scanhost::buttons
