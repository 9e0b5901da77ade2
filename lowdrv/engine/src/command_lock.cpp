#include "lowdrv/engine/command_lock.h"

namespace rzd::lowdrv {

CriticalSection& EngineCommandLock() {
  // Never destroyed: a command still running on another thread while the process ends must not
  // meet a destroyed lock.
  static CriticalSection* const lock = new CriticalSection();
  return *lock;
}

}  // namespace rzd::lowdrv
