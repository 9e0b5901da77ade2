// The scripted scanner service's object (scan_script.h says what it does).
#pragma once

#include "platform/types.h"

struct IUnknown;

namespace rzd::test {

// A new scripted service object, as a class object's CreateInstance answers it.
HRESULT CreateScriptedScanHal(IUnknown* outer, const IID& iid, void** object);

}  // namespace rzd::test
