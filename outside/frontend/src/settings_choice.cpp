#include "settings_choice.h"

#include "foundation/xml_store.h"
#include "platform/text.h"

namespace rzd::frontend {

namespace {

const char16_t* StreamKind(Mode mode) {
  switch (mode) {
    case Mode::LineArt: return u"Mono";
    case Mode::Gray: return u"Gray";
    case Mode::Color: return u"Color";
  }
  return u"Color";
}

std::u16string Item(std::u16string_view id) { return u"//Item[@ID='" + std::u16string(id) + u"']"; }

// Sets or clears IsSet="true" of the item.
bool SetItem(MSXML6StoreSTL& store, std::u16string_view id, bool set) {
  if (!store.SelectNode(Item(id))) return false;
  if (set) return store.SetAttribute(u"IsSet", u"true");
  store.RemoveAttribute(u"IsSet");
  return true;
}

// The values of the enumeration under `path`.
std::vector<std::u16string> Values(MSXML6StoreSTL& store, const std::u16string& path) {
  std::vector<std::u16string> values;
  if (!store.SelectNode(path + u"/Enum/Value")) return values;
  do {
    std::u16string text;
    store.GetText(text);
    values.push_back(text);
  } while (store.MoveToNextNode());
  return values;
}

// Makes `value` the one current value of the enumeration under `path`.
bool MakeCurrent(MSXML6StoreSTL& store, const std::u16string& path, std::u16string_view value) {
  if (!store.SelectNode(path + u"/Enum/Value")) return false;
  bool found = false;
  do {
    std::u16string text;
    store.GetText(text);
    if (text == value) {
      found = store.SetAttribute(u"IsCurrent", u"true");
    } else {
      store.RemoveAttribute(u"IsCurrent");
    }
  } while (store.MoveToNextNode());
  return found;
}

}  // namespace

ChosenSettings ChooseSettings(const std::u16string& supported, const ScanOptions& options) {
  ChosenSettings chosen;
  MSXML6StoreSTL store;
  if (!store.LoadFromString(supported)) {
    chosen.error = "the unit's settings document could not be read";
    return chosen;
  }
  const bool front = options.source != Source::Back;
  const bool back = options.source != Source::Front;
  if (!SetItem(store, u"Front1", front) || !SetItem(store, u"Back1", back)) {
    chosen.error = "the unit's settings name no front and back image sources";
    return chosen;
  }
  for (int side = 1; side <= 2; ++side) {
    const std::u16string n = side == 1 ? u"1" : u"2";
    for (Mode mode : {Mode::LineArt, Mode::Gray, Mode::Color}) {
      if (!SetItem(store, StreamKind(mode) + n, mode == options.mode)) {
        chosen.error = std::string("the unit offers no ") + ModeName(mode) + " stream";
        return chosen;
      }
    }
    const std::u16string stream = Item(StreamKind(options.mode) + n);
    if (options.dpi) {
      const std::u16string dpi = FromUtf8(std::to_string(*options.dpi));
      if (!MakeCurrent(store, stream + u"/Resolutions", dpi)) {
        std::string offered;
        for (const std::u16string& v : Values(store, stream + u"/Resolutions")) offered += (offered.empty() ? "" : ", ") + ToUtf8(v);
        chosen.error = std::to_string(*options.dpi) + " dpi is not offered (" + offered + ")";
        return chosen;
      }
    }
    if (options.mode != Mode::LineArt && !MakeCurrent(store, stream + u"/Format/JPEGTransfer", options.jpeg ? u"On" : u"Off")) {
      chosen.error = "the unit offers no choice of JPEG transfer";
      return chosen;
    }
  }
  store.GetDocumentXML(chosen.document);
  return chosen;
}

}  // namespace rzd::frontend
