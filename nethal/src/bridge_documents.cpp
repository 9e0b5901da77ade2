#include "bridge_documents.h"

#include "foundation/xml_escape.h"
#include "platform/text.h"

namespace rzd::nethal {

namespace {

const std::u16string kIndent(31, u' ');

}  // namespace

std::u16string MakeHalIdList(std::u16string_view model, const std::array<std::u16string, 10>& classes) {
  std::u16string list = FormatW(u"<HALIDList ScannerModel=\"%s\">", std::u16string(model).c_str());
  for (size_t id = 0; id < classes.size(); ++id) {
    list += kIndent;
    list += FormatW(u"<HALGUID ID=\"%u\">{%s}</HALGUID>", static_cast<uint32_t>(id), classes[id].c_str());
  }
  list += kIndent;
  list += u"</HALIDList>";
  return list;
}

std::u16string MakeAllocateParameters(std::u16string_view name, int32_t requestedSize) {
  return u"<Parameters><MMFName>" + EscapeXmlText(name) + u"</MMFName><ReqSize>" +
         FormatW(u"%d", requestedSize) + u"</ReqSize></Parameters>";
}

std::u16string MakeReleaseParameters(std::u16string_view name) {
  return u"<Parameters><MMFName>" + EscapeXmlText(name) + u"</MMFName></Parameters>";
}

}  // namespace rzd::nethal
