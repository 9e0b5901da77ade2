#include "interfaces/rzdhal_unit.h"

#include "interfaces/rzdhal_codes.h"

#include <string>

namespace rzd {

namespace {

HRESULT SendControl(IRZDHAL* service, LONG code, BSTR input) {
  Bstr out;
  LocalVariant valueIn;
  LocalVariant valueOut;
  return service->Control(code, input, out.Out(), &valueIn.value, &valueOut.value);
}

}  // namespace

HRESULT ConnectHalUnit(IRZDHAL* service, std::u16string_view halClsid) {
  const Bstr document(u"<HAL_CLSID>\r\n\t" + std::u16string(halClsid) + u"\r\n</HAL_CLSID>");
  return SendControl(service, RZDHAL_CC_CONNECT, document.Get());
}

HRESULT DisconnectHalUnit(IRZDHAL* service) { return SendControl(service, RZDHAL_CC_DISCONNECT, nullptr); }

}  // namespace rzd
