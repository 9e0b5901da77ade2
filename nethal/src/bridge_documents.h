// The documents the bridge makes and reads: the instance list (HALIDList), the parameters of the
// transfer-buffer codes, and the class to open (HAL_CLSID).
#pragma once

#include "platform/types.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace rzd::nethal {

// "<HALIDList ScannerModel="<model>">", then for each class 31 blanks and
// "<HALGUID ID="n">{<class>}</HALGUID>" (the class text keeps its own braces, so it stands in
// two pairs), then 31 blanks and "</HALIDList>"; no line breaks.
std::u16string MakeHalIdList(std::u16string_view model, const std::array<std::u16string, 10>& classes);

// "<Parameters><MMFName>name</MMFName><ReqSize>size</ReqSize></Parameters>" (code 20) and
// "<Parameters><MMFName>name</MMFName></Parameters>" (code 21). The name is escaped (&, <, >), so
// any name arrives at the service as it was given.
std::u16string MakeAllocateParameters(std::u16string_view name, int32_t requestedSize);
std::u16string MakeReleaseParameters(std::u16string_view name);

}  // namespace rzd::nethal
