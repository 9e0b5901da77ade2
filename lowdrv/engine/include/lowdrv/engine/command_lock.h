// The engine command lock: one recursive lock for every engine command of the process (its
// automatic sense request included) and for the button table. It exists from the first use to
// the end of the process, so no open or close ever creates or deletes it under a running command.
#pragma once

#include "platform/kernel.h"

namespace rzd::lowdrv {

CriticalSection& EngineCommandLock();

}  // namespace rzd::lowdrv
