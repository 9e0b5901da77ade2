// Creating a component object in the console session.
#pragma once

#include "platform/com.h"

namespace rzd {

// Creates an object of `clsid` for `iid` in the session attached to the console: binds the
// display name "Session:Console!clsid:" + the class identifier without braces to the class's
// factory (starting its local server in that session when none serves it there) and creates
// the instance. The HRESULT of the first failing step, or of the creation.
HRESULT CreateInstanceInConsoleSession(const CLSID& clsid, const IID& iid, void** object);

}  // namespace rzd
