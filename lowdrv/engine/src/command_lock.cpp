#include "lowdrv/engine/command_lock.h"

#include "foundation/module_objects.h"

namespace rzd::lowdrv {

CriticalSection& EngineCommandLock() {
  // A module object: a command still running on another thread while the process ends, or the
  // unload's closes after that, never meet a destroyed lock.
  static ModuleObject<CriticalSection> lock;
  return lock.Get();
}

}  // namespace rzd::lowdrv
