// The settings of the benchmarks' batches, chosen on the unit's supported document as a client
// does: colour on both sides, 300 dpi, letter size (8.5 x 11 in), raw or JPEG.
#pragma once

#include "foundation/xml_store.h"

#include <optional>
#include <string>
#include <string_view>

namespace rzd::bench {

inline std::optional<std::u16string> ColourBatchSettings(std::u16string_view supported, bool jpeg) {
  MSXML6StoreSTL store;
  if (!store.LoadFromString(supported)) return std::nullopt;
  for (const char16_t* stream : {u"Color1", u"Color2"}) {
    const std::u16string item = u"//Item[@ID='" + std::u16string(stream) + u"']";
    auto current = [&](const std::u16string& path, std::u16string_view value) {
      return store.SelectNode(item + path + u"/Enum/Value[@IsCurrent='true']") && store.SetText(value);
    };
    if (!current(u"/Resolutions", u"300") || !current(u"/Format/JPEGTransfer", jpeg ? u"On" : u"Off")) return std::nullopt;
    if (!store.SelectNode(item + u"/Frame/Width") || !store.SetText(u"8500")) return std::nullopt;
    if (!store.SelectNode(item + u"/Frame/Length") || !store.SetText(u"11000")) return std::nullopt;
  }
  std::u16string text;
  store.GetDocumentXML(text);
  return text;
}

// Whether the driver's answer to the settings is success or "values adjusted" (0x800C).
inline bool SettingsTaken(std::u16string_view errorDocument) {
  return errorDocument.find(u"<ErrorCode>0<") != std::u16string_view::npos ||
         errorDocument.find(u"<ErrorCode>32780<") != std::u16string_view::npos;
}

}  // namespace rzd::bench
