// A wait that keeps the calling thread's messages flowing.
#include "foundation/message_wait.h"

#include "platform/messages.h"

namespace rzd {

uint32_t WaitWithMessageLoop(const WaitHandle& handle, uint32_t timeoutMs) {
  if (!handle) return WAIT_FAILED;
  // The platform's pumping wait keeps one deadline from the call, so messages arriving without
  // pause cannot stretch the wait, and hands each message to the thread's handler.
  return WaitPumping({handle}, timeoutMs);
}

}  // namespace rzd
