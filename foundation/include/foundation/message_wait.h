// A wait that keeps the calling thread's messages flowing.
#pragma once

#include "platform/kernel.h"

#include <cstdint>

namespace rzd {

// Waits for `handle` while handing every message that arrives on the calling thread's queue to
// the thread's message handler. WAIT_OBJECT_0 when signalled, WAIT_TIMEOUT (258) once
// `timeoutMs` has passed since the call however many messages arrive (INFINITE waits for the
// object alone), WAIT_ABANDONED_0 or WAIT_FAILED.
uint32_t WaitWithMessageLoop(const WaitHandle& handle, uint32_t timeoutMs);

}  // namespace rzd
